#include "host/cli/WipeReport.h"

#include <cstdio>
#include <ctime>

#include <rapidjson/document.h>
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

// A text member that is null where the text is empty.
template <class Writer>
void TextOrNull(Writer& writer, const char* key, const std::string& text) {
  if (text.empty()) {
    writer.Key(key);
    writer.Null();
  } else {
    Member(writer, key, text);
  }
}

template <class Writer>
void WriteSanitization(Writer& writer, const WipeReport& report) {
  writer.Key("sanitization");
  writer.StartObject();
  Member(writer, "reference", "NIST SP 800-88 Rev. 1");
  TextOrNull(writer, "category", report.sanitizationCategory);
  Member(writer, "scope", report.sanitizationScope);
  writer.EndObject();
}

template <class Writer>
void WriteSignature(Writer& writer, const WipeReport& report) {
  writer.Key("signature");
  if (report.signingKey.empty()) {
    writer.Null();
    return;
  }
  writer.StartObject();
  Member(writer, "algorithm", "ECDSA P-256 over SHA-256 of the report file, DER");
  Member(writer, "keyFingerprintSha256", report.signingKey);
  Member(writer, "file", report.signatureFile);
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
  Member(writer, "method", verification.method);
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
  TextOrNull(writer, "organisation", report.organisation);
  TextOrNull(writer, "operator", report.operatorName);
  writer.Key("machine");
  writer.StartObject();
  WriteMachineMembers(writer, report.machine);
  writer.EndObject();
  WriteTarget(writer, report);
  const bool purge = !report.purgeJson.empty();
  writer.Key("algorithm");
  writer.StartObject();
  Member(writer, "name", report.algorithmName);
  writer.Key("type");  // a module's algorithm; a purge has none
  if (purge) {
    writer.Null();
  } else {
    writer.Int(report.algorithmType);
  }
  Member(writer, "passes", report.passes);
  Member(writer, "patternWritten", report.patternWritten);
  writer.EndObject();
  WriteSanitization(writer, report);
  Member(writer, "start", FormatUtc(report.start));
  Member(writer, "end", FormatUtc(report.end));
  Member(writer, "durationSeconds", seconds);
  Member(writer, "bytesWritten", report.bytesWritten);
  Member(writer, "bytesWrittenIsEstimate", report.bytesEstimated);
  Member(writer, "averageBytesPerSecond",
         seconds > 0 ? static_cast<double>(report.bytesWritten) / seconds : 0.0);
  WriteFinalRecord(writer, report);
  WriteVerification(writer, report.verification);
  if (purge) {
    // Parsed again so that the report's file is indented throughout.
    rapidjson::Document record;
    record.Parse(report.purgeJson.c_str());
    writer.Key("purge");
    if (record.HasParseError()) {
      writer.Null();
    } else {
      record.Accept(writer);
    }
  }
  if (!report.caveat.empty()) Member(writer, "caveat", report.caveat);
  Member(writer, "outcome", report.outcome);
  Member(writer, "message", report.message);
  Member(writer, "exitCode", report.exitCode);
  WriteSignature(writer, report);
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
