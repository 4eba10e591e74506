#include "host/cli/WipeReport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "host/cli/JsonMember.h"

namespace {

template <class Writer>
void WriteTarget(Writer& writer, const WipeReport& report) {
  writer.Key("target");
  writer.StartObject();
  Member(writer, "kind", report.targetKind);
  Member(writer, "name", report.targetName);
  if (report.disk >= 0) Member(writer, "disk", report.disk);
  if (report.partition >= 0) Member(writer, "partition", report.partition);
  if (!report.device.empty()) Member(writer, "device", report.device);
  writer.Key("sizeBytes");
  if (report.targetSize.sizeKnown) {
    writer.Uint64(report.targetSize.bytes);
  } else {
    writer.Null();
  }
  WriteDriveMembers(writer, report.identity);
  writer.EndObject();
}

template <class Writer>
void WriteFinalRecord(Writer& writer, const WipeReport& report) {
  writer.Key("finalRecord");
  if (!report.wipeRan) {
    writer.Null();
    return;
  }
  const ProgressRecord& record = report.finalRecord;
  writer.StartObject();
  Member(writer, "msgType", record.type);
  Member(writer, "msgStatus", record.status);
  Member(writer, "code", record.errorCode);
  Member(writer, "codeHex", FormatCode(record.errorCode));
  Member(writer, "name", report.errorName);
  Member(writer, "text", report.errorText);
  Member(writer, "msgInfo", record.info);
  writer.EndObject();
}

template <class Writer>
void WriteVerification(Writer& writer, const WipeReport::Verification& verification) {
  writer.Key("verification");
  writer.StartObject();
  Member(writer, "result", verification.result);
  Member(writer, "bytesChecked", verification.bytesChecked);
  writer.Key("firstMismatchSector");
  if (verification.firstMismatchSector >= 0) {
    writer.Int64(verification.firstMismatchSector);
  } else {
    writer.Null();
  }
  Member(writer, "detail", verification.detail);
  writer.EndObject();
}

template <class Writer>
void WriteReport(Writer& writer, const WipeReport& report) {
  const double seconds = std::chrono::duration<double>(report.end - report.start).count();
  writer.StartObject();
  Member(writer, "program", "vantrix-wipe " + report.programVersion);
  Member(writer, "moduleVersion", report.moduleVersion);
  Member(writer, "host", report.hostName);
  writer.Key("machine");
  writer.StartObject();
  WriteMachineMembers(writer, report.machine);
  writer.EndObject();
  WriteTarget(writer, report);
  writer.Key("algorithm");
  writer.StartObject();
  Member(writer, "name", report.algorithmName);
  Member(writer, "type", report.algorithmType);
  Member(writer, "passes", report.passes);
  writer.EndObject();
  Member(writer, "start", FormatUtc(report.start));
  Member(writer, "end", FormatUtc(report.end));
  Member(writer, "durationSeconds", seconds);
  Member(writer, "bytesWritten", report.bytesWritten);
  Member(writer, "bytesWrittenIsEstimate", report.bytesEstimated);
  Member(writer, "averageBytesPerSecond",
         seconds > 0 ? static_cast<double>(report.bytesWritten) / seconds : 0.0);
  WriteFinalRecord(writer, report);
  WriteVerification(writer, report.verification);
  Member(writer, "outcome", report.outcome);
  Member(writer, "message", report.message);
  Member(writer, "exitCode", report.exitCode);
  writer.EndObject();
}

}  // namespace

std::string FormatUtc(WipeReport::TimePoint time) {
  using namespace std::chrono;
  const auto sinceEpoch = time.time_since_epoch();
  const std::time_t seconds =
      static_cast<std::time_t>(duration_cast<std::chrono::seconds>(sinceEpoch).count());
  const long long milliseconds =
      duration_cast<std::chrono::milliseconds>(sinceEpoch).count() % 1000;
  // Called from the program's main thread only, so the shared result of
  // gmtime is safe here.
  const std::tm* utc = std::gmtime(&seconds);
  if (utc == nullptr) return "";
  char text[96];
  std::snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02d.%03lldZ", utc->tm_year + 1900,
                utc->tm_mon + 1, utc->tm_mday, utc->tm_hour, utc->tm_min, utc->tm_sec,
                milliseconds);
  return text;
}

std::string RenderReport(const WipeReport& report, bool indented) {
  rapidjson::StringBuffer buffer;
  if (indented) {
    rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
    writer.SetIndent(' ', 2);
    WriteReport(writer, report);
  } else {
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    WriteReport(writer, report);
  }
  return std::string(buffer.GetString(), buffer.GetSize());
}

bool WriteTextFile(const std::string& path, const std::string& text, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) *error = path + ": cannot write the whole report";
  return written && closed;
}
