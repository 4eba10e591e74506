#include "host/purge/DriveAnswerWords.h"

#include <cstdio>

namespace {

constexpr std::uint8_t kAtaErr = 0x01;
constexpr std::uint8_t kAtaDeviceFault = 0x20;
constexpr std::uint8_t kScsiGood = 0x00;
constexpr std::uint8_t kScsiCheckCondition = 0x02;
constexpr std::uint8_t kSenseNoSense = 0x0;
constexpr std::uint8_t kSenseRecoveredError = 0x1;

std::string ScsiStatusWords(std::uint8_t status) {
  char text[64];
  std::snprintf(text, sizeof(text), "SCSI status 0x%02X%s", status,
                status == kScsiCheckCondition ? " (check condition without sense data)" : "");
  return text;
}

DriveAnswer Undelivered(const std::string& command, const DriveChannel::Answer& answer) {
  DriveAnswer words;
  words.command = command;
  words.answer = "not delivered: " + answer.systemError;
  return words;
}

}  // namespace

DriveAnswer NvmeAnswerWords(const std::string& command, const DriveChannel::Answer& answer) {
  if (!answer.delivered) return Undelivered(command, answer);
  DriveAnswer words;
  words.command = command;
  words.accepted = answer.nvmeStatus == 0;
  if (!words.accepted) words.answer = "rejected: " + DescribeNvmeStatus(answer.nvmeStatus);
  return words;
}

DriveAnswer AtaAnswerWords(const std::string& command, const DriveChannel::Answer& answer) {
  if (!answer.delivered) return Undelivered(command, answer);
  DriveAnswer words;
  words.command = command;
  const SenseData sense = DecodeSense(answer.sense.data(), answer.sense.size());
  if ((answer.ata.status & (kAtaErr | kAtaDeviceFault)) != 0) {
    words.answer = "rejected: " + DescribeAtaResult(answer.ata);
  } else if (sense.valid && sense.key != kSenseNoSense && sense.key != kSenseRecoveredError) {
    words.answer = "rejected: " + DescribeSense(sense);
  } else if (answer.scsiStatus != kScsiGood &&
             !(answer.scsiStatus == kScsiCheckCondition && sense.valid)) {
    words.answer = "rejected: " + ScsiStatusWords(answer.scsiStatus);
  } else {
    words.accepted = true;
  }
  return words;
}

DriveAnswer ScsiAnswerWords(const std::string& command, const DriveChannel::Answer& answer) {
  if (!answer.delivered) return Undelivered(command, answer);
  DriveAnswer words;
  words.command = command;
  words.accepted = answer.scsiStatus == kScsiGood;
  if (!words.accepted) {
    const SenseData sense = DecodeSense(answer.sense.data(), answer.sense.size());
    words.answer =
        "rejected: " + (sense.valid ? DescribeSense(sense) : ScsiStatusWords(answer.scsiStatus));
  }
  return words;
}
