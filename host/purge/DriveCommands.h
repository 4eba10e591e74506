#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The commands the purge library sends, built as the standards lay them out
// (NVM Express Base 2.0, ACS-4 with SAT-4's ATA PASS-THROUGH(16), SBC-4 and
// SPC-5), and the drive's answers decoded. Platform-free: the backends only
// carry these to the drive (DriveChannel.h).

// ---- NVMe admin commands ---------------------------------------------------

struct NvmeAdminCommand {
  std::uint8_t opcode = 0;
  std::uint32_t namespaceId = 0;
  std::uint32_t cdw10 = 0, cdw11 = 0, cdw12 = 0, cdw13 = 0, cdw14 = 0, cdw15 = 0;
  std::uint32_t dataBytes = 0;  // data from the drive (Identify, Get Log Page); 0 for none
  std::uint32_t timeoutSeconds = 60;
  std::string name;  // "NVMe Format NVM (SES 1, namespace 1)", for the report
};

// Identify (06h), CNS 01h: the controller's 4096-byte data structure.
NvmeAdminCommand NvmeIdentifyController();
// Identify (06h), CNS 00h: the namespace's 4096-byte data structure.
NvmeAdminCommand NvmeIdentifyNamespace(std::uint32_t namespaceId);
// Format NVM (80h) of `namespaceId` keeping LBA format `lbaFormat`, no
// protection information; `secureErase` is SES: 1 user data, 2 cryptographic.
NvmeAdminCommand NvmeFormat(std::uint32_t namespaceId, std::uint8_t lbaFormat,
                            std::uint8_t secureErase);
// Sanitize (84h); `action` is SANACT: 2 block erase, 3 overwrite, 4 crypto
// erase. An overwrite writes one pass of the pattern 0 without inversion.
// No-deallocate is not asked for, so the drive may leave the media
// deallocated.
NvmeAdminCommand NvmeSanitize(std::uint8_t action);
// Get Log Page (02h), the Sanitize Status log (81h), 512 bytes.
NvmeAdminCommand NvmeSanitizeStatusLog();

struct NvmeControllerFacts {
  bool formatSupported = false;            // OACS bit 1
  std::uint8_t formatAttributes = 0;       // FNA
  std::uint32_t sanitizeCapabilities = 0;  // SANICAP
  std::string model, serial, firmware;
};
// From Identify Controller data (at least 4096 bytes); false when too short.
bool DecodeNvmeController(const std::uint8_t* data, std::size_t size, NvmeControllerFacts* facts);

struct NvmeNamespaceFacts {
  std::uint64_t sizeBlocks = 0;       // NSZE
  std::uint8_t lbaFormat = 0;         // FLBAS bits 3:0 (and 6:5)
  std::uint32_t blockBytes = 0;       // 2^LBADS of the format in use
  std::uint8_t deallocatedReads = 0;  // DLFEAT bits 2:0
};
bool DecodeNvmeNamespace(const std::uint8_t* data, std::size_t size, NvmeNamespaceFacts* facts);

struct NvmeSanitizeStatus {
  double progress = 0;  // SPROG / 65536
  std::uint8_t state =
      0;  // SSTAT bits 2:0: 0 never, 1 done, 2 in progress, 3 failed, 4 done (no deallocate)
  std::uint32_t lastCommand = 0;  // SCDW10
};
bool DecodeNvmeSanitizeStatus(const std::uint8_t* data, std::size_t size,
                              NvmeSanitizeStatus* status);

// "NVMe status 0x0001 (invalid command opcode)": the completion's status
// field (bits 14:1 of DW3's upper half as the kernel returns it: SCT << 8 | SC).
std::string DescribeNvmeStatus(std::uint16_t status);

// ---- ATA commands (task file) ----------------------------------------------

struct AtaCommand {
  std::uint8_t command = 0;
  std::uint16_t feature = 0;
  std::uint16_t count = 0;
  std::uint64_t lba = 0;       // 48 bits
  std::uint8_t device = 0x40;  // LBA mode
  bool dataIn = false;         // PIO data in of `dataBytes`; else non-data
  std::uint32_t dataBytes = 0;
  std::uint32_t timeoutSeconds = 60;
  std::string name;
};
struct AtaResult {
  std::uint8_t status = 0;  // ATA Status: bit 0 ERR, bit 3 DRQ, bit 5 DF, bit 7 BSY
  std::uint8_t error = 0;   // ATA Error: bit 2 ABRT
  std::uint16_t count = 0;
  std::uint64_t lba = 0;
};

