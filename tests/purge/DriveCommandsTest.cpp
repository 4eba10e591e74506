#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/purge/DriveCommands.h"
#include "host/purge/WindowsRequests.h"

// Golden bytes written by hand from NVM Express Base 2.0, ACS-4, SAT-4,
// SBC-4, SPC-5 and the Win32 documentation of the request structures (x64).

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Hex(const Bytes& bytes) {
  std::string text;
  char part[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(part, sizeof(part), "%02X ", b);
    text += part;
  }
  return text;
}

// A zeroed record with `patches` (offset, bytes) laid over it.
Bytes Record(std::size_t size, const std::vector<std::pair<std::size_t, Bytes>>& patches) {
  Bytes record(size, 0);
  for (const auto& [at, bytes] : patches)
    std::copy(bytes.begin(), bytes.end(), record.begin() + at);
  return record;
}

Bytes Text(const char* text) { return Bytes(text, text + std::char_traits<char>::length(text)); }

}  // namespace

TEST(PurgeCommands, NvmeSubmissionEntries) {
  struct Row {
    NvmeAdminCommand command;
    std::uint32_t dataBytes;
    Bytes head;  // bytes 0-7: CDW0 (opcode), NSID
    Bytes tail;  // bytes 40-63: CDW10-CDW15
  } rows[] = {
      {NvmeIdentifyController(),
       4096,
       {0x06, 0, 0, 0, 0, 0, 0, 0},  // CNS 01h
       {0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {NvmeIdentifyNamespace(1),
       4096,
       {0x06, 0, 0, 0, 0x01, 0, 0, 0},  // CNS 00h, NSID 1
       {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {NvmeFormat(1, 0, 1),
       0,
       {0x80, 0, 0, 0, 0x01, 0, 0, 0},  // SES 001b in bits 11:9
       {0x00, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      // LBAF 19: 3 in bits 3:0, 1 in bits 13:12; SES 010b.
      {NvmeFormat(2, 19, 2), 0, {0x80, 0, 0, 0, 0x02, 0, 0, 0}, {0x03, 0x14, 0, 0, 0, 0, 0, 0,
                                                                 0,    0,    0, 0, 0, 0, 0, 0,
                                                                 0,    0,    0, 0, 0, 0, 0, 0}},
      {NvmeSanitize(2),
       0,
       {0x84, 0, 0, 0, 0, 0, 0, 0},  // SANACT 010b
       {0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {NvmeSanitize(3),
       0,
       {0x84, 0, 0, 0, 0, 0, 0, 0},  // SANACT 011b, OWPASS 1, pattern 0
       {0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {NvmeSanitize(4),
       0,
       {0x84, 0, 0, 0, 0, 0, 0, 0},  // SANACT 100b
       {0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {NvmeSanitizeStatusLog(),
       512,
       {0x02, 0, 0, 0, 0, 0, 0, 0},  // LID 81h, NUMDL 127
       {0x81, 0x00, 0x7F, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Row& row : rows) {
    const auto entry = NvmeCommandBytes(row.command);
    Bytes expected = row.head;
    expected.resize(40, 0);  // CDW2-3, MPTR, DPTR: the driver's
    expected.insert(expected.end(), row.tail.begin(), row.tail.end());
    EXPECT_EQ(Hex(Bytes(entry.begin(), entry.end())), Hex(expected)) << row.command.name;
    EXPECT_EQ(row.command.dataBytes, row.dataBytes) << row.command.name;
  }
  EXPECT_EQ(NvmeFormat(1, 0, 1).name, "NVMe Format NVM (SES 1, namespace 1)");
}

TEST(PurgeCommands, AtaPassThroughCdbs) {
  AtaCommand verify;  // a 28-bit non-data command: LBA 27:24 go in DEVICE
  verify.command = 0x40;
  verify.count = 8;
  verify.lba = 0x0A123456;
  const struct {
    AtaCommand command;
    Bytes cdb;
  } rows[] = {
      // PIO data-in (4), T_DIR 1, BYT_BLOK 1, T_LENGTH 10b, COUNT 1.
      {AtaIdentifyDevice(), {0x85, 0x08, 0x0E, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0x00, 0xEC, 0}},
      // Non-data (3) EXTEND, CK_COND; FEATURE 0012h; LBA 426B4572h in SAT's
      // byte order 31:24, 7:0, 39:32, 15:8, 47:40, 23:16; DEVICE 40h.
      {AtaSanitizeBlockErase(),
       {0x85, 0x07, 0x20, 0x00, 0x12, 0, 0, 0x42, 0x72, 0x00, 0x45, 0x00, 0x6B, 0x40, 0xB4, 0}},
      {AtaSanitizeCryptoScramble(),  // FEATURE 0011h, LBA 43727970h
       {0x85, 0x07, 0x20, 0x00, 0x11, 0, 0, 0x43, 0x70, 0x00, 0x79, 0x00, 0x72, 0x40, 0xB4, 0}},
      {AtaSanitizeStatus(), {0x85, 0x07, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0xB4, 0}},
      {verify, {0x85, 0x06, 0x20, 0, 0, 0, 0x08, 0, 0x56, 0, 0x34, 0, 0x12, 0x4A, 0x40, 0}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Hex(AtaPassThrough16(row.command)), Hex(row.cdb)) << row.command.name;
  }
}

TEST(PurgeCommands, ScsiCdbs) {
  using D = ScsiCommand::Direction;
  const struct {
    ScsiCommand command;
    Bytes cdb;
    D direction;
    std::uint32_t dataIn;
    Bytes dataOut;
  } rows[] = {
      {ScsiInquiryVpd(0xB2, 64), {0x12, 0x01, 0xB2, 0x00, 0x40, 0}, D::kIn, 64, {}},  // EVPD
      // MAINTENANCE IN / 0Ch, REPORTING OPTIONS 2 with a service action, 1 without.
      {ScsiReportSupportedOperation(0x48, 2),
       {0xA3, 0x0C, 0x02, 0x48, 0x00, 0x02, 0, 0, 0, 0x40, 0, 0},
       D::kIn,
       64,
       {}},
      {ScsiReportSupportedOperation(0x42, 0),
       {0xA3, 0x0C, 0x01, 0x42, 0x00, 0x00, 0, 0, 0, 0x40, 0, 0},
       D::kIn,
       64,
       {}},
      // IMMED + OVERWRITE; parameter list length 8: OVERWRITE COUNT 1,
      // pattern length 4, pattern 00000000h.
      {ScsiSanitize(1),
       {0x48, 0x81, 0, 0, 0, 0, 0, 0x00, 0x08, 0},
       D::kOut,
       0,
       {0x01, 0x00, 0x00, 0x04, 0, 0, 0, 0}},
      {ScsiSanitize(2), {0x48, 0x82, 0, 0, 0, 0, 0, 0, 0, 0}, D::kNone, 0, {}},  // BLOCK ERASE
      {ScsiSanitize(3), {0x48, 0x83, 0, 0, 0, 0, 0, 0, 0, 0}, D::kNone, 0, {}},  // CRYPTO ERASE
      {ScsiRequestSense(), {0x03, 0, 0, 0, 0xFC, 0}, D::kIn, 252, {}},
      {ScsiTestUnitReady(), {0, 0, 0, 0, 0, 0}, D::kNone, 0, {}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Hex(row.command.cdb), Hex(row.cdb)) << row.command.name;
    EXPECT_EQ(row.command.direction, row.direction) << row.command.name;
    EXPECT_EQ(row.command.dataInBytes, row.dataIn) << row.command.name;
    EXPECT_EQ(Hex(row.command.dataOut), Hex(row.dataOut)) << row.command.name;
  }
}

TEST(PurgeCommands, WindowsRequestBuffers) {
  const struct {
    const char* what;
    Bytes built;
    Bytes expected;
  } rows[] = {
      {"STORAGE_PROTOCOL_COMMAND, Format NVM", NvmeProtocolCommandRequest(NvmeFormat(1, 0, 1)),
       // Version 1, Length 84, ProtocolTypeNvme, FLAG_ADAPTER_REQUEST.
       Record(208, {{0, {1, 0, 0, 0, 84, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0x80}},
                    {24, {64, 0, 0, 0, 64, 0, 0, 0}},        // CommandLength, ErrorInfoLength
                    {40, {0x10, 0x0E, 0, 0, 144, 0, 0, 0}},  // TimeOutValue 3600, ErrorInfoOffset
                    {56, {1, 0, 0, 0}},                      // CommandSpecific: admin command
                    {80, {0x80, 0, 0, 0, 1, 0, 0, 0}},       // Command: opcode, NSID
                    {120, {0x00, 0x02, 0, 0}}})},            // CDW10: SES 1
      {"STORAGE_PROPERTY_QUERY, Identify Namespace",
       NvmeQueryPropertyRequest(NvmeIdentifyNamespace(1)),
       // StorageDeviceProtocolSpecificProperty; NVMe, NVMeDataTypeIdentify, CNS 0, NSID 1;
       // the data at 40 past that, 4096 bytes.
       Record(48 + 4096, {{0, {50}},
                          {8, {3, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}},
                          {24, {40, 0, 0, 0, 0x00, 0x10}}})},
      {"STORAGE_PROPERTY_QUERY, sanitize log", NvmeQueryPropertyRequest(NvmeSanitizeStatusLog()),
       Record(48 + 512, {{0, {49, 0, 0, 0}},  // StorageAdapterProtocolSpecificProperty
                         {8, {3, 0, 0, 0, 2, 0, 0, 0, 0x81, 0, 0, 0}},  // NVMe, log page, LID 81h
                         {24, {40, 0, 0, 0, 0x00, 0x02, 0, 0}}})},
      {"STORAGE_PROPERTY_QUERY, not for Format", NvmeQueryPropertyRequest(NvmeFormat(1, 0, 1)), {}},
      {"ATA_PASS_THROUGH_EX, IDENTIFY", AtaPassThroughRequest(AtaIdentifyDevice()),
       Record(48 + 512, {{0, {48, 0, 0x03, 0}},                 // Length, DRDY_REQUIRED | DATA_IN
                         {8, {0x00, 0x02, 0, 0, 60, 0, 0, 0}},  // 512 bytes, 60 s
                         {24, {48}},                            // DataBufferOffset
                         {40, {0, 0x01, 0, 0, 0, 0x00, 0xEC, 0}}})},  // count 1, ECh
      {"ATA_PASS_THROUGH_EX, SANITIZE BLOCK ERASE", AtaPassThroughRequest(AtaSanitizeBlockErase()),
       Record(48, {{0, {48, 0, 0x09, 0}},     // DRDY_REQUIRED | 48BIT_COMMAND
                   {12, {60}},                // no data
                   {32, {0x00, 0x00, 0x42}},  // previous: FEATURE 15:8, COUNT 15:8, LBA 31:24
                   {40, {0x12, 0x00, 0x72, 0x45, 0x6B, 0x40, 0xB4}}})},
      {"SCSI_PASS_THROUGH, SANITIZE OVERWRITE", ScsiPassThroughRequest(ScsiSanitize(1)),
       Record(128, {{0, {56, 0, 0, 0, 0, 0, 10, 64, 0}},  // Length, CDB 10, sense 64, data out
                    {12, {8, 0, 0, 0, 60}},               // 8 bytes, 60 s
                    {24, {120}},                          // data after the sense area
                    {32, {56, 0, 0, 0}},                  // sense right after the structure
                    {36, {0x48, 0x81, 0, 0, 0, 0, 0, 0x00, 0x08, 0}},
                    {120, {0x01, 0, 0, 0x04, 0, 0, 0, 0}}})},
      {"DEVICE_MANAGE_DATA_SET_ATTRIBUTES, one range", TrimRangeRequest(0x100000, 0x200000),
       Record(48, {{0, {28, 0, 0, 0, 1}},    // Size, DeviceDsmAction_Trim
                   {20, {32, 0, 0, 0, 16}},  // the range at 32, 16 bytes
                   {32, {0, 0, 0x10}},       // StartingOffset 1 MiB
                   {40, {0, 0, 0x20}}})},    // LengthInBytes 2 MiB
      {"DEVICE_MANAGE_DATA_SET_ATTRIBUTES, whole disk", TrimWholeDiskRequest(),
       Record(28, {{0, {28, 0, 0, 0, 1, 0, 0, 0, 1}}})},  // ENTIRE_DATA_SET_RANGE, no range
  };
  for (const auto& row : rows) EXPECT_EQ(Hex(row.built), Hex(row.expected)) << row.what;
}

TEST(PurgeCommands, WindowsAnswers) {
  // ATA_PASS_THROUGH_EX back from SANITIZE STATUS EXT: 48-bit; COUNT 4000h
  // (in progress), LBA 8000h (half done), STATUS 50h.
  const Bytes ata =
      Record(48, {{2, {0x09}}, {32, {0, 0x40, 0x00}}, {40, {0, 0, 0, 0x80, 0, 0x40, 0x50}}});
  AtaResult registers;
  Bytes data;
  ASSERT_TRUE(DecodeAtaPassThrough(ata.data(), ata.size(), &registers, &data));
  EXPECT_EQ(registers.count, 0x4000);
  EXPECT_EQ(registers.lba, 0x8000u);
  EXPECT_EQ(registers.status, 0x50);
  const AtaSanitizeState state = DecodeAtaSanitizeStatus(registers);
  EXPECT_TRUE(state.inProgress && !state.succeeded);
  EXPECT_DOUBLE_EQ(state.progress, 0.5);

  const struct {
    Bytes buffer;
    std::uint16_t status;
    std::uint32_t result;
    Bytes data;
  } rows[] = {
      // STORAGE_PROTOCOL_STATUS_ERROR; the error entry's Status Field 0215h:
      // SCT 1, SC 0Ah, phase 1.
      {Record(208, {{16, {2}}, {28, {64}}, {44, {144}}, {156, {0x15, 0x02}}}), 0x010A, 0, {}},
      // An error the driver left no status for reads as an internal error.
      {Record(208, {{16, {2}}, {28, {64}}, {44, {144}}}), 0x0006, 0, {}},
      // Success, DW0 12345678h, 2 bytes of data at 208.
      {Record(210,
              {{16, {1}}, {36, {2}}, {52, {208}}, {64, {0x78, 0x56, 0x34, 0x12}}, {208, {7, 9}}}),
       0,
       0x12345678,
       {7, 9}},
  };
  for (const auto& row : rows) {
    ProtocolCommandAnswer answer;
    ASSERT_TRUE(DecodeNvmeProtocolCommand(row.buffer.data(), row.buffer.size(), &answer));
    EXPECT_EQ(answer.nvmeStatus, row.status);
    EXPECT_EQ(answer.result, row.result);
    EXPECT_EQ(Hex(answer.data), Hex(row.data));
  }
  // Data past the buffer's end is refused, not read.
  const Bytes overrun = Record(208, {{16, {1}}, {36, {0x10}}, {52, {208}}});
  ProtocolCommandAnswer ignored;
  EXPECT_FALSE(DecodeNvmeProtocolCommand(overrun.data(), overrun.size(), &ignored));

  // STORAGE_PROTOCOL_DATA_DESCRIPTOR: Version = Size = 48, data at 8 + 40.
  const Bytes descriptor =
      Record(52, {{0, {48, 0, 0, 0, 48}}, {24, {40, 0, 0, 0, 4}}, {48, Text("abcd")}});
  ASSERT_TRUE(DecodeNvmeQueryProperty(descriptor.data(), descriptor.size(), &data));
  EXPECT_EQ(Hex(data), Hex(Text("abcd")));
  EXPECT_FALSE(DecodeNvmeQueryProperty(descriptor.data(), 51, &data));

  // SCSI_PASS_THROUGH back: CHECK CONDITION, 18 sense bytes at 56, data in.
  const Bytes scsi = Record(122, {{2, {0x02}},
                                  {7, {18, 1}},
                                  {12, {2}},
                                  {24, {120}},
                                  {32, {56}},
                                  {56, {0x70, 0, 0x05}},
                                  {120, {0xAB, 0xCD}}});
  ScsiPassThroughAnswer back;
  ASSERT_TRUE(DecodeScsiPassThrough(scsi.data(), scsi.size(), &back));
  EXPECT_EQ(back.status, 0x02);
  EXPECT_EQ(back.sense.size(), 18u);
  EXPECT_EQ(DecodeSense(back.sense.data(), back.sense.size()).key, 0x05);
  EXPECT_EQ(Hex(back.data), "AB CD ");
}

TEST(PurgeCommands, IdentifyAndLogDecoding) {
  const Bytes controller = Record(4096, {{4, Text("SN123   ")},
                                         {24, Text("Vtx Model ")},
                                         {64, Text("1.0     ")},
                                         {256, {0x02, 0x00}},              // OACS: Format NVM
                                         {328, {0x07, 0x00, 0x00, 0x60}},  // SANICAP
                                         {524, {0x05}}});                  // FNA
  NvmeControllerFacts c;
  ASSERT_TRUE(DecodeNvmeController(controller.data(), controller.size(), &c));
  EXPECT_TRUE(c.formatSupported);
  EXPECT_EQ(c.formatAttributes, 0x05);
  EXPECT_EQ(c.sanitizeCapabilities, 0x60000007u);
  EXPECT_EQ(c.serial + "|" + c.model + "|" + c.firmware, "SN123|Vtx Model|1.0");
  EXPECT_FALSE(DecodeNvmeController(controller.data(), 4095, &c));

  const struct {
    Bytes data;
    bool ok;
    std::uint8_t format;
    std::uint32_t blockBytes;
  } namespaces[] = {
      // NSZE 100000h; NLBAF 1; FLBAS 1; DLFEAT 09h; LBAF0 LBADS 9, LBAF1 LBADS 12.
      {Record(4096, {{0, {0, 0, 0x10}}, {25, {1, 1}}, {33, {0x09}}, {130, {9}}, {134, {12}}}), true,
       1, 4096},
      // NLBAF 20; FLBAS bits 6:5 = 01b, 3:0 = 1: format 17 (LBADS at 128 + 68 + 2).
      {Record(4096, {{0, {0, 0, 0x10}}, {25, {20, 0x21}}, {33, {0x09}}, {198, {9}}}), true, 17,
       512},
      {Record(4096, {{25, {0, 2}}, {130, {9}}}), false, 0, 0},  // FLBAS past NLBAF
  };
  for (const auto& row : namespaces) {
    NvmeNamespaceFacts n;
    ASSERT_EQ(DecodeNvmeNamespace(row.data.data(), row.data.size(), &n), row.ok);
    if (!row.ok) continue;
    EXPECT_EQ(n.sizeBlocks, 0x100000u);
    EXPECT_EQ(n.lbaFormat, row.format);
    EXPECT_EQ(n.blockBytes, row.blockBytes);
    EXPECT_EQ(n.deallocatedReads, 1);
  }

  // SPROG 8000h, SSTAT 0102h (global data erased, in progress), SCDW10 2.
  const Bytes log = Record(512, {{0, {0x00, 0x80, 0x02, 0x01, 0x02}}});
  NvmeSanitizeStatus s;
  ASSERT_TRUE(DecodeNvmeSanitizeStatus(log.data(), log.size(), &s));
  EXPECT_DOUBLE_EQ(s.progress, 0.5);
  EXPECT_EQ(s.state, 2);
  EXPECT_EQ(s.lastCommand, 2u);

  // IDENTIFY DEVICE: texts byte-swapped per word; word 59 B000h, word 83
  // 4400h (48-bit), words 60-61 0FFFFFFFh, 100-103 12345678h, word 128 0009h
  // (supported, frozen), word 169 bit 0.
  const std::vector<std::pair<std::size_t, Bytes>> words = {{20, Text("BA21")},
                                                            {46, Text("WF 1")},
                                                            {54, Text("iDks")},
                                                            {118, {0x00, 0xB0}},
                                                            {120, {0xFF, 0xFF, 0xFF, 0x0F}},
                                                            {166, {0x00, 0x44}},
                                                            {200, {0x78, 0x56, 0x34, 0x12}},
                                                            {256, {0x09}},
                                                            {338, {0x01}}};
  AtaIdentifyFacts a;
  const Bytes identify = Record(512, words);
  ASSERT_TRUE(DecodeAtaIdentify(identify.data(), identify.size(), &a));
  EXPECT_TRUE(a.sanitizeFeatureSet && a.sanitizeBlockErase && a.sanitizeCryptoScramble);
  EXPECT_FALSE(a.sanitizeOverwrite);
  EXPECT_TRUE(a.securitySupported && a.securityFrozen && a.trim);
  EXPECT_FALSE(a.securityEnabled || a.securityLocked);
  EXPECT_EQ(a.sizeSectors, 0x12345678u);
  EXPECT_EQ(a.serial + "|" + a.firmware + "|" + a.model, "AB12|FW1|Disk");
  Bytes noLba48 = identify;
  noLba48[167] = 0x40;  // word 83 without bit 10: words 60-61 count
  ASSERT_TRUE(DecodeAtaIdentify(noLba48.data(), noLba48.size(), &a));
  EXPECT_EQ(a.sizeSectors, 0x0FFFFFFFu);
  EXPECT_FALSE(DecodeAtaIdentify(identify.data(), 511, &a));

  // REPORT SUPPORTED OPERATION CODES, SUPPORT in byte 1; the LBP VPD page.
  const Bytes supported = {0, 0x03}, vendor = {0, 0x05}, notSupported = {0, 0x01};
  EXPECT_TRUE(DecodeOperationSupported(supported.data(), 2));
  EXPECT_TRUE(DecodeOperationSupported(vendor.data(), 2));
  EXPECT_FALSE(DecodeOperationSupported(notSupported.data(), 2));
  const Bytes lbpu = {0, 0xB2, 0, 4, 0, 0x80, 0, 0}, lbpws = {0, 0xB2, 0, 4, 0, 0x40, 0, 0};
  EXPECT_TRUE(DecodeUnmapSupported(lbpu.data(), lbpu.size()));
  EXPECT_FALSE(DecodeUnmapSupported(lbpws.data(), lbpws.size()));
}

TEST(PurgeCommands, SenseAndStatusDecoding) {
  const struct {
    Bytes sense;
    bool descriptor;
    const char* words;
  } senses[] = {
      {{0x70, 0, 0x02, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x04, 0x1B, 0, 0x80, 0x40, 0x00},
       false,
       "NOT READY: logical unit not ready, sanitize in progress (04h/1Bh), 25% done"},
      {{0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x20, 0x00, 0, 0, 0, 0},
       false,
       "ILLEGAL REQUEST: invalid command operation code (20h/00h)"},
      {{0x71, 0, 0x06, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x29, 0x02, 0, 0, 0, 0},
       false,
       "UNIT ATTENTION: a reset occurred (29h/02h)"},
      {{0x70, 0, 0x07, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x27, 0x00, 0, 0, 0, 0},
       false,
       "DATA PROTECT: write protected (27h/00h)"},
      // Descriptor format, sense-key specific descriptor (02h): SKSV, 8000h.
      {{0x72, 0x02, 0x04, 0x1B, 0, 0, 0, 0x08, 0x02, 0x06, 0, 0, 0x80, 0x80, 0x00, 0},
       true,
       "NOT READY: logical unit not ready, sanitize in progress (04h/1Bh), 50% done"},
      {{0x72, 0x05, 0x24, 0x00, 0, 0, 0, 0},
       true,
       "ILLEGAL REQUEST: invalid field in CDB (24h/00h)"},
      {{0x73, 0x03, 0x31, 0x03, 0, 0, 0, 0},
       true,
       "MEDIUM ERROR: sanitize command failed (31h/03h)"},
      {{0x72, 0x05, 0x26, 0x00, 0, 0, 0, 0},
       true,
       "ILLEGAL REQUEST: invalid field in parameter list (26h/00h)"},
      {{0x00, 0, 0, 0, 0, 0, 0, 0}, false, "no sense data"},
  };
  for (const auto& row : senses) {
    const SenseData sense = DecodeSense(row.sense.data(), row.sense.size());
    EXPECT_EQ(sense.descriptorFormat, row.descriptor) << row.words;
    EXPECT_EQ(DescribeSense(sense), row.words);
  }

  // ATA Status Return descriptor (09h), and SAT's fixed-format equivalent.
  const struct {
    Bytes sense;
    bool found;
    std::uint8_t status, error;
    std::uint16_t count;
    std::uint64_t lba;
    const char* words;
  } returns[] = {
      {{0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 0x0E, 0x09, 0x0C, 0x01,
        0x04, 0,    0,    0,    0, 0, 0, 0,    0,    0x40, 0x51},
       true,
       0x51,
       0x04,
       0,
       0,
       "aborted by the drive (ABRT)"},
      {{0x72, 0x01, 0x00, 0x1D, 0,    0,    0,    0x0E, 0x09, 0x0C, 0x01,
        0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x40, 0x50},
       true,
       0x50,
       0x00,
       0x4000,
       0x8000,
       "completed"},
      {{0x70, 0, 0x01, 0x04, 0x51, 0x40, 0x00, 0x0A, 0, 0x00, 0x00, 0x00, 0x00, 0x1D, 0, 0, 0, 0},
       true,
       0x51,
       0x04,
       0,
       0,
       "aborted by the drive (ABRT)"},
      {{0x72, 0x05, 0x24, 0x00, 0, 0, 0, 0}, false, 0, 0, 0, 0, ""},
  };
  for (const auto& row : returns) {
    AtaResult result;
    ASSERT_EQ(DecodeAtaStatusReturn(row.sense.data(), row.sense.size(), &result), row.found);
    if (!row.found) continue;
    EXPECT_EQ(result.status, row.status);
    EXPECT_EQ(result.error, row.error);
    EXPECT_EQ(result.count, row.count);
    EXPECT_EQ(result.lba, row.lba);
    EXPECT_NE(DescribeAtaResult(result).find(row.words), std::string::npos)
        << DescribeAtaResult(result);
  }

  const struct {
    std::uint16_t status;
    const char* words;
  } statuses[] = {
      {0x0001, "NVMe status 0x0001 (invalid command opcode)"},
      {0x0002, "NVMe status 0x0002 (invalid field in command)"},
      {0x001D, "NVMe status 0x001D (sanitize in progress)"},
      {0x0020, "NVMe status 0x0020 (namespace is write protected)"},
      {0x0084, "NVMe status 0x0084 (format in progress)"},
      {0x010A, "NVMe status 0x010A (invalid format)"},
      {0x0123,
       "NVMe status 0x0123 (sanitize prohibited while persistent memory region is enabled)"},
      {0x4002, "NVMe status 0x4002 (invalid field in command; do not retry)"},
      {0x01FE, "NVMe status 0x01FE (status code type 1, code 0xFE)"},
  };
  for (const auto& row : statuses) EXPECT_EQ(DescribeNvmeStatus(row.status), row.words);
}
