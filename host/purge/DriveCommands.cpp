#include "host/purge/DriveCommands.h"

#include <algorithm>
#include <cstdio>

namespace {

// ---- byte helpers ----------------------------------------------------------

std::uint16_t Le16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t Le32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::uint64_t Le64(const std::uint8_t* bytes) {
  return static_cast<std::uint64_t>(Le32(bytes)) | static_cast<std::uint64_t>(Le32(bytes + 4))
                                                       << 32;
}

std::uint16_t Be16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

void PutBe16(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value >> 8);
  at[1] = static_cast<std::uint8_t>(value);
}

void PutBe32(std::uint8_t* at, std::uint32_t value) {
  PutBe16(at, value >> 16);
  PutBe16(at + 2, value);
}

std::string Hex(unsigned value, int digits) {
  char text[24];
  std::snprintf(text, sizeof(text), "0x%0*X", digits, value);
  return text;
}

// Printable ASCII with the padding (spaces, NULs) trimmed at both ends.
std::string Trimmed(const std::string& raw) {
  std::string text;
  for (char c : raw) text += (c >= 0x20 && c < 0x7F) ? c : ' ';
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// An NVMe text field: bytes as they lie.
std::string NvmeText(const std::uint8_t* data, std::size_t from, std::size_t to) {
  return Trimmed(std::string(reinterpret_cast<const char*>(data + from), to - from + 1));
}

// An ATA IDENTIFY text: each word holds its first character in the high byte.
std::string AtaText(const std::uint8_t* data, int firstWord, int lastWord) {
  std::string raw;
  for (int word = firstWord; word <= lastWord; ++word) {
    raw += static_cast<char>(data[word * 2 + 1]);
    raw += static_cast<char>(data[word * 2]);
  }
  return Trimmed(raw);
}

struct Code {
  unsigned value;
  const char* words;
};

template <std::size_t N>
const char* Find(const Code (&table)[N], unsigned value) {
  for (const Code& code : table) {
    if (code.value == value) return code.words;
  }
  return nullptr;
}

// ---- NVMe ------------------------------------------------------------------

constexpr std::uint8_t kNvmeIdentify = 0x06;
constexpr std::uint8_t kNvmeGetLogPage = 0x02;
constexpr std::uint8_t kNvmeFormatNvm = 0x80;
constexpr std::uint8_t kNvmeSanitize = 0x84;
constexpr std::uint8_t kSanitizeStatusLog = 0x81;
constexpr std::uint32_t kIdentifyBytes = 4096;
constexpr std::uint32_t kSanitizeLogBytes = 512;

// Status Code Type 0h (generic), SC as the low byte.
const Code kNvmeGeneric[] = {
    {0x00, "successful completion"},
    {0x01, "invalid command opcode"},
    {0x02, "invalid field in command"},
    {0x03, "command identifier conflict"},
    {0x04, "data transfer error"},
    {0x05, "aborted: power loss notification"},
    {0x06, "internal error"},
    {0x07, "command abort requested"},
    {0x08, "aborted: submission queue deleted"},
    {0x09, "aborted: failed fused command"},
    {0x0A, "aborted: missing fused command"},
    {0x0B, "invalid namespace or format"},
    {0x0C, "command sequence error"},
    {0x0F, "data SGL length invalid"},
    {0x13, "PRP offset invalid"},
    {0x15, "operation denied"},
    {0x1B, "aborted: preempt and abort"},
    {0x1C, "sanitize failed"},
    {0x1D, "sanitize in progress"},
    {0x20, "namespace is write protected"},
    {0x21, "command interrupted"},
    {0x22, "transient transport error"},
    {0x23, "prohibited by command and feature lockdown"},
    {0x24, "admin command media not ready"},
    {0x80, "LBA out of range"},
    {0x81, "capacity exceeded"},
    {0x82, "namespace not ready"},
    {0x83, "reservation conflict"},
    {0x84, "format in progress"},
};

// Status Code Type 1h (command specific).
const Code kNvmeCommandSpecific[] = {
    {0x00, "completion queue invalid"},
    {0x01, "invalid queue identifier"},
    {0x02, "invalid queue size"},
    {0x03, "abort command limit exceeded"},
    {0x05, "asynchronous event request limit exceeded"},
    {0x06, "invalid firmware slot"},
    {0x07, "invalid firmware image"},
    {0x08, "invalid interrupt vector"},
    {0x09, "invalid log page"},
    {0x0A, "invalid format"},
    {0x0B, "firmware activation requires conventional reset"},
    {0x0C, "invalid queue deletion"},
    {0x0D, "feature identifier not saveable"},
    {0x0E, "feature not changeable"},
    {0x0F, "feature not namespace specific"},
    {0x10, "firmware activation requires NVM subsystem reset"},
    {0x11, "firmware activation requires controller level reset"},
    {0x13, "firmware activation prohibited"},
    {0x14, "overlapping range"},
    {0x15, "namespace insufficient capacity"},
    {0x16, "namespace identifier unavailable"},
    {0x18, "namespace already attached"},
    {0x19, "namespace is private"},
    {0x1A, "namespace not attached"},
    {0x1B, "thin provisioning not supported"},
    {0x1C, "controller list invalid"},
    {0x1D, "device self-test in progress"},
    {0x1E, "boot partition write prohibited"},
    {0x1F, "invalid controller identifier"},
    {0x23, "sanitize prohibited while persistent memory region is enabled"},
    {0x80, "conflicting attributes"},
    {0x81, "invalid protection information"},
    {0x82, "attempted write to read only range"},
};

// Status Code Type 2h (media and data integrity errors).
const Code kNvmeMedia[] = {
    {0x80, "write fault"},
    {0x81, "unrecovered read error"},
    {0x82, "end-to-end guard check error"},
    {0x83, "end-to-end application tag check error"},
    {0x84, "end-to-end reference tag check error"},
    {0x85, "compare failure"},
    {0x86, "access denied"},
    {0x87, "deallocated or unwritten logical block"},
};

NvmeAdminCommand MakeNvme(std::uint8_t opcode, std::uint32_t namespaceId, std::uint32_t cdw10,
                          std::uint32_t dataBytes, std::string name) {
  NvmeAdminCommand command;
  command.opcode = opcode;
  command.namespaceId = namespaceId;
  command.cdw10 = cdw10;
  command.dataBytes = dataBytes;
  command.name = std::move(name);
  return command;
}

const char* SanitizeActionName(std::uint8_t action) {
  switch (action) {
    case 1:
      return "exit failure mode";
    case 2:
      return "block erase";
    case 3:
      return "overwrite";
    case 4:
      return "crypto erase";
    default:
      return "reserved action";
  }
}

// ---- ATA -------------------------------------------------------------------

constexpr std::uint8_t kAtaIdentify = 0xEC;
constexpr std::uint8_t kAtaSanitize = 0xB4;
constexpr std::uint64_t kBlockEraseSignature = 0x426B4572;      // "BkEr"
constexpr std::uint64_t kCryptoScrambleSignature = 0x43727970;  // "Cryp"

AtaCommand MakeSanitize(std::uint16_t feature, std::uint64_t lba, std::string name) {
  AtaCommand command;
  command.command = kAtaSanitize;
  command.feature = feature;
  command.lba = lba;
  command.name = std::move(name);
  return command;
}

// Whether the command needs the 48-bit registers: the EXT commands this
// library sends, and anything whose fields do not fit the 28-bit ones.
bool IsExtended(const AtaCommand& command) {
  return command.command == kAtaSanitize || command.feature > 0xFF || command.count > 0xFF ||
         command.lba > 0x0FFFFFFF;
}

// SAT protocols.
constexpr std::uint8_t kProtocolNonData = 3;
constexpr std::uint8_t kProtocolPioDataIn = 4;

// ---- SCSI ------------------------------------------------------------------

const char* const kSenseKeys[] = {
    "NO SENSE",       "RECOVERED ERROR", "NOT READY",      "MEDIUM ERROR",
    "HARDWARE ERROR", "ILLEGAL REQUEST", "UNIT ATTENTION", "DATA PROTECT",
    "BLANK CHECK",    "VENDOR SPECIFIC", "COPY ABORTED",   "ABORTED COMMAND",
    "RESERVED (0Ch)", "VOLUME OVERFLOW", "MISCOMPARE",     "COMPLETED"};

// ASC << 8 | ASCQ.
const Code kAdditionalSense[] = {
    {0x0000, "no additional sense information"},
    {0x001D, "ATA pass-through information available"},
    {0x0400, "logical unit not ready, cause not reportable"},
    {0x0401, "logical unit is becoming ready"},
    {0x0402, "logical unit not ready, initializing command required"},
    {0x0403, "logical unit not ready, manual intervention required"},
    {0x0404, "logical unit not ready, format in progress"},
    {0x0409, "logical unit not ready, self-test in progress"},
    {0x041B, "logical unit not ready, sanitize in progress"},
    {0x0C00, "write error"},
    {0x1100, "unrecovered read error"},
    {0x1A00, "parameter list length error"},
    {0x2000, "invalid command operation code"},
    {0x2100, "logical block address out of range"},
    {0x2400, "invalid field in CDB"},
    {0x2500, "logical unit not supported"},
    {0x2600, "invalid field in parameter list"},
    {0x2700, "write protected"},
    {0x2800, "not ready to ready change, medium may have changed"},
    {0x2900, "power on, reset, or bus device reset occurred"},
    {0x2A01, "mode parameters changed"},
    {0x2C00, "command sequence error"},
    {0x3100, "medium format corrupted"},
    {0x3101, "format command failed"},
    {0x3103, "sanitize command failed"},
    {0x3A00, "medium not present"},
    {0x4400, "internal target failure"},
};

ScsiCommand MakeScsi(std::vector<std::uint8_t> cdb, ScsiCommand::Direction direction,
                     std::uint32_t dataInBytes, std::string name) {
  ScsiCommand command;
  command.cdb = std::move(cdb);
  command.direction = direction;
  command.dataInBytes = dataInBytes;
  command.name = std::move(name);
  return command;
}

// The sense-key specific bytes (SKSV first) as progress, where the sense key
// makes them a progress indication (NO SENSE, NOT READY).
void ReadProgress(const std::uint8_t* sks, SenseData* sense) {
  if ((sks[0] & 0x80) == 0 || (sense->key != 0x0 && sense->key != 0x2)) return;
  sense->hasProgress = true;
  sense->progress = Be16(sks + 1) / 65536.0;
}

}  // namespace