AtaCommand AtaIdentifyDevice();          // ECh, 512 bytes in
AtaCommand AtaSanitizeBlockErase();      // B4h / 0012h, LBA "BkEr", no failure mode
AtaCommand AtaSanitizeCryptoScramble();  // B4h / 0011h, LBA "Cryp"
AtaCommand AtaSanitizeStatus();          // B4h / 0000h

struct AtaIdentifyFacts {
  bool sanitizeFeatureSet = false, sanitizeBlockErase = false, sanitizeCryptoScramble = false,
       sanitizeOverwrite = false;  // word 59
  bool securitySupported = false, securityEnabled = false, securityLocked = false,
       securityFrozen = false;          // word 128
  bool trim = false;                    // word 169 bit 0
  std::uint64_t sizeSectors = 0;        // words 100-103, else 60-61
  std::string model, serial, firmware;  // words 27-46, 10-19, 23-26 (byte-swapped)
};
bool DecodeAtaIdentify(const std::uint8_t* data, std::size_t size, AtaIdentifyFacts* facts);

struct AtaSanitizeState {
  bool inProgress = false;  // count bit 14 (SANITIZE OPERATION IN PROGRESS)
  bool succeeded = false;   // count bit 15 (SANITIZE OPERATION COMPLETED WITHOUT ERROR)
  double progress = 0;      // LBA bits 15:0 / 65536
};
AtaSanitizeState DecodeAtaSanitizeStatus(const AtaResult& result);

// "aborted by the drive (ABRT): the command is not supported, or the drive
// is frozen" and the like, with the registers in hex.
std::string DescribeAtaResult(const AtaResult& result);

// SAT: the ATA PASS-THROUGH(16) CDB (85h) carrying `command`.
std::vector<std::uint8_t> AtaPassThrough16(const AtaCommand& command);
// The ATA Status Return descriptor (09h) of descriptor-format sense data,
// as returned with CK_COND set; false when the sense holds none.
bool DecodeAtaStatusReturn(const std::uint8_t* sense, std::size_t size, AtaResult* result);

// ---- SCSI commands ---------------------------------------------------------

struct ScsiCommand {
  std::vector<std::uint8_t> cdb;
  enum class Direction { kNone, kIn, kOut } direction = Direction::kNone;
  std::vector<std::uint8_t> dataOut;
  std::uint32_t dataInBytes = 0;
  std::uint32_t timeoutSeconds = 60;
  std::string name;
};

ScsiCommand ScsiInquiryVpd(std::uint8_t page, std::uint16_t bytes);
ScsiCommand ScsiReportSupportedOperation(std::uint8_t opcode, std::uint16_t serviceAction);
// SANITIZE (48h) with IMMED set; `serviceAction`: 1 overwrite (one pass of
// zeros, parameter list sent), 2 block erase, 3 crypto erase.
ScsiCommand ScsiSanitize(std::uint8_t serviceAction);
ScsiCommand ScsiRequestSense();
ScsiCommand ScsiTestUnitReady();

// Sense data in either format: fixed (70h/71h) or descriptor (72h/73h).
struct SenseData {
  bool valid = false;
  bool descriptorFormat = false;
  std::uint8_t key = 0, asc = 0, ascq = 0;
  bool hasProgress = false;
  double progress = 0;  // sense-key specific progress indication / 65536
};
SenseData DecodeSense(const std::uint8_t* sense, std::size_t size);
// "ILLEGAL REQUEST: invalid command operation code (20h/00h)".
std::string DescribeSense(const SenseData& sense);

// Whether REPORT SUPPORTED OPERATION CODES (one command) says it is supported.
bool DecodeOperationSupported(const std::uint8_t* data, std::size_t size);
// Logical Block Provisioning VPD page (B2h): LBPU, unmap supported.
bool DecodeUnmapSupported(const std::uint8_t* data, std::size_t size);
