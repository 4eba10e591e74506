#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/purge/DriveCommands.h"

// The byte layouts of the Windows storage requests that carry the purge
// library's commands, built and decoded without the Windows headers so that
// every build tests them. They mirror the x64 layouts of <winioctl.h>,
// <ntddscsi.h> and <ntddstor.h>; the Windows backend (win32/) static_asserts
// each size and offset below against those headers where mingw-w64 has the
// type. Each request is one buffer, sent and answered in place
// (METHOD_BUFFERED): DeviceIoControl's input and output are the same bytes.
// Decoders check every length and offset before reading and return false for
// a buffer that does not hold what they read.

// Control codes: CTL_CODE(device type, function, METHOD_BUFFERED, access).
constexpr std::uint32_t kIoctlStorageProtocolCommand = 0x002DD3C0;          // 2Dh, 4F0h, read|write
constexpr std::uint32_t kIoctlStorageQueryProperty = 0x002D1400;            // 2Dh, 500h, any
constexpr std::uint32_t kIoctlStorageManageDataSetAttributes = 0x002D9404;  // 2Dh, 501h, write
constexpr std::uint32_t kIoctlAtaPassThrough = 0x0004D02C;                  // 04h, 40Bh, read|write
constexpr std::uint32_t kIoctlScsiPassThrough = 0x0004D004;                 // 04h, 401h, read|write

// ---- STORAGE_PROTOCOL_COMMAND (IOCTL_STORAGE_PROTOCOL_COMMAND) -------------
// Twenty DWORDs, then Command[]; sizeof is 84 with Command[ANYSIZE_ARRAY].
struct ProtocolCommandLayout {
  static constexpr std::size_t kVersion = 0, kLength = 4, kProtocolType = 8, kFlags = 12,
                               kReturnStatus = 16, kErrorCode = 20, kCommandLength = 24,
                               kErrorInfoLength = 28, kDataToDeviceTransferLength = 32,
                               kDataFromDeviceTransferLength = 36, kTimeOutValue = 40,
                               kErrorInfoOffset = 44, kDataToDeviceBufferOffset = 48,
                               kDataFromDeviceBufferOffset = 52, kCommandSpecific = 56,
                               kFixedProtocolReturnData = 64, kFixedProtocolReturnData2 = 68,
                               kCommand = 80, kSize = 84;
  static constexpr std::uint32_t kStructureVersion = 1;  // STORAGE_PROTOCOL_STRUCTURE_VERSION
  static constexpr std::uint32_t kProtocolTypeNvme = 3;  // ProtocolTypeNvme
  static constexpr std::uint32_t kFlagAdapterRequest = 0x80000000;
  static constexpr std::uint32_t kCommandLengthNvme = 64;  // STORAGE_PROTOCOL_COMMAND_LENGTH_NVME
  static constexpr std::uint32_t kNvmeAdminCommand =
      1;  // STORAGE_PROTOCOL_SPECIFIC_NVME_ADMIN_COMMAND
  static constexpr std::uint32_t kErrorInfoBytes = 64;  // one NVMe Error Information log entry
  // Where this library puts the error information and the data.
  static constexpr std::size_t kErrorInfoAt = kCommand + kCommandLengthNvme;  // 144
  static constexpr std::size_t kDataAt = kErrorInfoAt + kErrorInfoBytes;      // 208
};
// STORAGE_PROTOCOL_STATUS_*.
constexpr std::uint32_t kProtocolStatusSuccess = 1;
constexpr std::uint32_t kProtocolStatusError = 2;

// The 64-byte NVMe submission queue entry: opcode, NSID, CDW10-15; the
// command identifier and data pointers are the driver's to fill.
std::array<std::uint8_t, 64> NvmeCommandBytes(const NvmeAdminCommand& command);

// IOCTL_STORAGE_PROTOCOL_COMMAND carrying `command` to the adapter, with room
// for one error information entry and `command.dataBytes` from the drive.
std::vector<std::uint8_t> NvmeProtocolCommandRequest(const NvmeAdminCommand& command);

struct ProtocolCommandAnswer {
  std::uint32_t returnStatus = 0;  // STORAGE_PROTOCOL_STATUS_*
  std::uint32_t errorCode = 0;
  std::uint32_t result = 0;        // FixedProtocolReturnData: the completion's DW0
  std::uint16_t nvmeStatus = 0;    // SCT << 8 | SC (and DNR, More), as DescribeNvmeStatus takes
  std::vector<std::uint8_t> data;  // DataFromDeviceTransferLength bytes
};
// The answer in a returned request. The NVMe status comes from the error
// information entry's Status Field (bits 15:1) when the driver filled it,
// else from ErrorCode; a non-success ReturnStatus with neither is reported
// as an internal error (0x0006) so that it never reads as success.
bool DecodeNvmeProtocolCommand(const std::uint8_t* buffer, std::size_t size,
                               ProtocolCommandAnswer* answer);
// "STORAGE_PROTOCOL_STATUS_ERROR (2)" and the like.
std::string DescribeProtocolStatus(std::uint32_t returnStatus);

