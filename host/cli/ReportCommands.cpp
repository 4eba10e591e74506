#include "host/cli/ReportCommands.h"

#include <cstdio>
#include <string>
#include <vector>

#include <rapidjson/document.h>

#include "host/cli/ExitCodes.h"
#include "host/cli/JsonMember.h"
#include "host/cli/ProgramFiles.h"
#include "host/cli/ProofOfErasure.h"
#include "host/cli/ReportCheck.h"
#include "host/cli/ReportSigner.h"

namespace {

// Reports are small; this bounds what a wrong path can make the program read.
constexpr std::size_t kMaxReportBytes = 16 * 1024 * 1024;

int Fail(const std::string& message) {
  std::fprintf(stderr, "vantrix-wipe: %s\n", message.c_str());
  return kExitFailed;
}

std::string NamedKey(const std::string& reportBytes) {
  rapidjson::Document report;
  if (!ParseObject(reportBytes, &report)) return "";
  const auto signature = report.FindMember("signature");
  return signature == report.MemberEnd() ? "" : ReadText(signature->value, "keyFingerprintSha256");
}

void Line(const char* label, const std::string& value) {
  std::printf("%-13s %s\n", label, value.c_str());
}

// The signature line of the summary; false when it does not hold.
bool CheckSignatureOf(const std::string& reportPath, const std::string& reportBytes,
                      const std::string& keyPath) {
  const std::string named = NamedKey(reportBytes);
  if (keyPath.empty()) {
    Line("Signature:",
         named.empty() ? "none (the report is not signed)"
                       : "not checked: give --key PUB.pem (the report names key " + named + ")");
    return true;
  }
  std::string pem, signature, fingerprint, error;
  if (!program_files::ReadRegular(keyPath, ReportSigner::kMaxKeyBytes, &pem, &error) ||
      !program_files::ReadRegular(reportPath + ".sig", 4096, &signature, &error)) {
    Line("Signature:", "NOT VALID: " + error);
    return false;
  }
  const SignatureCheck check = CheckSignature(pem, reportBytes, signature, &fingerprint, &error);
  if (check != SignatureCheck::kValid) {
    Line("Signature:",
         "NOT VALID: " + (check == SignatureCheck::kUnusableKey ? keyPath + ": " : "") + error);
    return false;
  }
  if (fingerprint != named) {
    Line("Signature:", "NOT VALID: made with key " + fingerprint + ", but the report names " +
                           (named.empty() ? "no key" : named));
    return false;
  }
  Line("Signature:", "valid, by key " + fingerprint);
  return true;
}

}  // namespace

int RunCheckReport(const ProgramOptions& options) {
  std::string bytes, error;
  if (!program_files::ReadRegular(options.path, kMaxReportBytes, &bytes, &error)) {
    return Fail(error);
  }
  rapidjson::Document report;
  const bool parsed = ParseObject(bytes, &report);
  Line("Report:", options.path);
  Line("SHA-256:", Sha256Hex(bytes));
  if (parsed) {
    const auto target = report.FindMember("target");
    const auto verification = report.FindMember("verification");
    Line("Target:", target != report.MemberEnd() ? ReadText(target->value, "name") : "");
    Line("Outcome:",
         ReadText(report, "outcome") + ", verification " +
             (verification != report.MemberEnd() ? ReadText(verification->value, "result")
                                                 : std::string("missing")));
  }
  const std::vector<std::string> problems = CheckReportConsistency(bytes);
  Line("Consistency:", problems.empty() ? "holds" : "DOES NOT HOLD");
  for (const std::string& problem : problems) std::printf("  - %s\n", problem.c_str());
  const bool signatureHolds = CheckSignatureOf(options.path, bytes, options.publicKeyPath);
  const bool holds = problems.empty() && signatureHolds;
  std::printf("%s\n", holds ? "The report holds." : "The report does NOT hold.");
  return holds ? kExitWiped : kExitFailed;
}

int RunCertificate(const ProgramOptions& options) {
  std::string bytes, error;
  if (!program_files::ReadRegular(options.path, kMaxReportBytes, &bytes, &error) ||
      !ProofOfErasure::WriteCertificate(bytes, BaseName(options.path), options.certificatePath,
                                        &error)) {
    return Fail(error);
  }
  std::printf("Certificate of %s written to %s\n", options.path.c_str(),
              options.certificatePath.c_str());
  return kExitWiped;
}
