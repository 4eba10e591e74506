#include "host/cli/Certificate.h"

#include <cstdio>

#include <rapidjson/document.h>

#include "host/cli/JsonMember.h"
#include "host/cli/ProgressLine.h"
#include "host/cli/ReportCheck.h"
#include "host/cli/ReportSigner.h"

namespace {

constexpr const char kNotRecorded[] = "not recorded";

const rapidjson::Value* Find(const rapidjson::Value& object, const char* key) {
  if (!object.IsObject()) return nullptr;
  const auto member = object.FindMember(key);
  return member == object.MemberEnd() || member->value.IsNull() ? nullptr : &member->value;
}

// A member as a person reads it: text as it is, numbers in decimal, "not
// recorded" for a missing or null member or an empty text.
std::string Say(const rapidjson::Value& object, const char* key) {
  const rapidjson::Value* value = Find(object, key);
  if (value == nullptr) return kNotRecorded;
  if (value->IsString()) return value->GetStringLength() > 0 ? value->GetString() : kNotRecorded;
  if (value->IsInt64()) return std::to_string(value->GetInt64());
  if (value->IsUint64()) return std::to_string(value->GetUint64());
  if (value->IsBool()) return value->GetBool() ? "yes" : "no";
  return kNotRecorded;
}

const rapidjson::Value& Object(const rapidjson::Value& report, const char* key) {
  static const rapidjson::Value kEmpty(rapidjson::kObjectType);
  const rapidjson::Value* value = Find(report, key);
  return value != nullptr && value->IsObject() ? *value : kEmpty;
}

double Number(const rapidjson::Value& object, const char* key) {
  const rapidjson::Value* value = Find(object, key);
  return value != nullptr && value->IsNumber() ? value->GetDouble() : 0;
}

// "26,214,400".
std::string Grouped(std::uint64_t number) {
  std::string digits = std::to_string(number);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(at, ",");
  return digits;
}

std::string Bytes(const rapidjson::Value& object, const char* key) {
  const rapidjson::Value* value = Find(object, key);
  if (value == nullptr || !value->IsUint64()) return kNotRecorded;
  return FormatBytes(value->GetUint64()) + " (" + Grouped(value->GetUint64()) + " bytes)";
}

std::string MediaType(const rapidjson::Value& target) {
  const rapidjson::Value* rotational = Find(target, "rotational");
  if (rotational == nullptr || !rotational->IsBool()) return kNotRecorded;
  return rotational->GetBool() ? "HDD (rotating disk)" : "SSD (solid-state, no rotating parts)";
}

bool IsSolidState(const rapidjson::Value& target) {
  const rapidjson::Value* rotational = Find(target, "rotational");
  return rotational != nullptr && rotational->IsBool() && !rotational->GetBool();
}

void Verdict(const rapidjson::Value& report, Certificate* certificate) {
  const std::string outcome = Say(report, "outcome");
  const std::string kind = Say(Object(report, "target"), "kind");
  const std::string verification = Say(Object(report, "verification"), "result");
  std::string message = Say(report, "message");
  if (!message.empty() && message[0] >= 'a' && message[0] <= 'z') message[0] -= 'a' - 'A';
  certificate->erased = outcome == "wiped" || outcome == "purged";
  if (outcome == "purged") {
    certificate->verdict =
        verification == "passed" ? "PURGED AND VERIFIED" : "PURGED, SAMPLE VERIFIED";
    certificate->verdictDetail =
        "The drive erased itself with the command described below, and the sectors read back "
        "afterwards (" +
        std::string(verification == "passed" ? "all of them" : "a sample spread over the disk") +
        ") hold the erased state.";
  } else if (outcome == "cleared") {
    certificate->verdict = "NOT PURGED \xE2\x80\x94 OVERWRITTEN ONLY";
    certificate->verdictDetail =
        "The host overwrote every sector, but the drive did not erase itself: data may remain "
        "in its spare areas. " +
        message;
  } else if (outcome == "not-erased") {
    certificate->verdict = "NOT ERASED \xE2\x80\x94 THE DRIVE DID NOT ERASE";
    certificate->verdictDetail = "The read-back shows data that was there before. " + message;
  } else if (outcome == "wiped" && (kind == "file" || kind == "folder")) {
    certificate->verdict = "OVERWRITTEN AND DELETED";
    certificate->verdictDetail =
        "Every file of the target was overwritten as described below, "
        "then deleted. The wipe finished without error.";
  } else if (outcome == "wiped" && kind == "free-space") {
    certificate->verdict = "FREE SPACE OVERWRITTEN";
    certificate->verdictDetail =
        "The free space of the volume was overwritten as described "
        "below. Files still on the volume were not touched.";
  } else if (outcome == "wiped" && verification == "passed") {
    certificate->verdict = "ERASED AND VERIFIED";
    certificate->verdictDetail =
        "Every sector of the target was overwritten as described below "
        "and read back: all of it holds the pattern written.";
  } else if (outcome == "wiped") {
    certificate->verdict = "ERASED, NOT VERIFIED";
    certificate->verdictDetail =
        "Every sector of the target was overwritten as described below "
        "and the wipe finished without error. It was not read back.";
  } else if (outcome == "stopped") {
    certificate->verdict = "NOT ERASED \xE2\x80\x94 STOPPED BEFORE COMPLETION";
    certificate->verdictDetail =
        "The wipe was stopped by the operator before it finished. Data may remain on the target.";
  } else if (outcome == "refused") {
    certificate->verdict = "NOT ERASED \xE2\x80\x94 THE WIPE WAS REFUSED";
    certificate->verdictDetail = "Nothing was written to the target. " + message;
  } else {
    certificate->verdict = "NOT ERASED \xE2\x80\x94 THE WIPE FAILED";
    certificate->verdictDetail = "Data may remain on the target. " + message;
  }
  // What the report says may have escaped the wipe (a copy-on-write file
  // system, free space the file system keeps back) leaves no clean verdict.
  std::string caveat = Say(report, "caveat");
  if (certificate->erased && caveat != kNotRecorded) {
    if (caveat[0] >= 'a' && caveat[0] <= 'z') caveat[0] -= 'a' - 'A';
    certificate->erased = false;
    certificate->verdict += " \xE2\x80\x94 WITH A CAVEAT";
    certificate->verdictDetail += " Caveat: " + caveat + ".";
  }
}

Certificate::Section Media(const rapidjson::Value& report) {
  const rapidjson::Value& target = Object(report, "target");
  std::string name = Say(target, "name");
  if (Find(target, "device") != nullptr) name += " (" + Say(target, "device") + ")";
  return {"Media",
          {{"Target", Say(target, "kind") + ": " + name},
           {"Vendor", Say(target, "vendor")},
           {"Model", Say(target, "model")},
           {"Serial number", Say(target, "serial")},
           {"Firmware", Say(target, "firmware")},
           {"World wide name", Say(target, "wwn")},
           {"Size", Bytes(target, "sizeBytes")},
           {"Transport", Say(target, "transport")},
           {"Media type", MediaType(target)}}};
}

Certificate::Section Machine(const rapidjson::Value& report) {
  const rapidjson::Value& machine = Object(report, "machine");
  return {"Machine",
          {{"Host name", Say(report, "host")},
           {"Manufacturer", Say(machine, "vendor")},
           {"Product", Say(machine, "product")},
           {"Serial number", Say(machine, "serial")}}};
}

// "NVMe Format NVM (SES 1, namespace 1): accepted; ..." for a purge.
std::string DriveAnswers(const rapidjson::Value& purge) {
  const rapidjson::Value* answers = Find(purge, "answers");
  std::string text;
  if (answers == nullptr || !answers->IsArray()) return kNotRecorded;
  for (const rapidjson::Value& answer : answers->GetArray()) {
    if (!answer.IsObject()) continue;
    const bool accepted = Find(answer, "accepted") != nullptr && Say(answer, "accepted") == "yes";
    text += (text.empty() ? "" : "; ") + Say(answer, "command") + ": " +
            (accepted ? "accepted" : Say(answer, "answer"));
  }
  return text.empty() ? "no command was sent" : text;
}

Certificate::Section Method(const rapidjson::Value& report) {
  const rapidjson::Value& algorithm = Object(report, "algorithm");
  const rapidjson::Value& sanitization = Object(report, "sanitization");
  const std::string scope = Say(sanitization, "scope");
  std::string category =
      Find(sanitization, "category") != nullptr ? Say(sanitization, "category") : "none";
  if (scope != kNotRecorded) category += ": " + scope;
  if (IsSolidState(Object(report, "target"))) {
    category +=
        ". On an SSD an overwrite reaches only the sectors the host can address, not "
        "the drive's spare areas";
  }
  if (Find(report, "purge") != nullptr) {
    return {"Method",
            {{"Purge method", Say(algorithm, "name")},
             {"Written by the host", Say(algorithm, "patternWritten")},
             {"Drive's answers", DriveAnswers(Object(report, "purge"))},
             {"NIST SP 800-88 Rev. 1", category}}};
  }
  return {"Method",
          {{"Algorithm", Say(algorithm, "name") + " (type " + Say(algorithm, "type") + ")"},
           {"Passes", Say(algorithm, "passes")},
           {"Pattern written", Say(algorithm, "patternWritten")},
           {"NIST SP 800-88 Rev. 1", category}}};
}

std::string VerificationWords(const std::string& result) {
  if (result == "passed")
    return "passed: the whole target holds what was written, or the erased state";
  if (result == "sampled") return "passed on a sample: the ranges read hold the erased state";
  if (result == "failed") return "FAILED: the target does not hold the pattern written";
  if (result == "not-run") return "not run: the target could not be read back";
  return "not requested";
}

Certificate::Section Verification(const rapidjson::Value& report) {
  const rapidjson::Value& verification = Object(report, "verification");
  Certificate::Section section{"Verification",
                               {{"Result", VerificationWords(Say(verification, "result"))},
                                {"Method", Say(verification, "method")}}};
  if (Say(verification, "result") != "not-requested") {
    section.lines.push_back({"Bytes read back", Bytes(verification, "bytesChecked")});
    section.lines.push_back({"Detail", Say(verification, "detail")});
  }
  return section;
}

Certificate::Section Times(const rapidjson::Value& report) {
  const double seconds = Number(report, "durationSeconds");
  char duration[64];
  std::snprintf(duration, sizeof(duration), " (%.1f s)", seconds);
  const bool estimate = Find(report, "bytesWrittenIsEstimate") != nullptr &&
                        Say(report, "bytesWrittenIsEstimate") == "yes";
  return {
      "Times",
      {{"Started (UTC)", Say(report, "start")},
       {"Ended (UTC)", Say(report, "end")},
       {"Duration", FormatDuration(seconds) + duration},
       {"Bytes written", (estimate ? "about " : "") + Bytes(report, "bytesWritten")},
       {"Average throughput",
        FormatBytes(static_cast<std::uint64_t>(Number(report, "averageBytesPerSecond"))) + "/s"}}};
}

Certificate::Section Outcome(const rapidjson::Value& report) {
  const rapidjson::Value& final = Object(report, "finalRecord");
  std::string code = Find(report, "purge") != nullptr ? "none: the module takes no part in a purge"
                                                      : "none: the wipe did not start";
  if (Find(report, "finalRecord") != nullptr) {
    code = Say(final, "codeHex");
    if (Say(final, "code") == "0") code += " (finished without error)";
    if (Find(final, "name") != nullptr && Say(final, "name") != kNotRecorded) {
      code = Say(final, "name") + " " + code;
    }
    if (Say(final, "text") != kNotRecorded) code += ": " + Say(final, "text");
  }
  return {"Outcome",
          {{"Outcome", Say(report, "outcome") + " (exit status " + Say(report, "exitCode") + ")"},
           {"Final code", code},
           {"Message", Say(report, "message")}}};
}

Certificate::Section Record(const rapidjson::Value& report, const std::string& reportBytes,
                            const std::string& reportName) {
  const rapidjson::Value& signature = Object(report, "signature");
  const std::string key = Say(signature, "keyFingerprintSha256");
  return {"Record",
          {{"Report file", reportName},
           {"Report SHA-256", Sha256Hex(reportBytes)},
           {"Signing key SHA-256", key == kNotRecorded ? "the report is not signed" : key},
           {"Signature", key == kNotRecorded ? "none"
                                             : "ECDSA P-256 over the report file's SHA-256, in " +
                                                   Say(signature, "file")},
           {"Software", Say(report, "program") + ", module " + Say(report, "moduleVersion")}}};
}

}  // namespace

bool ReadCertificate(const std::string& reportBytes, const std::string& reportName,
                     Certificate* certificate, std::string* error) {
  rapidjson::Document report;
  if (!ParseObject(reportBytes, &report)) {
    *error = reportName + " is not a wipe report (not a JSON object)";
    return false;
  }
  const std::vector<std::string> problems = CheckReportConsistency(reportBytes);
  if (!problems.empty()) {
    *error = reportName + " disagrees with itself: " + problems.front();
    return false;
  }
  Verdict(report, certificate);
  certificate->sections = {
      {"Performed for and by",
       {{"Organisation", Say(report, "organisation")}, {"Operator", Say(report, "operator")}}},
      Media(report),
      Machine(report),
      Method(report),
      Verification(report),
      Times(report),
      Outcome(report),
      Record(report, reportBytes, reportName)};
  certificate->signers = {"Operator", "Witness"};
  certificate->operatorName =
      Say(report, "operator") == kNotRecorded ? "" : Say(report, "operator");
  return true;
}
