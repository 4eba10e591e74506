#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How the module's final codes read: a stop by the user, or a refusal of a
// target that holds the running system. Wipe-layer codes are built from
// fields: where bits 12 to 19 hold 0x03, the low twelve bits say what
// happened (0x01B stopped, 0x020 unsupported system drive); the low sixteen
// bits 0x0301 mark a system drive.
bool IsStopCode(std::uint32_t code);
bool IsSystemRefusalCode(std::uint32_t code);

// The program's exit status an outcome of the report is given with; -1 for a
// word that is no outcome.
int ExitCodeOfOutcome(const std::string& outcome);

// Whether a report (its file's bytes) agrees with itself: the outcome with
// the final record's code and the exit status, the verification with the
// outcome and the target's size, the start before the end and the duration
// with both. Returns what does not hold, in plain words; empty when all does.
// Says nothing about who wrote it: that is the signature's business.
std::vector<std::string> CheckReportConsistency(const std::string& reportBytes);
