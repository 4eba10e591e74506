#pragma once

#include "host/cli/ProgramOptions.h"

// The commands that need only a wipe report, on any machine: they load
// neither the module nor the host's components.

// check-report REPORT [--key PUB.pem]: the report's consistency and, with a
// key, its signature (REPORT.sig) and that the report names that key. Prints
// a short summary; kExitWiped (0) when all holds, kExitFailed (1) otherwise.
int RunCheckReport(const ProgramOptions& options);

// certificate REPORT -o FILE.pdf: the report's certificate. kExitWiped when
// written, kExitFailed otherwise (a report that disagrees with itself gets
// no certificate).
int RunCertificate(const ProgramOptions& options);