// ---- NVMe ------------------------------------------------------------------

NvmeAdminCommand NvmeIdentifyController() {
  // CDW10: CNS (bits 7:0) 01h, CNTID 0.
  return MakeNvme(kNvmeIdentify, 0, 0x01, kIdentifyBytes, "NVMe Identify Controller");
}

NvmeAdminCommand NvmeIdentifyNamespace(std::uint32_t namespaceId) {
  // CDW10: CNS 00h.
  return MakeNvme(kNvmeIdentify, namespaceId, 0x00, kIdentifyBytes,
                  "NVMe Identify Namespace " + std::to_string(namespaceId));
}

NvmeAdminCommand NvmeFormat(std::uint32_t namespaceId, std::uint8_t lbaFormat,
                            std::uint8_t secureErase) {
  // CDW10: LBAF bits 3:0, MSET 0, PI 0, PIL 0, SES bits 11:9, LBAF's upper
  // two bits in 13:12.
  const std::uint32_t cdw10 =
      (lbaFormat & 0x0Fu) | (secureErase & 0x7u) << 9 | ((lbaFormat >> 4) & 0x3u) << 12;
  NvmeAdminCommand command = MakeNvme(kNvmeFormatNvm, namespaceId, cdw10, 0,
                                      "NVMe Format NVM (SES " + std::to_string(secureErase) +
                                          ", namespace " + std::to_string(namespaceId) + ")");
  // A user-data erase of a large namespace takes the drive minutes.
  command.timeoutSeconds = 3600;
  return command;
}

