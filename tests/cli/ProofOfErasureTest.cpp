#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include <rapidjson/document.h>
#include <rapidjson/pointer.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "host/cli/Certificate.h"
#include "host/cli/ProgramConfig.h"
#include "host/cli/ReportCheck.h"

namespace {

// A verified partition wipe, as the program writes its report.
constexpr const char kVerifiedWipe[] = R"({
  "target": {"kind": "partition", "name": "disk 7, partition 1", "sizeBytes": 25165824},
  "start": "2026-11-01T09:30:05.250Z", "end": "2026-11-01T09:31:06.000Z",
  "durationSeconds": 60.7504,
  "finalRecord": {"msgType": 32, "msgStatus": 3, "code": 0},
  "verification": {"result": "passed", "bytesChecked": 25165824, "firstMismatchSector": null},
  "outcome": "wiped", "exitCode": 0})";

using Changes = std::vector<std::pair<std::string, std::string>>;

// The verified wipe turned into a purge read back on a sample, with `more`
// changed after.
Changes Purge(const std::string& outcome, const char* exitCode, const char* category,
              int rangesOther, const Changes& more = {}) {
  Changes changes = {
      {"/outcome", "\"" + outcome + "\""},
      {"/exitCode", exitCode},
      {"/finalRecord", "null"},
      {"/verification/result", R"("sampled")"},
      {"/verification/bytesChecked", "3145728"},
      {"/sanitization", std::string(R"({"category":)") + category + "}"},
      {"/purge", R"({"outcome":")" + outcome + R"(","readBack":{"rangesRead":3,"rangesErased":)" +
                     std::to_string(3 - rangesOther) + R"(,"rangesOverwritten":0,"rangesOther":)" +
                     std::to_string(rangesOther) + "}}"}};
  changes.insert(changes.end(), more.begin(), more.end());
  return changes;
}
// A cleared purge's read-back fails where the host's overwrite shows.
const Changes kReadBackFailed = {{"/verification/result", R"("failed")"},
                                 {"/verification/firstMismatchSector", "0"}};

// The report with each member (a JSON pointer) set to a JSON value.
std::string Changed(const Changes& changes) {
  rapidjson::Document report;
  report.Parse(kVerifiedWipe);
  for (const auto& [pointer, json] : changes) {
    rapidjson::Document value(&report.GetAllocator());
    value.Parse(json.c_str());
    rapidjson::Pointer(pointer.c_str()).Set(report, value);
  }
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  report.Accept(writer);
  return buffer.GetString();
}

// Each row: the members changed and the first problem found ("" for none).
TEST(ReportCheck, FindsWhatDisagrees) {
  const struct {
    Changes changes;
    const char* problem;
  } cases[] = {
      {{}, ""},
      {{{"/outcome", R"("stopped")"},
        {"/exitCode", "3"},
        {"/finalRecord/code", "55586843"},
        {"/finalRecord/msgType", "33"},
        {"/verification/result", R"("not-requested")"}},
       ""},
      {{{"/outcome", R"("refused")"},
        {"/exitCode", "4"},
        {"/finalRecord", "null"},
        {"/verification/result", R"("not-requested")"}},
       ""},
      {{{"/outcome", R"("failed")"},
        {"/exitCode", "1"},
        {"/verification/result", R"("failed")"},
        {"/verification/firstMismatchSector", "51199"}},
       ""},
      {{{"/outcome", R"("stopped")"}, {"/exitCode", "3"}}, "holds no stop code"},
      {{{"/exitCode", "1"}}, "exit status does not go with"},
      {{{"/finalRecord/code", "62926853"}}, "does not say finished without error"},
      {{{"/verification/result", R"("failed")"}}, "but the verification failed"},
      {{{"/outcome", R"("failed")"}, {"/exitCode", "1"}}, "say otherwise"},
      {{{"/verification/bytesChecked", "1024"}}, "did not read the whole target back"},
      {{{"/outcome", R"("wiped!")"}}, "is none of"},
      {{{"/end", R"("2026-11-01T09:30:05.000Z")"}}, "ends before it starts"},
      {{{"/durationSeconds", "61.75"}}, "duration does not match"},
      {{{"/start", R"("2026-11-01 09:30:05")"}}, "not a UTC time"},
      {Purge("purged", "0", R"("Purge")", 0), ""},
      {Purge("cleared", "1", R"("Clear")", 0, kReadBackFailed), ""},
      {Purge("purged", "0", R"("Purge")", 1), "does not show every range erased"},
      {Purge("cleared", "1", R"("Purge")", 0, kReadBackFailed), "does not go with the outcome"},
      {Purge("purged", "0", R"("Purge")", 0, {{"/purge", "null"}}), "belongs to a purge"},
      {Purge("failed", "1", "null", 0, {{"/purge/outcome", R"("purged")"}}), "not the purge's own"},
  };
  for (const auto& test : cases) {
    const std::string report = Changed(test.changes);
    const std::vector<std::string> problems = CheckReportConsistency(report);
    if (test.problem[0] == '\0') {
      EXPECT_TRUE(problems.empty()) << report << "\n" << problems.front();
    } else {
      ASSERT_FALSE(problems.empty()) << report;
      EXPECT_NE(problems.front().find(test.problem), std::string::npos) << report << "\n"
                                                                        << problems.front();
    }
  }
  EXPECT_EQ(CheckReportConsistency("[1]"),
            std::vector<std::string>{"the report is not a JSON object"});
}

