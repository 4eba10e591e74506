#pragma once

#include <string>
#include <vector>

// The certificate of one wipe: a one-page document a person reads, signs and
// files, made from the wipe's report alone (so a report written on one
// machine gets its certificate on another). A stopped, failed or refused wipe
// is never called erased.
struct Certificate {
  struct Line {
    std::string label;
    std::string value;
  };
  struct Section {
    std::string title;
    std::vector<Line> lines;
  };

  std::string verdict;        // "ERASED AND VERIFIED", "NOT ERASED: ..."
  std::string verdictDetail;  // one or two sentences under it
  bool erased = false;
  std::vector<Section> sections;
  std::vector<std::string> signers;  // the roles that sign it: operator, witness
  std::string operatorName;          // printed on the operator's signature line
};

// The certificate of the report whose file holds `reportBytes` and is named
// `reportName` on it (its SHA-256 is taken from these bytes). False, with the
// reason in `error`, when the bytes are no report or the report disagrees
// with itself (CheckReportConsistency).
bool ReadCertificate(const std::string& reportBytes, const std::string& reportName,
                     Certificate* certificate, std::string* error);

// The certificate as a one-page A4 PDF; long values are wrapped, never cut.
// False with the reason in `error`; a build without the PDF library says
// where the certificate can be rendered instead.
bool RenderCertificatePdf(const Certificate& certificate, std::string* pdf, std::string* error);

// Whether this build renders PDFs; where it does not, `why` says where to.
bool CanRenderCertificatePdf(std::string* why);
