#pragma once

#include <string>
#include <vector>

// The ways a drive can be made to erase itself, and the one way the host can
// make a drive forget what an overwrite left in its spare area (discard).
// Listed strongest first: `auto` takes the first one the drive reports.
enum class PurgeMethod {
  kAuto,
  kNvmeSanitizeBlockErase,     // NVMe Sanitize, action 2: every flash block erased
  kNvmeSanitizeCryptoErase,    // NVMe Sanitize, action 4: the media encryption key replaced
  kNvmeSanitizeOverwrite,      // NVMe Sanitize, action 3: one pass of zeros by the drive
  kNvmeFormatUserData,         // NVMe Format NVM, SES 1: user data erased
  kNvmeFormatCrypto,           // NVMe Format NVM, SES 2: cryptographic erase
  kAtaSanitizeBlockErase,      // ATA SANITIZE BLOCK ERASE EXT
  kAtaSanitizeCryptoScramble,  // ATA SANITIZE CRYPTO SCRAMBLE EXT
  kScsiSanitizeBlockErase,     // SCSI SANITIZE, service action 2
  kScsiSanitizeCryptoErase,    // SCSI SANITIZE, service action 3
  kScsiSanitizeOverwrite,      // SCSI SANITIZE, service action 1, one pass of zeros
  kDiscard,  // the host overwrites every sector, then discards (TRIM/UNMAP) the whole device
};

// "auto", "nvme-sanitize-block", "nvme-sanitize-crypto", "nvme-sanitize-overwrite",
// "nvme-format", "nvme-format-crypto", "ata-sanitize-block", "ata-sanitize-crypto",
// "scsi-sanitize-block", "scsi-sanitize-crypto", "scsi-sanitize-overwrite", "discard".
const char* PurgeMethodName(PurgeMethod method);
// The method named `name` (the names above); false for any other text.
bool ParsePurgeMethod(const std::string& name, PurgeMethod* method);
// Every method but kAuto, strongest first.
const std::vector<PurgeMethod>& AllPurgeMethods();
// What the method does, in plain words, for the question and the report.
const char* DescribePurgeMethod(PurgeMethod method);
// Whether the method erases by destroying the key the data is encrypted
// with: the sectors then read as noise, not as an erased pattern.
bool IsCryptographicPurge(PurgeMethod method);