// ---- IOCTL_STORAGE_QUERY_PROPERTY with STORAGE_PROTOCOL_SPECIFIC_DATA ------
// Windows refuses Identify and Get Log Page as protocol commands; they go as
// a property query: STORAGE_PROPERTY_QUERY (PropertyId, QueryType), whose
// AdditionalParameters hold a STORAGE_PROTOCOL_SPECIFIC_DATA, then the data.
// The answer is a STORAGE_PROTOCOL_DATA_DESCRIPTOR (Version, Size, the same
// STORAGE_PROTOCOL_SPECIFIC_DATA) followed by the data.
struct ProtocolQueryLayout {
  static constexpr std::size_t kPropertyId = 0, kQueryType = 4, kAdditionalParameters = 8;
  // STORAGE_PROTOCOL_SPECIFIC_DATA, from its own start.
  static constexpr std::size_t kProtocolType = 0, kDataType = 4, kRequestValue = 8,
                               kRequestSubValue = 12, kDataOffset = 16, kDataLength = 20,
                               kFixedReturnData = 24, kRequestSubValue2 = 28,
                               kRequestSubValue3 = 32, kRequestSubValue4 = 36,
                               kSpecificDataSize = 40;
  // STORAGE_PROTOCOL_DATA_DESCRIPTOR.
  static constexpr std::size_t kDescriptorSpecificData = 8, kDescriptorSize = 48;
  static constexpr std::uint32_t kAdapterProtocolSpecificProperty = 49;
  static constexpr std::uint32_t kDeviceProtocolSpecificProperty = 50;
  static constexpr std::uint32_t kNvmeDataTypeIdentify = 1, kNvmeDataTypeLogPage = 2;
};
// The query for an Identify (06h) or Get Log Page (02h) command; empty for
// any other command. Identify Controller and log pages ask the adapter,
// Identify Namespace the device (the namespace the disk is).
std::vector<std::uint8_t> NvmeQueryPropertyRequest(const NvmeAdminCommand& command);
// The data of the answer, checked against the descriptor's sizes.
bool DecodeNvmeQueryProperty(const std::uint8_t* buffer, std::size_t size,
                             std::vector<std::uint8_t>* data);

// ---- ATA_PASS_THROUGH_EX (IOCTL_ATA_PASS_THROUGH), x64 ---------------------
struct AtaPassThroughLayout {
  static constexpr std::size_t kLength = 0, kAtaFlags = 2, kPathId = 4, kTargetId = 5, kLun = 6,
                               kDataTransferLength = 8, kTimeOutValue = 12, kDataBufferOffset = 24,
                               kPreviousTaskFile = 32, kCurrentTaskFile = 40, kSize = 48;
  static constexpr std::uint16_t kFlagDrdyRequired = 0x01, kFlagDataIn = 0x02, kFlagDataOut = 0x04,
                                 kFlag48Bit = 0x08;
};
// The request carrying `command`: the current task file holds FEATURE,
// COUNT, LBA (7:0, 15:8, 23:16), DEVICE and COMMAND; for a 48-bit command the
// previous one holds their upper bytes. Data, if any, follows the structure.
std::vector<std::uint8_t> AtaPassThroughRequest(const AtaCommand& command);
// The task file back: ERROR, COUNT, LBA, STATUS (the upper bytes from the
// previous task file when the request was 48-bit), and the data.
bool DecodeAtaPassThrough(const std::uint8_t* buffer, std::size_t size, AtaResult* result,
                          std::vector<std::uint8_t>* data);

// ---- SCSI_PASS_THROUGH (IOCTL_SCSI_PASS_THROUGH), x64 ----------------------
struct ScsiPassThroughLayout {
  static constexpr std::size_t kLength = 0, kScsiStatus = 2, kPathId = 3, kTargetId = 4, kLun = 5,
                               kCdbLength = 6, kSenseInfoLength = 7, kDataIn = 8,
                               kDataTransferLength = 12, kTimeOutValue = 16, kDataBufferOffset = 24,
                               kSenseInfoOffset = 32, kCdb = 36, kSize = 56;
  static constexpr std::uint8_t kDataOut = 0, kDataInValue = 1, kDataUnspecified = 2;
  static constexpr std::uint8_t kSenseBytes = 64;  // the sense area after the structure
};
// The request carrying `command`: the sense area right after the structure,
// then the data (sent, or room for what comes back). Empty for a CDB longer
// than 16 bytes.
std::vector<std::uint8_t> ScsiPassThroughRequest(const ScsiCommand& command);
struct ScsiPassThroughAnswer {
  std::uint8_t status = 0;
  std::vector<std::uint8_t> sense;  // SenseInfoLength bytes as the driver returned
  std::vector<std::uint8_t> data;   // DataTransferLength bytes, for data in
};
bool DecodeScsiPassThrough(const std::uint8_t* buffer, std::size_t size,
                           ScsiPassThroughAnswer* answer);

// ---- DEVICE_MANAGE_DATA_SET_ATTRIBUTES (IOCTL_STORAGE_MANAGE_DATA_SET_ATTRIBUTES)
struct DataSetLayout {
  static constexpr std::size_t kSize = 0, kAction = 4, kFlags = 8, kParameterBlockOffset = 12,
                               kParameterBlockLength = 16, kDataSetRangesOffset = 20,
                               kDataSetRangesLength = 24, kStructSize = 28,
                               kRangeStartingOffset = 0, kRangeLengthInBytes = 8, kRangeSize = 16;
  static constexpr std::uint32_t kActionTrim = 1;       // DeviceDsmAction_Trim
  static constexpr std::uint32_t kFlagEntireRange = 1;  // DEVICE_DSM_FLAG_ENTIRE_DATA_SET_RANGE
  static constexpr std::size_t kRangesAt = 32;          // the range, 8-byte aligned
};
// TRIM of `bytes` from byte `offset`, as one DEVICE_DATA_SET_RANGE.
std::vector<std::uint8_t> TrimRangeRequest(std::uint64_t offset, std::uint64_t bytes);
// TRIM of the whole disk: DEVICE_DSM_FLAG_ENTIRE_DATA_SET_RANGE and no range.
std::vector<std::uint8_t> TrimWholeDiskRequest();
