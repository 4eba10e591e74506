#include "host/cli/ProgressLine.h"

#include <algorithm>
#include <cstdio>

#include "host/cli/JsonMember.h"

namespace {

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof(text), format, value);
  return text;
}

}  // namespace

bool ParseProgressRecord(const std::string& json, ProgressRecord* record) {
  rapidjson::Document document;
  if (!ParseObject(json, &document)) return false;
  std::int64_t type, status, code;
  ProgressRecord read;
  const auto info = document.FindMember("msg_info");
  if (!ReadInt64(document, "msg_type", &type) || !ReadInt64(document, "msg_status", &status) ||
      !ReadInt64(document, "sub_step_current", &read.subStepCurrent) ||
      !ReadInt64(document, "sub_step_total", &read.subStepTotal) ||
      !ReadInt64(document, "steps_current", &read.stepsCurrent) ||
      !ReadInt64(document, "steps_total", &read.stepsTotal) ||
      !ReadInt64(document, "msg_errorCode", &code) || info == document.MemberEnd() ||
      !info->value.IsString()) {
    return false;
  }
  read.type = static_cast<int>(type);
  read.status = static_cast<int>(status);
  // The JSON carries the unsigned code as a signed 32-bit number.
  read.errorCode = static_cast<std::uint32_t>(code);
  read.info.assign(info->value.GetString(), info->value.GetStringLength());
  *record = read;
  return true;
}

ProgressFigures ComputeProgress(const ProgressRecord& record, const TargetScale& scale,
                                double elapsedSeconds) {
  ProgressFigures figures;
  figures.bytesEstimated = !scale.sizeKnown;
  const std::int64_t perPass = std::max<std::int64_t>(record.subStepTotal, 0);
  figures.passBytes =
      scale.sizeKnown ? scale.bytes : static_cast<std::uint64_t>(perPass) * kWipeBlockBytes;
  if (!record.IsRunning() || record.stepsTotal <= 0 || perPass == 0) return figures;

  // The counters name the block just written, counted from 0.
  const std::uint64_t stepsDone = static_cast<std::uint64_t>(record.stepsCurrent) + 1;
  const std::uint64_t stepsTotal = static_cast<std::uint64_t>(record.stepsTotal);
  figures.fraction =
      std::min(1.0, static_cast<double>(stepsDone) / static_cast<double>(stepsTotal));
  figures.passes = static_cast<int>(record.stepsTotal / perPass);
  figures.pass = std::min(figures.passes, static_cast<int>(record.stepsCurrent / perPass) + 1);
  figures.passBytesDone = std::min(
      figures.passBytes, static_cast<std::uint64_t>(record.subStepCurrent + 1) * kWipeBlockBytes);
  figures.bytesWritten = stepsDone * kWipeBlockBytes;
  if (elapsedSeconds > 0) {
    figures.bytesPerSecond = static_cast<double>(figures.bytesWritten) / elapsedSeconds;
    const std::uint64_t stepsLeft = stepsTotal > stepsDone ? stepsTotal - stepsDone : 0;
    figures.secondsLeft = static_cast<double>(stepsLeft * kWipeBlockBytes) / figures.bytesPerSecond;
  }
  return figures;
}

std::string RenderProgressLine(const ProgressRecord& record, const TargetScale& scale,
                               double elapsedSeconds) {
  if (record.IsFinished()) {
    return record.errorCode == 0 ? "100.0%  finished"
                                 : "ended with " + FormatCode(record.errorCode);
  }
  if (!record.IsRunning()) return "  0.0%  starting";
  // A target smaller than one block has no steps: it is written at once.
  if (record.stepsTotal <= 0) return "100.0%  finishing";
  const ProgressFigures figures = ComputeProgress(record, scale, elapsedSeconds);
  const char* mark = figures.bytesEstimated ? "~" : "";
  std::string line = Format("%5.1f%%", figures.fraction * 100.0);
  line += "  " + std::string(mark) + FormatBytes(figures.passBytesDone) + " of " + mark +
          FormatBytes(figures.passBytes);
  line += "  pass " + std::to_string(figures.pass) + " of " + std::to_string(figures.passes);
  // Every block is written; what is left (the tail, the flush, a deletion)
  // has no steps to count.
  if (figures.fraction >= 1.0) return line + "  finishing";
  line +=
      "  " +
      (figures.bytesPerSecond > 0 ? FormatBytes(static_cast<std::uint64_t>(figures.bytesPerSecond))
                                  : std::string("--")) +
      "/s";
  line += "  " + FormatDuration(figures.secondsLeft) + " left";
  return line;
}

std::string FormatBytes(std::uint64_t bytes) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  if (bytes < 1024) return std::to_string(bytes) + " B";
  double value = static_cast<double>(bytes);
  int unit = 0;
  while (value >= 1024 && unit < 6) {
    value /= 1024;
    ++unit;
  }
  return Format("%.2f ", value) + kUnits[unit];
}

std::string FormatCode(std::uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08X", code);
  return text;
}

std::string FormatDuration(double seconds) {
  if (seconds < 0) return "--:--:--";
  const auto whole = static_cast<unsigned long long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof(text), "%llu:%02llu:%02llu", whole / 3600, whole / 60 % 60,
                whole % 60);
  return text;
}