NvmeAdminCommand NvmeSanitize(std::uint8_t action) {
  // CDW10: SANACT bits 2:0, AUSE 0, OWPASS bits 7:4 (one pass for an
  // overwrite), OIPBP 0, NDAS 0. CDW11: the overwrite pattern, 0.
  std::uint32_t cdw10 = action & 0x7u;
  if ((action & 0x7u) == 3) cdw10 |= 1u << 4;
  return MakeNvme(kNvmeSanitize, 0, cdw10, 0,
                  std::string("NVMe Sanitize (") + SanitizeActionName(action & 0x7u) + ")");
}

NvmeAdminCommand NvmeSanitizeStatusLog() {
  // CDW10: LID bits 7:0, LSP 0, RAE 0, NUMDL bits 31:16 (dwords - 1).
  const std::uint32_t numdl = kSanitizeLogBytes / 4 - 1;
  return MakeNvme(kNvmeGetLogPage, 0, kSanitizeStatusLog | numdl << 16, kSanitizeLogBytes,
                  "NVMe Get Log Page (sanitize status)");
}

bool DecodeNvmeController(const std::uint8_t* data, std::size_t size, NvmeControllerFacts* facts) {
  if (data == nullptr || size < kIdentifyBytes) return false;
  facts->serial = NvmeText(data, 4, 23);
  facts->model = NvmeText(data, 24, 63);
  facts->firmware = NvmeText(data, 64, 71);
  facts->formatSupported = (Le16(data + 256) & 0x2) != 0;
  facts->sanitizeCapabilities = Le32(data + 328);
  facts->formatAttributes = data[524];
  return true;
}

