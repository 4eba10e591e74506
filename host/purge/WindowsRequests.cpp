#include "host/purge/WindowsRequests.h"

#include <algorithm>

namespace {

void Put16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  bytes[at] = static_cast<std::uint8_t>(value);
  bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  Put16(bytes, at, value);
  Put16(bytes, at + 2, value >> 16);
}

void Put64(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t value) {
  Put32(bytes, at, static_cast<std::uint32_t>(value));
  Put32(bytes, at + 4, static_cast<std::uint32_t>(value >> 32));
}

std::uint16_t Get16(const std::uint8_t* bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t Get32(const std::uint8_t* bytes, std::size_t at) {
  return Get16(bytes, at) | static_cast<std::uint32_t>(Get16(bytes, at + 2)) << 16;
}

std::uint64_t Get64(const std::uint8_t* bytes, std::size_t at) {
  return Get32(bytes, at) | static_cast<std::uint64_t>(Get32(bytes, at + 4)) << 32;
}

// Whether [offset, offset + length) lies inside a buffer of `size` bytes.
bool Inside(std::uint64_t offset, std::uint64_t length, std::size_t size) {
  return offset <= size && length <= size - offset;
}

constexpr std::uint8_t kNvmeIdentify = 0x06;
constexpr std::uint8_t kNvmeGetLogPage = 0x02;
constexpr std::uint8_t kCnsController = 0x01;

// Only the 48-bit EXT commands this library sends, or fields past 28 bits.
bool Is48Bit(const AtaCommand& command) {
  return command.command == 0xB4 || command.feature > 0xFF || command.count > 0xFF ||
         command.lba > 0x0FFFFFFF;
}

using PC = ProtocolCommandLayout;
using PQ = ProtocolQueryLayout;
using AP = AtaPassThroughLayout;
using SP = ScsiPassThroughLayout;
using DS = DataSetLayout;

// The documented layouts: twenty DWORDs before Command[]; the x64 packing
// of the pass-through structures (ULONG_PTR DataBufferOffset at 24).
static_assert(PC::kCommand == 20 * 4 && PC::kSize == PC::kCommand + 4, "protocol command");
static_assert(PC::kDataAt % 16 == 0, "data is 16-byte aligned in the request");
static_assert(PQ::kDescriptorSize == 8 + PQ::kSpecificDataSize, "protocol data descriptor");
static_assert(AP::kSize == AP::kCurrentTaskFile + 8, "ATA_PASS_THROUGH_EX");
static_assert(SP::kSize == (SP::kCdb + 16 + 7) / 8 * 8, "SCSI_PASS_THROUGH");
static_assert(DS::kRangesAt == (DS::kStructSize + 7) / 8 * 8, "DEVICE_MANAGE_DATA_SET_ATTRIBUTES");

}  // namespace

// ---- STORAGE_PROTOCOL_COMMAND ----------------------------------------------

std::array<std::uint8_t, 64> NvmeCommandBytes(const NvmeAdminCommand& command) {
  std::array<std::uint8_t, 64> entry{};
  auto put = [&entry](std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) entry[at + i] = static_cast<std::uint8_t>(value >> 8 * i);
  };
  entry[0] = command.opcode;  // CDW0: OPC; FUSE, PSDT and CID left 0
  put(4, command.namespaceId);
  const std::uint32_t dwords[] = {command.cdw10, command.cdw11, command.cdw12,
                                  command.cdw13, command.cdw14, command.cdw15};
  for (std::size_t i = 0; i < 6; ++i) put(40 + 4 * i, dwords[i]);
  return entry;
}

std::vector<std::uint8_t> NvmeProtocolCommandRequest(const NvmeAdminCommand& command) {
  std::vector<std::uint8_t> request(PC::kDataAt + command.dataBytes, 0);
  Put32(request, PC::kVersion, PC::kStructureVersion);
  Put32(request, PC::kLength, PC::kSize);
  Put32(request, PC::kProtocolType, PC::kProtocolTypeNvme);
  Put32(request, PC::kFlags, PC::kFlagAdapterRequest);
  Put32(request, PC::kCommandLength, PC::kCommandLengthNvme);
  Put32(request, PC::kErrorInfoLength, PC::kErrorInfoBytes);
  Put32(request, PC::kErrorInfoOffset, PC::kErrorInfoAt);
  Put32(request, PC::kTimeOutValue, command.timeoutSeconds);
  if (command.dataBytes != 0) {
    Put32(request, PC::kDataFromDeviceTransferLength, command.dataBytes);
    Put32(request, PC::kDataFromDeviceBufferOffset, PC::kDataAt);
  }
  Put32(request, PC::kCommandSpecific, PC::kNvmeAdminCommand);
  const std::array<std::uint8_t, 64> entry = NvmeCommandBytes(command);
  std::copy(entry.begin(), entry.end(), request.begin() + PC::kCommand);
  return request;
}

