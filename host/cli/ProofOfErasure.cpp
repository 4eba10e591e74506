#include "host/cli/ProofOfErasure.h"

#include <cstdio>

#include "host/cli/Certificate.h"
#include "host/cli/LocalSystem.h"
#include "host/cli/FilePlacement.h"
#include "host/cli/ProgramFiles.h"
#include "host/cli/TargetVerifier.h"

namespace {

// A signature or certificate goes only where a file may stand (never over a
// folder, a device or through a link), placed whole by rename.
bool PlaceChecked(const std::string& path, const std::string& bytes, std::string* error) {
  return CheckFilePlaceable(path, error) && PlaceFile(path, bytes, error);
}

bool EndsWithSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '/' || path.back() == '\\');
}

std::string PassesWritten(int passes) {
  if (passes <= 1) return "in one pass";
  return "on each of the " + std::to_string(passes) +
         " passes: every pass writes the same block, the one the algorithm fills for its first "
         "pass, not a pattern of its own";
}

}  // namespace

std::string BaseName(const std::string& path) {
  const std::string::size_type separator = path.find_last_of("/\\");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

ProofOfErasure::ProofOfErasure(const ProgramOptions& options) : m_options(options) {}

bool ProofOfErasure::Prepare(std::string* error) {
  if (!m_config.Load(error)) return false;
  if (!m_options.organisation.empty()) m_config.organisation = m_options.organisation;
  if (!m_options.operatorName.empty()) m_config.operatorName = m_options.operatorName;
  if (!m_options.certificatePath.empty()) {
    if (!CanRenderCertificatePdf(error)) return false;
    m_certificatePath = local_system::AbsolutePath(m_options.certificatePath);
  }
  if (m_options.signKeyPath.empty()) return true;
  std::string pem;
  if (!program_files::ReadRegular(m_options.signKeyPath, ReportSigner::kMaxKeyBytes, &pem, error)) {
    return false;
  }
  m_signer = ReportSigner::FromPem(pem, error);
  if (m_signer == nullptr) *error = m_options.signKeyPath + ": " + *error;
  return m_signer != nullptr;
}

void ProofOfErasure::Stamp(const std::string& reportPath, WipeReport* report) const {
  report->organisation = m_config.organisation;
  report->operatorName = m_config.operatorName;
  if (m_signer != nullptr) {
    report->signingKey = m_signer->Fingerprint();
    report->signatureFile = BaseName(reportPath) + ".sig";
  }
}

void ProofOfErasure::DescribeMethod(const VerifyPattern& pattern, WipeReport* report) {
  const std::vector<unsigned char>& block = pattern.block;
  bool uniform = !block.empty();
  for (const unsigned char byte : block) uniform = uniform && byte == block.front();
  char bytes[96];
  if (pattern.clockByte) {
    std::snprintf(bytes, sizeof(bytes), "one byte value taken from the clock in every byte");
  } else if (uniform) {
    std::snprintf(bytes, sizeof(bytes), "0x%02X in every byte", block.front());
  } else {
    std::snprintf(bytes, sizeof(bytes), "the algorithm's block of %zu bytes, repeated",
                  block.size());
  }
  report->patternWritten = std::string(bytes) + ", " + PassesWritten(report->passes);
  const std::string& kind = report->targetKind;
  if (kind == "disk" || kind == "partition") {
    report->sanitizationCategory = "Clear";
    report->sanitizationScope =
        kind == "disk" ? "an overwrite of every sector of the whole disk the host can address"
                       : "an overwrite of the partition's sectors only; the rest of the disk was "
                         "not written";
  } else {
    report->sanitizationCategory.clear();
    report->sanitizationScope =
        "an overwrite through the file system, which does not sanitize the medium";
  }
}

bool ProofOfErasure::WriteProofs(const std::string& reportPath, const std::string& reportBytes,
                                 std::string* error) const {
  std::string failures;
  std::string reason;
  std::string signature;
  if (m_signer != nullptr && !(m_signer->Sign(reportBytes, &signature, &reason) &&
                               PlaceChecked(reportPath + ".sig", signature, &reason))) {
    failures += "the signature: " + reason;
  }
  if (!m_certificatePath.empty() && !WriteCertificate(reportBytes, BaseName(reportPath),
                                                      CertificatePathFor(reportPath), &reason)) {
    failures += (failures.empty() ? "" : "; ") + std::string("the certificate: ") + reason;
  }
  *error = failures;
  return failures.empty();
}

bool ProofOfErasure::WriteCertificate(const std::string& reportBytes, const std::string& reportName,
                                      const std::string& pdfPath, std::string* error) {
  Certificate certificate;
  std::string pdf;
  return ReadCertificate(reportBytes, reportName, &certificate, error) &&
         RenderCertificatePdf(certificate, &pdf, error) && PlaceChecked(pdfPath, pdf, error);
}

std::string ProofOfErasure::CertificatePathFor(const std::string& reportPath) const {
  if (!EndsWithSeparator(m_certificatePath) && !program_files::IsFolder(m_certificatePath)) {
    return m_certificatePath;
  }
  std::string name = BaseName(reportPath);
  const std::string::size_type dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return m_certificatePath + (EndsWithSeparator(m_certificatePath) ? "" : "/") + name + ".pdf";
}