bool DecodeNvmeNamespace(const std::uint8_t* data, std::size_t size, NvmeNamespaceFacts* facts) {
  if (data == nullptr || size < kIdentifyBytes) return false;
  const std::uint8_t formats = data[25];  // NLBAF: a 0's based count
  const std::uint8_t flbas = data[26];
  const std::uint8_t format = static_cast<std::uint8_t>((flbas & 0x0F) | ((flbas >> 5) & 0x3) << 4);
  if (format > formats) return false;
  const std::uint8_t lbads = data[128 + 4 * format + 2];
  // LBADS below 9 means the format is not in use; above 31 is no block size.
  if (lbads < 9 || lbads > 31) return false;
  facts->sizeBlocks = Le64(data);
  facts->lbaFormat = format;
  facts->blockBytes = 1u << lbads;
  facts->deallocatedReads = data[33] & 0x7;
  return true;
}

bool DecodeNvmeSanitizeStatus(const std::uint8_t* data, std::size_t size,
                              NvmeSanitizeStatus* status) {
  if (data == nullptr || size < 8) return false;
  status->progress = Le16(data) / 65536.0;
  status->state = static_cast<std::uint8_t>(Le16(data + 2) & 0x7);
  status->lastCommand = Le32(data + 4);
  return true;
}

std::string DescribeNvmeStatus(std::uint16_t status) {
  const unsigned type = (status >> 8) & 0x7;
  const unsigned code = status & 0xFF;
  const char* words = nullptr;
  switch (type) {
    case 0:
      words = Find(kNvmeGeneric, code);
      break;
    case 1:
      words = Find(kNvmeCommandSpecific, code);
      break;
    case 2:
      words = Find(kNvmeMedia, code);
      break;
    case 3:
      words = "path related error";
      break;
    case 7:
      words = "vendor specific";
      break;
    default:
      break;
  }
  std::string text = "NVMe status " + Hex(status, 4) + " (";
  if (words != nullptr) {
    text += words;
  } else {
    text += "status code type " + std::to_string(type) + ", code " + Hex(code, 2);
  }
  if (status & 0x4000) text += "; do not retry";
  return text + ")";
}

// ---- ATA -------------------------------------------------------------------

AtaCommand AtaIdentifyDevice() {
  AtaCommand command;
  command.command = kAtaIdentify;
  command.count = 1;  // one 512-byte block
  command.device = 0;
  command.dataIn = true;
  command.dataBytes = 512;
  command.name = "ATA IDENTIFY DEVICE";
  return command;
}

AtaCommand AtaSanitizeBlockErase() {
  return MakeSanitize(0x0012, kBlockEraseSignature, "ATA SANITIZE BLOCK ERASE EXT");
}

AtaCommand AtaSanitizeCryptoScramble() {
  return MakeSanitize(0x0011, kCryptoScrambleSignature, "ATA SANITIZE CRYPTO SCRAMBLE EXT");
}

AtaCommand AtaSanitizeStatus() { return MakeSanitize(0x0000, 0, "ATA SANITIZE STATUS EXT"); }