bool DecodeNvmeProtocolCommand(const std::uint8_t* buffer, std::size_t size,
                               ProtocolCommandAnswer* answer) {
  if (buffer == nullptr || size < PC::kCommand) return false;
  answer->returnStatus = Get32(buffer, PC::kReturnStatus);
  answer->errorCode = Get32(buffer, PC::kErrorCode);
  answer->result = Get32(buffer, PC::kFixedProtocolReturnData);
  answer->nvmeStatus = 0;
  if (answer->returnStatus != kProtocolStatusSuccess) {
    // Error Information log entry: Status Field at bytes 13:12, phase tag
    // in bit 0.
    const std::uint32_t infoAt = Get32(buffer, PC::kErrorInfoOffset);
    const std::uint32_t infoLength = Get32(buffer, PC::kErrorInfoLength);
    std::uint16_t status = 0;
    if (infoLength >= 14 && Inside(infoAt, infoLength, size)) {
      status = static_cast<std::uint16_t>(Get16(buffer, infoAt + 12) >> 1);
    }
    if (status == 0) status = static_cast<std::uint16_t>(answer->errorCode & 0x7FFF);
    answer->nvmeStatus = status != 0 ? status : 0x0006;
  }
  answer->data.clear();
  const std::uint32_t dataAt = Get32(buffer, PC::kDataFromDeviceBufferOffset);
  const std::uint32_t dataLength = Get32(buffer, PC::kDataFromDeviceTransferLength);
  if (dataAt != 0 && dataLength != 0) {
    if (!Inside(dataAt, dataLength, size)) return false;
    answer->data.assign(buffer + dataAt, buffer + dataAt + dataLength);
  }
  return true;
}

std::string DescribeProtocolStatus(std::uint32_t returnStatus) {
  static const char* const kNames[] = {
      "STORAGE_PROTOCOL_STATUS_PENDING",      "STORAGE_PROTOCOL_STATUS_SUCCESS",
      "STORAGE_PROTOCOL_STATUS_ERROR",        "STORAGE_PROTOCOL_STATUS_INVALID_REQUEST",
      "STORAGE_PROTOCOL_STATUS_NO_DEVICE",    "STORAGE_PROTOCOL_STATUS_BUSY",
      "STORAGE_PROTOCOL_STATUS_DATA_OVERRUN", "STORAGE_PROTOCOL_STATUS_INSUFFICIENT_RESOURCES"};
  const char* name = returnStatus < 8       ? kNames[returnStatus]
                     : returnStatus == 0xFF ? "STORAGE_PROTOCOL_STATUS_NOT_SUPPORTED"
                                            : "unknown protocol status";
  return std::string(name) + " (" + std::to_string(returnStatus) + ")";
}

// ---- IOCTL_STORAGE_QUERY_PROPERTY ------------------------------------------

std::vector<std::uint8_t> NvmeQueryPropertyRequest(const NvmeAdminCommand& command) {
  std::uint32_t property = PQ::kAdapterProtocolSpecificProperty;
  std::uint32_t dataType = 0, value = 0, subValue = 0;
  if (command.opcode == kNvmeIdentify) {
    dataType = PQ::kNvmeDataTypeIdentify;
    value = command.cdw10 & 0xFF;  // CNS
    subValue = command.namespaceId;
    if (value != kCnsController) property = PQ::kDeviceProtocolSpecificProperty;
  } else if (command.opcode == kNvmeGetLogPage) {
    dataType = PQ::kNvmeDataTypeLogPage;
    value = command.cdw10 & 0xFF;  // LID
    subValue = command.cdw12;      // the offset's lower 32 bits
  } else {
    return {};
  }
  constexpr std::size_t kSpecific = PQ::kAdditionalParameters;
  std::vector<std::uint8_t> request(kSpecific + PQ::kSpecificDataSize + command.dataBytes, 0);
  Put32(request, PQ::kPropertyId, property);
  Put32(request, PQ::kQueryType, 0);  // PropertyStandardQuery
  Put32(request, kSpecific + PQ::kProtocolType, PC::kProtocolTypeNvme);
  Put32(request, kSpecific + PQ::kDataType, dataType);
  Put32(request, kSpecific + PQ::kRequestValue, value);
  Put32(request, kSpecific + PQ::kRequestSubValue, subValue);
  Put32(request, kSpecific + PQ::kDataOffset, PQ::kSpecificDataSize);
  Put32(request, kSpecific + PQ::kDataLength, command.dataBytes);
  if (command.opcode == kNvmeGetLogPage) {
    Put32(request, kSpecific + PQ::kRequestSubValue2, command.cdw13);  // offset, upper 32 bits
  }
  return request;
}