// Each row: the members changed and the certificate's verdict; a wipe that
// did not end with every sector written is never called erased, and a report
// that disagrees with itself gets no certificate.
TEST(Certificate, SaysErasedOnlyOfACompletedWipe) {
  const struct {
    Changes changes;
    const char* verdict;  // null: no certificate
    bool erased;
  } cases[] = {
      {{}, "ERASED AND VERIFIED", true},
      {{{"/verification/result", R"("not-requested")"}}, "ERASED, NOT VERIFIED", true},
      {{{"/target/kind", R"("file")"}, {"/verification/result", R"("not-requested")"}},
       "OVERWRITTEN AND DELETED",
       true},
      {{{"/target/kind", R"("free-space")"},
        {"/verification/result", R"("not-requested")"},
        {"/caveat", R"("ext4 keeps 8192 bytes of its free space for its own metadata")"}},
       "FREE SPACE OVERWRITTEN \xE2\x80\x94 WITH A CAVEAT",
       false},
      {{{"/outcome", R"("stopped")"},
        {"/exitCode", "3"},
        {"/finalRecord/code", "55586843"},
        {"/verification/result", R"("not-requested")"}},
       "NOT ERASED \xE2\x80\x94 STOPPED BEFORE COMPLETION",
       false},
      {{{"/outcome", R"("failed")"},
        {"/exitCode", "1"},
        {"/verification/result", R"("failed")"},
        {"/verification/firstMismatchSector", "51199"}},
       "NOT ERASED \xE2\x80\x94 THE WIPE FAILED",
       false},
      {{{"/outcome", R"("refused")"},
        {"/exitCode", "4"},
        {"/finalRecord", "null"},
        {"/verification/result", R"("not-requested")"}},
       "NOT ERASED \xE2\x80\x94 THE WIPE WAS REFUSED",
       false},
      {{{"/outcome", R"("stopped")"}}, nullptr, false},
      {Purge("purged", "0", R"("Purge")", 0), "PURGED, SAMPLE VERIFIED", true},
      {Purge("cleared", "1", R"("Clear")", 0, kReadBackFailed),
       "NOT PURGED \xE2\x80\x94 OVERWRITTEN ONLY", false},
  };
  for (const auto& test : cases) {
    const std::string report = Changed(test.changes);
    Certificate certificate;
    std::string error;
    ASSERT_EQ(ReadCertificate(report, "r.json", &certificate, &error), test.verdict != nullptr)
        << report << "\n"
        << error;
    if (test.verdict == nullptr) continue;
    EXPECT_EQ(certificate.verdict, test.verdict) << report;
    EXPECT_EQ(certificate.erased, test.erased) << report;
  }
}

// Each row: a configuration file, then what it leaves set over an
// organisation read before ("" for an error, which names the line).
TEST(ProgramConfig, ReadsKeyValueLines) {
  const struct {
    const char* text;
    const char* organisation;
    const char* operatorName;
  } cases[] = {
      {"# site\n\norganisation =  ACME Ltd \r\noperator=Jo\n", "ACME Ltd", "Jo"},
      {"operator = Jo\n", "Before", "Jo"},
      {"organisation =\n", "", ""},
      {"organisation = A\noperater = Jo\n", nullptr, nullptr},
      {"organisation ACME\n", nullptr, nullptr},
  };
  for (const auto& test : cases) {
    ProgramConfig config;
    config.organisation = "Before";
    std::string error;
    const bool read = config.Read(test.text, "site.conf", &error);
    ASSERT_EQ(read, test.organisation != nullptr) << test.text << error;
    if (!read) {
      EXPECT_EQ(error.rfind("site.conf:", 0), 0u) << error;
      continue;
    }
    EXPECT_EQ(config.organisation, test.organisation) << test.text;
    EXPECT_EQ(config.operatorName, test.operatorName) << test.text;
  }
}

}  // namespace