bool DecodeAtaIdentify(const std::uint8_t* data, std::size_t size, AtaIdentifyFacts* facts) {
  if (data == nullptr || size < 512) return false;
  auto word = [data](int index) { return Le16(data + index * 2); };
  const std::uint16_t sanitize = word(59);
  facts->sanitizeFeatureSet = (sanitize & 0x1000) != 0;
  facts->sanitizeCryptoScramble = (sanitize & 0x2000) != 0;
  facts->sanitizeOverwrite = (sanitize & 0x4000) != 0;
  facts->sanitizeBlockErase = (sanitize & 0x8000) != 0;
  const std::uint16_t security = word(128);
  facts->securitySupported = (security & 0x1) != 0;
  facts->securityEnabled = (security & 0x2) != 0;
  facts->securityLocked = (security & 0x4) != 0;
  facts->securityFrozen = (security & 0x8) != 0;
  facts->trim = (word(169) & 0x1) != 0;
  // Words 100-103 hold the 48-bit count where word 83 bit 10 says the 48-bit
  // feature set is supported; else words 60-61.
  const std::uint64_t extended =
      static_cast<std::uint64_t>(word(100)) | static_cast<std::uint64_t>(word(101)) << 16 |
      static_cast<std::uint64_t>(word(102)) << 32 | static_cast<std::uint64_t>(word(103)) << 48;
  const bool has48Bit = (word(83) & 0xC000) == 0x4000 && (word(83) & 0x0400) != 0;
  facts->sizeSectors = has48Bit && extended != 0
                           ? extended
                           : static_cast<std::uint64_t>(word(60)) | std::uint64_t{word(61)} << 16;
  facts->serial = AtaText(data, 10, 19);
  facts->firmware = AtaText(data, 23, 26);
  facts->model = AtaText(data, 27, 46);
  return true;
}

AtaSanitizeState DecodeAtaSanitizeStatus(const AtaResult& result) {
  AtaSanitizeState state;
  state.succeeded = (result.count & 0x8000) != 0;
  state.inProgress = (result.count & 0x4000) != 0;
  state.progress = (result.lba & 0xFFFF) / 65536.0;
  return state;
}

std::string DescribeAtaResult(const AtaResult& result) {
  char registers[96];
  std::snprintf(registers, sizeof(registers),
                " (status 0x%02X, error 0x%02X, count 0x%04X, LBA 0x%012llX)", result.status,
                result.error, result.count,
                static_cast<unsigned long long>(result.lba & 0xFFFFFFFFFFFFull));
  std::string words;
  if (result.status & 0x80) {
    words = "the drive is busy";
  } else if (result.status & 0x20) {
    words = "device fault";
  } else if ((result.status & 0x01) == 0) {
    words = "completed";
  } else if (result.error & 0x04) {
    words = "aborted by the drive (ABRT): the command is not supported, or the drive is frozen";
  } else if (result.error & 0x40) {
    words = "uncorrectable data error (UNC)";
  } else if (result.error & 0x10) {
    words = "address not found (IDNF)";
  } else if (result.error & 0x80) {
    words = "interface CRC error (ICRC)";
  } else {
    words = "error reported by the drive";
  }
  return words + registers;
}

std::vector<std::uint8_t> AtaPassThrough16(const AtaCommand& command) {
  std::vector<std::uint8_t> cdb(16, 0);
  const bool extend = IsExtended(command);
  cdb[0] = 0x85;
  const std::uint8_t protocol = command.dataIn ? kProtocolPioDataIn : kProtocolNonData;
  cdb[1] = static_cast<std::uint8_t>(protocol << 1 | (extend ? 1 : 0));
  if (command.dataIn) {
    // CK_COND 0, T_TYPE 0, T_DIR 1 (from the device), BYT_BLOK 1 (blocks),
    // T_LENGTH 2 (the length is in COUNT).
    cdb[2] = 0x08 | 0x04 | 0x02;
  } else {
    // CK_COND 1: the registers come back in the sense data; no transfer.
    cdb[2] = 0x20;
  }
  const std::uint64_t lba = command.lba;
  cdb[3] = extend ? static_cast<std::uint8_t>(command.feature >> 8) : 0;
  cdb[4] = static_cast<std::uint8_t>(command.feature);
  cdb[5] = extend ? static_cast<std::uint8_t>(command.count >> 8) : 0;
  cdb[6] = static_cast<std::uint8_t>(command.count);
  cdb[7] = extend ? static_cast<std::uint8_t>(lba >> 24) : 0;
  cdb[8] = static_cast<std::uint8_t>(lba);
  cdb[9] = extend ? static_cast<std::uint8_t>(lba >> 32) : 0;
  cdb[10] = static_cast<std::uint8_t>(lba >> 8);
  cdb[11] = extend ? static_cast<std::uint8_t>(lba >> 40) : 0;
  cdb[12] = static_cast<std::uint8_t>(lba >> 16);
  // A 28-bit command carries LBA bits 27:24 in the device register.
  cdb[13] =
      static_cast<std::uint8_t>(extend ? command.device : command.device | ((lba >> 24) & 0x0F));
  cdb[14] = command.command;
  cdb[15] = 0;
  return cdb;
}