bool DecodeNvmeQueryProperty(const std::uint8_t* buffer, std::size_t size,
                             std::vector<std::uint8_t>* data) {
  if (buffer == nullptr || size < PQ::kDescriptorSize) return false;
  // Version and Size both give the descriptor's size.
  if (Get32(buffer, 0) != PQ::kDescriptorSize || Get32(buffer, 4) != PQ::kDescriptorSize) {
    return false;
  }
  constexpr std::size_t kSpecific = PQ::kDescriptorSpecificData;
  const std::uint64_t at = kSpecific + std::uint64_t{Get32(buffer, kSpecific + PQ::kDataOffset)};
  const std::uint32_t length = Get32(buffer, kSpecific + PQ::kDataLength);
  if (!Inside(at, length, size)) return false;
  data->assign(buffer + at, buffer + at + length);
  return true;
}

// ---- ATA_PASS_THROUGH_EX ---------------------------------------------------

std::vector<std::uint8_t> AtaPassThroughRequest(const AtaCommand& command) {
  const std::uint32_t dataBytes = command.dataIn ? command.dataBytes : 0;
  std::vector<std::uint8_t> request(AP::kSize + dataBytes, 0);
  const bool is48Bit = Is48Bit(command);
  std::uint16_t flags = AP::kFlagDrdyRequired;
  if (command.dataIn) flags |= AP::kFlagDataIn;
  if (is48Bit) flags |= AP::kFlag48Bit;
  Put16(request, AP::kLength, AP::kSize);
  Put16(request, AP::kAtaFlags, flags);
  Put32(request, AP::kDataTransferLength, dataBytes);
  Put32(request, AP::kTimeOutValue, command.timeoutSeconds);
  Put64(request, AP::kDataBufferOffset, dataBytes != 0 ? AP::kSize : 0);
  // IDEREGS order: features, sector count, LBA low, mid, high, drive/head,
  // command, reserved.
  std::uint8_t* current = request.data() + AP::kCurrentTaskFile;
  current[0] = static_cast<std::uint8_t>(command.feature);
  current[1] = static_cast<std::uint8_t>(command.count);
  current[2] = static_cast<std::uint8_t>(command.lba);
  current[3] = static_cast<std::uint8_t>(command.lba >> 8);
  current[4] = static_cast<std::uint8_t>(command.lba >> 16);
  current[5] = static_cast<std::uint8_t>(is48Bit ? command.device
                                                 : command.device | ((command.lba >> 24) & 0x0F));
  current[6] = command.command;
  if (is48Bit) {
    std::uint8_t* previous = request.data() + AP::kPreviousTaskFile;
    previous[0] = static_cast<std::uint8_t>(command.feature >> 8);
    previous[1] = static_cast<std::uint8_t>(command.count >> 8);
    previous[2] = static_cast<std::uint8_t>(command.lba >> 24);
    previous[3] = static_cast<std::uint8_t>(command.lba >> 32);
    previous[4] = static_cast<std::uint8_t>(command.lba >> 40);
  }
  return request;
}

bool DecodeAtaPassThrough(const std::uint8_t* buffer, std::size_t size, AtaResult* result,
                          std::vector<std::uint8_t>* data) {
  if (buffer == nullptr || size < AP::kSize) return false;
  const std::uint8_t* current = buffer + AP::kCurrentTaskFile;
  const std::uint8_t* previous = buffer + AP::kPreviousTaskFile;
  const bool is48Bit = (Get16(buffer, AP::kAtaFlags) & AP::kFlag48Bit) != 0;
  // Back from the drive: error, count, LBA low/mid/high, device, status.
  result->error = current[0];
  result->count = static_cast<std::uint16_t>(current[1] | (is48Bit ? previous[1] << 8 : 0));
  result->lba =
      std::uint64_t{current[2]} | std::uint64_t{current[3]} << 8 | std::uint64_t{current[4]} << 16;
  if (is48Bit) {
    result->lba |= std::uint64_t{previous[2]} << 24 | std::uint64_t{previous[3]} << 32 |
                   std::uint64_t{previous[4]} << 40;
  }
  result->status = current[6];
  data->clear();
  const std::uint64_t at = Get64(buffer, AP::kDataBufferOffset);
  const std::uint32_t length = Get32(buffer, AP::kDataTransferLength);
  if (at != 0 && length != 0) {
    if (!Inside(at, length, size)) return false;
    data->assign(buffer + at, buffer + at + length);
  }
  return true;
}

