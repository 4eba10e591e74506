#include "host/cli/ReportCheck.h"

#include <cmath>
#include <cstdio>

#include <rapidjson/document.h>

#include "host/cli/ExitCodes.h"
#include "host/cli/JsonMember.h"

namespace {

bool IsKindCode(std::uint32_t code, std::uint32_t kind) {
  return ((code >> 12) & 0xFF) == 0x03 && (code & 0xFFF) == kind;
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

// "2026-11-01T09:30:05.250Z" as milliseconds since 1970; false for any other form.
bool ParseUtc(const std::string& text, std::int64_t* milliseconds) {
  int year, month, day, hour, minute, second, millisecond, length = 0;
  if (text.size() != 24 ||
      std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ%n", &year, &month, &day, &hour,
                  &minute, &second, &millisecond, &length) != 7 ||
      length != 24 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
      second > 60) {
    return false;
  }
  const std::int64_t days =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  *milliseconds = ((days * 24 + hour) * 60 + minute) * 60000 + second * 1000 + millisecond;
  return true;
}

class Checker {
 public:
  explicit Checker(const rapidjson::Value& report) : m_report(report) {}

  std::vector<std::string> Run() {
    CheckOutcome();
    CheckVerification();
    CheckTimes();
    return m_problems;
  }

 private:
  void Problem(const std::string& text) { m_problems.push_back(text); }

  void CheckOutcome() {
    const std::string outcome = ReadText(m_report, "outcome");
    std::int64_t exitCode = -1;
    if (ExitCodeOfOutcome(outcome) < 0) {
      Problem("the outcome '" + outcome +
              "' is none of wiped, purged, cleared, not-erased, failed, stopped, refused");
      return;
    }
    if (!ReadInt64(m_report, "exitCode", &exitCode) || exitCode != ExitCodeOfOutcome(outcome)) {
      Problem("the exit status does not go with the outcome '" + outcome + "'");
    }
    const auto purge = m_report.FindMember("purge");
    if (purge != m_report.MemberEnd() && purge->value.IsObject()) {
      CheckPurge(outcome, purge->value);
      return;
    }
    if (outcome == "purged" || outcome == "cleared" || outcome == "not-erased") {
      Problem("the outcome '" + outcome + "' belongs to a purge, but the report holds none");
      return;
    }
    const auto final = m_report.FindMember("finalRecord");
    const bool ran = final != m_report.MemberEnd() && final->value.IsObject();
    std::int64_t code = -1, type = -1;
    if (ran &&
        (!ReadInt64(final->value, "code", &code) || !ReadInt64(final->value, "msgType", &type))) {
      Problem("the final record has no code or type");
      return;
    }
    const std::uint32_t code32 = static_cast<std::uint32_t>(code);
    const bool clean = ran && code == 0 && type == 32;
    const std::string verification = VerificationResult();
    const bool readBackFailed = verification == "failed" || verification == "not-run";
    if (outcome == "wiped" && !clean) {
      Problem("the outcome says wiped, but the final record does not say finished without error");
    } else if (outcome == "wiped" && readBackFailed) {
      Problem("the outcome says wiped, but the verification " + verification);
    } else if (outcome == "stopped" && (!ran || !IsStopCode(code32))) {
      Problem("the outcome says stopped, but the final record holds no stop code");
    } else if (outcome == "refused" && ran && !IsSystemRefusalCode(code32)) {
      Problem("the outcome says refused, but the final record holds no refusal code");
    } else if (outcome == "failed" && clean && !readBackFailed) {
      Problem("the outcome says failed, but the final record and the verification say otherwise");
    }
  }