bool DecodeAtaStatusReturn(const std::uint8_t* sense, std::size_t size, AtaResult* result) {
  if (sense == nullptr || size < 8) return false;
  const std::uint8_t format = sense[0] & 0x7F;
  if (format == 0x72 || format == 0x73) {
    const std::size_t end = std::min<std::size_t>(size, 8u + sense[7]);
    for (std::size_t at = 8; at + 2 <= end; at += 2u + sense[at + 1]) {
      if (sense[at] != 0x09 || sense[at + 1] < 0x0C || at + 14 > end) continue;
      const std::uint8_t* d = sense + at;
      const bool extend = (d[2] & 0x01) != 0;
      result->error = d[3];
      result->count = static_cast<std::uint16_t>((extend ? d[4] << 8 : 0) | d[5]);
      result->lba = std::uint64_t{d[7]} | std::uint64_t{d[9]} << 8 | std::uint64_t{d[11]} << 16;
      if (extend) {
        result->lba |=
            std::uint64_t{d[6]} << 24 | std::uint64_t{d[8]} << 32 | std::uint64_t{d[10]} << 40;
      }
      result->status = d[13];
      return true;
    }
    return false;
  }
  // Fixed format with "ATA pass-through information available" (00h/1Dh),
  // as a system answers whose control mode page asks for fixed sense: the
  // INFORMATION field holds ERROR, STATUS, DEVICE and COUNT (7:0); the
  // command-specific field LBA (23:0). The upper halves of a 48-bit answer
  // are not carried (only flags say they were not zero).
  if ((format == 0x70 || format == 0x71) && size >= 14 && sense[7] >= 6 && sense[12] == 0x00 &&
      sense[13] == 0x1D) {
    result->error = sense[3];
    result->status = sense[4];
    result->count = sense[6];
    result->lba =
        std::uint64_t{sense[9]} | std::uint64_t{sense[10]} << 8 | std::uint64_t{sense[11]} << 16;
    return true;
  }
  return false;
}

// ---- SCSI ------------------------------------------------------------------

ScsiCommand ScsiInquiryVpd(std::uint8_t page, std::uint16_t bytes) {
  std::vector<std::uint8_t> cdb(6, 0);
  cdb[0] = 0x12;
  cdb[1] = 0x01;  // EVPD
  cdb[2] = page;
  PutBe16(&cdb[3], bytes);
  return MakeScsi(std::move(cdb), ScsiCommand::Direction::kIn, bytes,
                  "SCSI INQUIRY (VPD page " + Hex(page, 2) + ")");
}

ScsiCommand ScsiReportSupportedOperation(std::uint8_t opcode, std::uint16_t serviceAction) {
  constexpr std::uint32_t kAllocation = 64;
  std::vector<std::uint8_t> cdb(12, 0);
  cdb[0] = 0xA3;  // MAINTENANCE IN
  cdb[1] = 0x0C;  // REPORT SUPPORTED OPERATION CODES
  // REPORTING OPTIONS: 2, one command with this service action; 1, one
  // command that has none.
  cdb[2] = serviceAction != 0 ? 0x02 : 0x01;
  cdb[3] = opcode;
  PutBe16(&cdb[4], serviceAction);
  PutBe32(&cdb[6], kAllocation);
  return MakeScsi(std::move(cdb), ScsiCommand::Direction::kIn, kAllocation,
                  "SCSI REPORT SUPPORTED OPERATION CODES (" + Hex(opcode, 2) + "/" +
                      Hex(serviceAction, 2) + ")");
}