// ---- SCSI_PASS_THROUGH -----------------------------------------------------

std::vector<std::uint8_t> ScsiPassThroughRequest(const ScsiCommand& command) {
  if (command.cdb.empty() || command.cdb.size() > 16) return {};
  std::uint32_t dataBytes = 0;
  std::uint8_t direction = SP::kDataUnspecified;
  if (command.direction == ScsiCommand::Direction::kIn) {
    dataBytes = command.dataInBytes;
    direction = SP::kDataInValue;
  } else if (command.direction == ScsiCommand::Direction::kOut) {
    dataBytes = static_cast<std::uint32_t>(command.dataOut.size());
    direction = SP::kDataOut;
  }
  constexpr std::size_t kDataAt = SP::kSize + SP::kSenseBytes;
  std::vector<std::uint8_t> request(kDataAt + dataBytes, 0);
  Put16(request, SP::kLength, SP::kSize);
  request[SP::kCdbLength] = static_cast<std::uint8_t>(command.cdb.size());
  request[SP::kSenseInfoLength] = SP::kSenseBytes;
  request[SP::kDataIn] = direction;
  Put32(request, SP::kDataTransferLength, dataBytes);
  Put32(request, SP::kTimeOutValue, command.timeoutSeconds);
  Put64(request, SP::kDataBufferOffset, dataBytes != 0 ? kDataAt : 0);
  Put32(request, SP::kSenseInfoOffset, SP::kSize);
  std::copy(command.cdb.begin(), command.cdb.end(), request.begin() + SP::kCdb);
  if (direction == SP::kDataOut) {
    std::copy(command.dataOut.begin(), command.dataOut.end(), request.begin() + kDataAt);
  }
  return request;
}

bool DecodeScsiPassThrough(const std::uint8_t* buffer, std::size_t size,
                           ScsiPassThroughAnswer* answer) {
  if (buffer == nullptr || size < SP::kSize) return false;
  answer->status = buffer[SP::kScsiStatus];
  answer->sense.clear();
  answer->data.clear();
  const std::uint32_t senseAt = Get32(buffer, SP::kSenseInfoOffset);
  const std::uint8_t senseLength = buffer[SP::kSenseInfoLength];
  if (senseLength != 0) {
    if (!Inside(senseAt, senseLength, size)) return false;
    answer->sense.assign(buffer + senseAt, buffer + senseAt + senseLength);
  }
  const std::uint64_t dataAt = Get64(buffer, SP::kDataBufferOffset);
  const std::uint32_t dataLength = Get32(buffer, SP::kDataTransferLength);
  if (buffer[SP::kDataIn] == SP::kDataInValue && dataAt != 0 && dataLength != 0) {
    if (!Inside(dataAt, dataLength, size)) return false;
    answer->data.assign(buffer + dataAt, buffer + dataAt + dataLength);
  }
  return true;
}

// ---- DEVICE_MANAGE_DATA_SET_ATTRIBUTES -------------------------------------

std::vector<std::uint8_t> TrimRangeRequest(std::uint64_t offset, std::uint64_t bytes) {
  std::vector<std::uint8_t> request(DS::kRangesAt + DS::kRangeSize, 0);
  Put32(request, DS::kSize, DS::kStructSize);
  Put32(request, DS::kAction, DS::kActionTrim);
  Put32(request, DS::kDataSetRangesOffset, DS::kRangesAt);
  Put32(request, DS::kDataSetRangesLength, DS::kRangeSize);
  Put64(request, DS::kRangesAt + DS::kRangeStartingOffset, offset);
  Put64(request, DS::kRangesAt + DS::kRangeLengthInBytes, bytes);
  return request;
}

std::vector<std::uint8_t> TrimWholeDiskRequest() {
  std::vector<std::uint8_t> request(DS::kStructSize, 0);
  Put32(request, DS::kSize, DS::kStructSize);
  Put32(request, DS::kAction, DS::kActionTrim);
  Put32(request, DS::kFlags, DS::kFlagEntireRange);
  return request;
}
