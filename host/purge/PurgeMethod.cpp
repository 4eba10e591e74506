#include "host/purge/PurgeMethod.h"

namespace {

struct MethodFacts {
  PurgeMethod method;
  const char* name;
  const char* description;
  bool cryptographic;
};

// Strongest first, as `auto` chooses; kAuto last, outside AllPurgeMethods.
const MethodFacts kMethods[] = {
    {PurgeMethod::kNvmeSanitizeBlockErase, "nvme-sanitize-block",
     "NVMe Sanitize block erase: the drive erases every flash block, spare area included", false},
    {PurgeMethod::kNvmeSanitizeCryptoErase, "nvme-sanitize-crypto",
     "NVMe Sanitize crypto erase: the drive replaces the key its data is encrypted with", true},
    {PurgeMethod::kNvmeSanitizeOverwrite, "nvme-sanitize-overwrite",
     "NVMe Sanitize overwrite: the drive writes zeros over all of its media", false},
    {PurgeMethod::kNvmeFormatUserData, "nvme-format",
     "NVMe Format NVM with user data erase: the drive erases the namespace's data", false},
    {PurgeMethod::kNvmeFormatCrypto, "nvme-format-crypto",
     "NVMe Format NVM with cryptographic erase: the drive replaces the namespace's key", true},
    {PurgeMethod::kAtaSanitizeBlockErase, "ata-sanitize-block",
     "ATA SANITIZE block erase: the drive erases every flash block, spare area included", false},
    {PurgeMethod::kAtaSanitizeCryptoScramble, "ata-sanitize-crypto",
     "ATA SANITIZE crypto scramble: the drive replaces the key its data is encrypted with", true},
    {PurgeMethod::kScsiSanitizeBlockErase, "scsi-sanitize-block",
     "SCSI SANITIZE block erase: the drive erases every block of its media", false},
    {PurgeMethod::kScsiSanitizeCryptoErase, "scsi-sanitize-crypto",
     "SCSI SANITIZE cryptographic erase: the drive replaces the key its data is encrypted with",
     true},
    {PurgeMethod::kScsiSanitizeOverwrite, "scsi-sanitize-overwrite",
     "SCSI SANITIZE overwrite: the drive writes zeros over all of its media", false},
    {PurgeMethod::kDiscard, "discard",
     "overwrite by the host, then discard (TRIM/UNMAP) of the whole device: the drive is asked "
     "to forget every block",
     false},
    {PurgeMethod::kAuto, "auto", "the strongest method the drive reports", false},
};

const MethodFacts& FactsOf(PurgeMethod method) {
  for (const MethodFacts& facts : kMethods) {
    if (facts.method == method) return facts;
  }
  return kMethods[sizeof(kMethods) / sizeof(kMethods[0]) - 1];
}

}  // namespace

const char* PurgeMethodName(PurgeMethod method) { return FactsOf(method).name; }

bool ParsePurgeMethod(const std::string& name, PurgeMethod* method) {
  for (const MethodFacts& facts : kMethods) {
    if (name == facts.name) {
      *method = facts.method;
      return true;
    }
  }
  return false;
}

const std::vector<PurgeMethod>& AllPurgeMethods() {
  static const std::vector<PurgeMethod> methods = [] {
    std::vector<PurgeMethod> all;
    for (const MethodFacts& facts : kMethods) {
      if (facts.method != PurgeMethod::kAuto) all.push_back(facts.method);
    }
    return all;
  }();
  return methods;
}

const char* DescribePurgeMethod(PurgeMethod method) { return FactsOf(method).description; }

bool IsCryptographicPurge(PurgeMethod method) { return FactsOf(method).cryptographic; }