ScsiCommand ScsiSanitize(std::uint8_t serviceAction) {
  std::vector<std::uint8_t> cdb(10, 0);
  cdb[0] = 0x48;
  cdb[1] = static_cast<std::uint8_t>(0x80 | (serviceAction & 0x1F));  // IMMED, AUSE 0
  ScsiCommand command;
  if ((serviceAction & 0x1F) == 1) {
    // The overwrite parameter list: INVERT 0, TEST 0, OVERWRITE COUNT 1;
    // INITIALIZATION PATTERN LENGTH 4; the pattern 00000000h.
    command.dataOut = {0x01, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00};
    PutBe16(&cdb[7], static_cast<std::uint32_t>(command.dataOut.size()));
    command.direction = ScsiCommand::Direction::kOut;
  }
  const char* what = serviceAction == 1   ? "overwrite"
                     : serviceAction == 2 ? "block erase"
                     : serviceAction == 3 ? "crypto erase"
                                          : "other";
  command.cdb = std::move(cdb);
  command.name = std::string("SCSI SANITIZE (") + what + ")";
  return command;
}

ScsiCommand ScsiRequestSense() {
  constexpr std::uint8_t kAllocation = 252;
  // DESC 0: fixed format asked for; either is decoded.
  return MakeScsi({0x03, 0x00, 0x00, 0x00, kAllocation, 0x00}, ScsiCommand::Direction::kIn,
                  kAllocation, "SCSI REQUEST SENSE");
}

ScsiCommand ScsiTestUnitReady() {
  return MakeScsi(std::vector<std::uint8_t>(6, 0), ScsiCommand::Direction::kNone, 0,
                  "SCSI TEST UNIT READY");
}

SenseData DecodeSense(const std::uint8_t* sense, std::size_t size) {
  SenseData decoded;
  if (sense == nullptr || size < 8) return decoded;
  const std::uint8_t format = sense[0] & 0x7F;
  const std::size_t end = std::min<std::size_t>(size, 8u + sense[7]);
  if (format == 0x70 || format == 0x71) {
    decoded.valid = true;
    decoded.key = sense[2] & 0x0F;
    if (end >= 14) {
      decoded.asc = sense[12];
      decoded.ascq = sense[13];
    }
    if (end >= 18) ReadProgress(sense + 15, &decoded);
  } else if (format == 0x72 || format == 0x73) {
    decoded.valid = true;
    decoded.descriptorFormat = true;
    decoded.key = sense[1] & 0x0F;
    decoded.asc = sense[2];
    decoded.ascq = sense[3];
    for (std::size_t at = 8; at + 2 <= end; at += 2u + sense[at + 1]) {
      // Sense key specific descriptor: SKSV and the progress at bytes 4-6.
      if (sense[at] == 0x02 && sense[at + 1] >= 6 && at + 8 <= end) {
        ReadProgress(sense + at + 4, &decoded);
      }
    }
  }
  return decoded;
}

std::string DescribeSense(const SenseData& sense) {
  if (!sense.valid) return "no sense data";
  std::string text = kSenseKeys[sense.key & 0x0F];
  const unsigned code = static_cast<unsigned>(sense.asc) << 8 | sense.ascq;
  const char* words = Find(kAdditionalSense, code);
  if (words == nullptr && sense.asc == 0x29) words = "a reset occurred";
  char codes[16];
  std::snprintf(codes, sizeof(codes), " (%02Xh/%02Xh)", sense.asc, sense.ascq);
  text += ": ";
  text += words != nullptr ? words : "additional sense";
  text += codes;
  if (sense.hasProgress) {
    char done[32];
    std::snprintf(done, sizeof(done), ", %.0f%% done", sense.progress * 100.0);
    text += done;
  }
  return text;
}

bool DecodeOperationSupported(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size < 2) return false;
  // SUPPORT: 011b supported as the standard says, 101b in a vendor's way.
  const std::uint8_t support = data[1] & 0x07;
  return support == 0x3 || support == 0x5;
}

bool DecodeUnmapSupported(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size < 6 || data[1] != 0xB2) return false;
  return (data[5] & 0x80) != 0;  // LBPU
}