  // A purge is "purged" only where the drive's command ran and every range
  // read back was erased; its category says "Purge" only then.
  void CheckPurge(const std::string& outcome, const rapidjson::Value& purge) {
    const auto sanitization = m_report.FindMember("sanitization");
    const std::string category =
        sanitization != m_report.MemberEnd() && sanitization->value.IsObject()
            ? ReadText(sanitization->value, "category")
            : "";
    if (ReadText(purge, "outcome") != outcome) {
      Problem("the outcome '" + outcome + "' is not the purge's own");
    }
    const auto readBack = purge.FindMember("readBack");
    std::int64_t read = 0, erased = -1, overwritten = -1, other = -1;
    if (readBack != purge.MemberEnd() && readBack->value.IsObject()) {
      ReadInt64(readBack->value, "rangesRead", &read);
      ReadInt64(readBack->value, "rangesErased", &erased);
      ReadInt64(readBack->value, "rangesOverwritten", &overwritten);
      ReadInt64(readBack->value, "rangesOther", &other);
    }
    const bool allErased = read > 0 && erased == read && overwritten == 0 && other == 0;
    if (outcome == "purged" && !allErased) {
      Problem("the outcome says purged, but the read-back does not show every range erased");
    }
    if ((category == "Purge") != (outcome == "purged")) {
      Problem("the category '" + category + "' does not go with the outcome '" + outcome + "'");
    }
  }

  std::string VerificationResult() const {
    const auto verification = m_report.FindMember("verification");
    if (verification == m_report.MemberEnd() || !verification->value.IsObject()) return "";
    return ReadText(verification->value, "result");
  }

  void CheckVerification() {
    const auto member = m_report.FindMember("verification");
    if (member == m_report.MemberEnd() || !member->value.IsObject()) {
      Problem("the report has no verification");
      return;
    }
    const rapidjson::Value& verification = member->value;
    const std::string result = ReadText(verification, "result");
    const std::string outcome = ReadText(m_report, "outcome");
    std::int64_t checked = -1, size = -1;
    ReadInt64(verification, "bytesChecked", &checked);
    const auto target = m_report.FindMember("target");
    if (target != m_report.MemberEnd() && target->value.IsObject()) {
      ReadInt64(target->value, "sizeBytes", &size);
    }
    const auto mismatch = verification.FindMember("firstMismatchSector");
    const bool mismatchNamed = mismatch != verification.MemberEnd() && mismatch->value.IsInt64();
    if (result == "sampled" && outcome != "purged") {
      Problem("the sample read back passed, but the outcome is '" + outcome + "'");
    } else if (result == "passed" && outcome != "wiped" && outcome != "purged") {
      Problem("the verification passed, but the outcome is '" + outcome + "'");
    } else if (result == "passed" && (checked <= 0 || (size >= 0 && checked != size))) {
      Problem("the verification passed, but did not read the whole target back");
    } else if (result == "failed" && !mismatchNamed) {
      Problem("the verification failed, but names no mismatching sector");
    } else if (result != "passed" && result != "failed" && result != "not-run" &&
               result != "not-requested" && result != "sampled") {
      Problem("the verification result '" + result + "' is unknown");
    }
  }

  void CheckTimes() {
    std::int64_t start = 0, end = 0;
    if (!ParseUtc(ReadText(m_report, "start"), &start) ||
        !ParseUtc(ReadText(m_report, "end"), &end)) {
      Problem("the start or the end is not a UTC time");
      return;
    }
    if (end < start) Problem("the wipe ends before it starts");
    const auto duration = m_report.FindMember("durationSeconds");
    // The times are cut to milliseconds; the duration is not.
    if (duration == m_report.MemberEnd() || !duration->value.IsNumber() ||
        std::fabs(duration->value.GetDouble() - static_cast<double>(end - start) / 1000) > 0.0015) {
      Problem("the duration does not match the start and the end");
    }
  }

  const rapidjson::Value& m_report;
  std::vector<std::string> m_problems;
};

}  // namespace

bool IsStopCode(std::uint32_t code) { return IsKindCode(code, 0x01B); }

bool IsSystemRefusalCode(std::uint32_t code) {
  return (code & 0xFFFF) == 0x0301 || IsKindCode(code, 0x020);
}

int ExitCodeOfOutcome(const std::string& outcome) {
  if (outcome == "wiped" || outcome == "purged") return kExitWiped;
  if (outcome == "failed" || outcome == "cleared" || outcome == "not-erased") return kExitFailed;
  if (outcome == "stopped") return kExitStopped;
  if (outcome == "refused") return kExitRefused;
  return -1;
}

std::vector<std::string> CheckReportConsistency(const std::string& reportBytes) {
  rapidjson::Document report;
  if (!ParseObject(reportBytes, &report)) return {"the report is not a JSON object"};
  return Checker(report).Run();
}
