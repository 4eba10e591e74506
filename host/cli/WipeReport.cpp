#include "host/cli/WipeReport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace {

std::string Hex(std::uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08X", code);
  return text;
}

template <class Writer>
void Key(Writer& writer, const char* key, const std::string& value) {
  writer.Key(key);
  writer.String(value.c_str(), static_cast<rapidjson::SizeType>(value.size()));
}

template <class Writer>
void WriteTarget(Writer& writer, const WipeReport& report) {
  writer.Key("target");
  writer.StartObject();
  Key(writer, "kind", report.targetKind);
  Key(writer, "name", report.targetName);
  if (report.disk >= 0) {
    writer.Key("disk");
    writer.Int(report.disk);
  }
  if (report.partition >= 0) {
    writer.Key("partition");
    writer.Int(report.partition);
  }
  if (!report.device.empty()) Key(writer, "device", report.device);
  writer.Key("sizeBytes");
  if (report.targetSize.sizeKnown) {
    writer.Uint64(report.targetSize.bytes);
  } else {
    writer.Null();
  }
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
  writer.Key("msgType");
  writer.Int(record.type);
  writer.Key("msgStatus");
  writer.Int(record.status);
  writer.Key("code");
  writer.Uint(record.errorCode);
  Key(writer, "codeHex", Hex(record.errorCode));
  Key(writer, "name", report.errorName);
  Key(writer, "text", report.errorText);
  Key(writer, "msgInfo", record.info);
  writer.EndObject();
}

template <class Writer>
void WriteVerification(Writer& writer, const WipeReport::Verification& verification) {
  writer.Key("verification");
  writer.StartObject();
  Key(writer, "result", verification.result);
  writer.Key("bytesChecked");
  writer.Uint64(verification.bytesChecked);
  writer.Key("firstMismatchSector");
  if (verification.firstMismatchSector >= 0) {
    writer.Int64(verification.firstMismatchSector);
  } else {
    writer.Null();
  }
  Key(writer, "detail", verification.detail);
  writer.EndObject();
}

template <class Writer>
void WriteReport(Writer& writer, const WipeReport& report) {
  const double seconds = std::chrono::duration<double>(report.end - report.start).count();
  writer.StartObject();
  Key(writer, "program", "vantrix-wipe " + report.programVersion);
  Key(writer, "moduleVersion", report.moduleVersion);
  Key(writer, "host", report.hostName);
  WriteTarget(writer, report);
  writer.Key("algorithm");
  writer.StartObject();
  Key(writer, "name", report.algorithmName);
  writer.Key("type");
  writer.Int(report.algorithmType);
  writer.Key("passes");
  writer.Int(report.passes);
  writer.EndObject();
  Key(writer, "start", FormatUtc(report.start));
  Key(writer, "end", FormatUtc(report.end));
  writer.Key("durationSeconds");
  writer.Double(seconds);
  writer.Key("bytesWritten");
  writer.Uint64(report.bytesWritten);
  writer.Key("bytesWrittenIsEstimate");
  writer.Bool(report.bytesEstimated);
  writer.Key("averageBytesPerSecond");
  writer.Double(seconds > 0 ? static_cast<double>(report.bytesWritten) / seconds : 0.0);
  WriteFinalRecord(writer, report);
  WriteVerification(writer, report.verification);
  Key(writer, "outcome", report.outcome);
  Key(writer, "message", report.message);
  writer.Key("exitCode");
  writer.Int(report.exitCode);
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
