#pragma once

#include <string>

#include "host/purge/DriveChannel.h"
#include "host/purge/DrivePurger.h"

// What the drive answered one command, judged and put in words for the
// report: accepted or not, and the decoded status (NVMe status, the ATA
// registers, the sense data), or why the system could not carry it.
// `command` names the command ("NVMe Format NVM (SES 1, namespace 1)").

// Accepted when the completion status is 0.
DriveAnswer NvmeAnswerWords(const std::string& command, const DriveChannel::Answer& answer);
// Accepted when neither ERR nor DF is set in the returned ATA status and the
// SCSI layer reported no error of its own (CHECK CONDITION that only carries
// the registers, sense key NO SENSE or RECOVERED ERROR, is no error).
DriveAnswer AtaAnswerWords(const std::string& command, const DriveChannel::Answer& answer);
// Accepted when the SCSI status is GOOD.
DriveAnswer ScsiAnswerWords(const std::string& command, const DriveChannel::Answer& answer);
