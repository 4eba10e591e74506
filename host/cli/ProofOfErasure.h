#pragma once

#include <memory>
#include <string>

#include "host/cli/ProgramConfig.h"
#include "host/cli/ProgramOptions.h"
#include "host/cli/ReportSigner.h"
#include "host/cli/WipeReport.h"

struct VerifyPattern;

// What makes a wipe's report proof of erasure: for whom and by whom
// (--organisation, --operator, or the configuration files), what the method
// wrote and what it amounts to, the report's signature beside it (--sign)
// and its certificate (--certificate). Used from the main thread.
class ProofOfErasure {
 public:
  explicit ProofOfErasure(const ProgramOptions& options);
  ProofOfErasure(const ProofOfErasure&) = delete;
  ProofOfErasure& operator=(const ProofOfErasure&) = delete;

  // Reads the configuration files and the signing key and makes sure a
  // certificate can be rendered, before anything is wiped. False with the
  // reason: the wipe must not start.
  bool Prepare(std::string* error);

  // The organisation, the operator and the signing key into `report`, which
  // is to be written to `reportPath`.
  void Stamp(const std::string& reportPath, WipeReport* report) const;

  // The pattern `pattern` wrote and its NIST category into `report`.
  static void DescribeMethod(const VerifyPattern& pattern, WipeReport* report);

  // For the report just written to `reportPath` with exactly `reportBytes`:
  // its signature to `reportPath`.sig and its certificate, as asked. Each
  // file is replaced whole or left as it was. False with the reasons of what
  // could not be written.
  bool WriteProofs(const std::string& reportPath, const std::string& reportBytes,
                   std::string* error) const;

  // Renders the certificate of the report `reportBytes` (named `reportName`
  // on it) to `pdfPath`. False with the reason.
  static bool WriteCertificate(const std::string& reportBytes, const std::string& reportName,
                               const std::string& pdfPath, std::string* error);

 private:
  // Where the certificate of the report at `reportPath` goes: the file
  // given, or, where a folder was given, the report's name with ".pdf" in it.
  std::string CertificatePathFor(const std::string& reportPath) const;

  const ProgramOptions& m_options;
  ProgramConfig m_config;
  std::string m_certificatePath;
  std::unique_ptr<ReportSigner> m_signer;
};

// The last part of a path, after its last separator.
std::string BaseName(const std::string& path);
