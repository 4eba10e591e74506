// A build without the PDF library (the Windows build): the certificate is
// rendered from the report elsewhere.
#include "host/cli/Certificate.h"

bool CanRenderCertificatePdf(std::string* why) {
  *why =
      "this build has no PDF library; render the certificate from the report with vantrix-wipe "
      "on Linux: vantrix-wipe certificate REPORT -o FILE.pdf";
  return false;
}

bool RenderCertificatePdf(const Certificate&, std::string*, std::string* error) {
  return CanRenderCertificatePdf(error);
}
