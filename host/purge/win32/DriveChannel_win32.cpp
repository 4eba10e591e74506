#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "host/purge/DriveChannel.h"
#include "host/purge/WindowsRequests.h"

#include "support/win32/StorageProperty.h"
#include "support/win32/UniqueHandle.h"

// ---- the mirrors in WindowsRequests.h against mingw-w64's headers -----------

static_assert(kIoctlStorageQueryProperty == IOCTL_STORAGE_QUERY_PROPERTY, "control code");
static_assert(kIoctlStorageProtocolCommand == IOCTL_STORAGE_PROTOCOL_COMMAND, "control code");
static_assert(kIoctlStorageManageDataSetAttributes == IOCTL_STORAGE_MANAGE_DATA_SET_ATTRIBUTES,
              "control code");
static_assert(kIoctlAtaPassThrough == IOCTL_ATA_PASS_THROUGH, "control code");
static_assert(kIoctlScsiPassThrough == IOCTL_SCSI_PASS_THROUGH, "control code");

// STORAGE_PROTOCOL_COMMAND, STORAGE_PROTOCOL_STRUCTURE_VERSION, the
// STORAGE_PROTOCOL_COMMAND_* and STORAGE_PROTOCOL_STATUS_* values are not in
// mingw-w64's headers (Debian 12): ProtocolCommandLayout is checked in
// WindowsRequests.cpp against the documented layout (twenty DWORDs, then
// Command[]) and carries the documented values.
static_assert(ProtocolCommandLayout::kProtocolTypeNvme == ProtocolTypeNvme, "protocol type");

using PQ = ProtocolQueryLayout;
static_assert(offsetof(STORAGE_PROPERTY_QUERY, PropertyId) == PQ::kPropertyId, "query");
static_assert(offsetof(STORAGE_PROPERTY_QUERY, QueryType) == PQ::kQueryType, "query");
static_assert(offsetof(STORAGE_PROPERTY_QUERY, AdditionalParameters) == PQ::kAdditionalParameters,
              "query");
static_assert(sizeof(STORAGE_PROTOCOL_SPECIFIC_DATA) == PQ::kSpecificDataSize, "specific data");
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolType) == PQ::kProtocolType, "");
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, DataType) == PQ::kDataType, "");
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestValue) ==
                  PQ::kRequestValue,
              "");
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestSubValue) ==
                  PQ::kRequestSubValue,
              "");
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataOffset) == PQ::kDataOffset, "");
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataLength) == PQ::kDataLength, "");
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, FixedProtocolReturnData) ==
                  PQ::kFixedReturnData,
              "");
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestSubValue2) ==
                  PQ::kRequestSubValue2,
              "");
static_assert(offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataRequestSubValue4) ==
                  PQ::kRequestSubValue4,
              "");
static_assert(sizeof(STORAGE_PROTOCOL_DATA_DESCRIPTOR) == PQ::kDescriptorSize, "descriptor");
static_assert(offsetof(STORAGE_PROTOCOL_DATA_DESCRIPTOR, ProtocolSpecificData) ==
                  PQ::kDescriptorSpecificData,
              "descriptor");
static_assert(PQ::kAdapterProtocolSpecificProperty == StorageAdapterProtocolSpecificProperty &&
                  PQ::kDeviceProtocolSpecificProperty == StorageDeviceProtocolSpecificProperty,
              "property ids");
static_assert(PQ::kNvmeDataTypeIdentify == NVMeDataTypeIdentify &&
                  PQ::kNvmeDataTypeLogPage == NVMeDataTypeLogPage,
              "NVMe data types");

using AP = AtaPassThroughLayout;
static_assert(sizeof(ATA_PASS_THROUGH_EX) == AP::kSize, "ATA_PASS_THROUGH_EX");
static_assert(offsetof(ATA_PASS_THROUGH_EX, Length) == AP::kLength, "");
static_assert(offsetof(ATA_PASS_THROUGH_EX, AtaFlags) == AP::kAtaFlags, "");
static_assert(offsetof(ATA_PASS_THROUGH_EX, PathId) == AP::kPathId, "");
static_assert(offsetof(ATA_PASS_THROUGH_EX, TargetId) == AP::kTargetId, "");
static_assert(offsetof(ATA_PASS_THROUGH_EX, Lun) == AP::kLun, "");
static_assert(offsetof(ATA_PASS_THROUGH_EX, DataTransferLength) == AP::kDataTransferLength, "");
static_assert(offsetof(ATA_PASS_THROUGH_EX, TimeOutValue) == AP::kTimeOutValue, "");
static_assert(offsetof(ATA_PASS_THROUGH_EX, DataBufferOffset) == AP::kDataBufferOffset, "");
static_assert(offsetof(ATA_PASS_THROUGH_EX, PreviousTaskFile) == AP::kPreviousTaskFile, "");
static_assert(offsetof(ATA_PASS_THROUGH_EX, CurrentTaskFile) == AP::kCurrentTaskFile, "");
static_assert(AP::kFlagDrdyRequired == ATA_FLAGS_DRDY_REQUIRED &&
                  AP::kFlagDataIn == ATA_FLAGS_DATA_IN && AP::kFlagDataOut == ATA_FLAGS_DATA_OUT &&
                  AP::kFlag48Bit == ATA_FLAGS_48BIT_COMMAND,
              "ATA flags");

using SP = ScsiPassThroughLayout;
static_assert(sizeof(SCSI_PASS_THROUGH) == SP::kSize, "SCSI_PASS_THROUGH");
static_assert(offsetof(SCSI_PASS_THROUGH, Length) == SP::kLength, "");
static_assert(offsetof(SCSI_PASS_THROUGH, ScsiStatus) == SP::kScsiStatus, "");
static_assert(offsetof(SCSI_PASS_THROUGH, PathId) == SP::kPathId, "");
static_assert(offsetof(SCSI_PASS_THROUGH, TargetId) == SP::kTargetId, "");
static_assert(offsetof(SCSI_PASS_THROUGH, Lun) == SP::kLun, "");
static_assert(offsetof(SCSI_PASS_THROUGH, CdbLength) == SP::kCdbLength, "");
static_assert(offsetof(SCSI_PASS_THROUGH, SenseInfoLength) == SP::kSenseInfoLength, "");
static_assert(offsetof(SCSI_PASS_THROUGH, DataIn) == SP::kDataIn, "");
static_assert(offsetof(SCSI_PASS_THROUGH, DataTransferLength) == SP::kDataTransferLength, "");
static_assert(offsetof(SCSI_PASS_THROUGH, TimeOutValue) == SP::kTimeOutValue, "");
static_assert(offsetof(SCSI_PASS_THROUGH, DataBufferOffset) == SP::kDataBufferOffset, "");
static_assert(offsetof(SCSI_PASS_THROUGH, SenseInfoOffset) == SP::kSenseInfoOffset, "");
static_assert(offsetof(SCSI_PASS_THROUGH, Cdb) == SP::kCdb, "");
static_assert(SP::kDataOut == SCSI_IOCTL_DATA_OUT && SP::kDataInValue == SCSI_IOCTL_DATA_IN &&
                  SP::kDataUnspecified == SCSI_IOCTL_DATA_UNSPECIFIED,
              "directions");

using DS = DataSetLayout;
static_assert(sizeof(DEVICE_MANAGE_DATA_SET_ATTRIBUTES) == DS::kStructSize, "data set");
static_assert(offsetof(DEVICE_MANAGE_DATA_SET_ATTRIBUTES, Size) == DS::kSize, "");
static_assert(offsetof(DEVICE_MANAGE_DATA_SET_ATTRIBUTES, Action) == DS::kAction, "");
static_assert(offsetof(DEVICE_MANAGE_DATA_SET_ATTRIBUTES, Flags) == DS::kFlags, "");
static_assert(offsetof(DEVICE_MANAGE_DATA_SET_ATTRIBUTES, ParameterBlockOffset) ==
                  DS::kParameterBlockOffset,
              "");
static_assert(offsetof(DEVICE_MANAGE_DATA_SET_ATTRIBUTES, ParameterBlockLength) ==
                  DS::kParameterBlockLength,
              "");
static_assert(offsetof(DEVICE_MANAGE_DATA_SET_ATTRIBUTES, DataSetRangesOffset) ==
                  DS::kDataSetRangesOffset,
              "");
static_assert(offsetof(DEVICE_MANAGE_DATA_SET_ATTRIBUTES, DataSetRangesLength) ==
                  DS::kDataSetRangesLength,
              "");
static_assert(sizeof(DEVICE_DATA_SET_RANGE) == DS::kRangeSize &&
                  alignof(DEVICE_DATA_SET_RANGE) == 8,
              "range");
static_assert(offsetof(DEVICE_DATA_SET_RANGE, StartingOffset) == DS::kRangeStartingOffset &&
                  offsetof(DEVICE_DATA_SET_RANGE, LengthInBytes) == DS::kRangeLengthInBytes,
              "");
static_assert(DS::kActionTrim == DeviceDsmAction_Trim &&
                  DS::kFlagEntireRange == DEVICE_DSM_FLAG_ENTIRE_DATA_SET_RANGE,
              "trim");

namespace {

constexpr char kDiskPrefix[] = "\\\\.\\PhysicalDrive";
constexpr std::size_t kChunk = 64u << 20;  // bytes a single ReadFile/WriteFile moves

std::string SystemError(const char* what, DWORD code) {
  char text[96];
  std::snprintf(text, sizeof(text), "%s (Windows error %lu)", what,
                static_cast<unsigned long>(code));
  return text;
}

// The disk number of "\\.\PhysicalDriveN" (any case); false for anything else.
bool DiskNumber(const std::string& device, unsigned* number) {
  const std::size_t prefix = sizeof(kDiskPrefix) - 1;
  if (device.size() <= prefix || device.size() > prefix + 6) return false;
  if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, device.data(), static_cast<int>(prefix),
                     kDiskPrefix, static_cast<int>(prefix)) != CSTR_EQUAL) {
    return false;
  }
  unsigned value = 0;
  for (std::size_t at = prefix; at < device.size(); ++at) {
    if (device[at] < '0' || device[at] > '9') return false;
    value = value * 10 + static_cast<unsigned>(device[at] - '0');
  }
  *number = value;
  return true;
}

class Win32DriveChannel final : public DriveChannel {
 public:
  Win32DriveChannel(std::string device, UniqueHandle handle, std::uint64_t sizeBytes,
                    std::uint32_t sectorBytes)
      : m_device(std::move(device)),
        m_handle(std::move(handle)),
        m_sizeBytes(sizeBytes),
        m_sectorBytes(sectorBytes) {
    ReadProperties();
  }

  std::string Device() const override { return m_device; }
  std::uint64_t SizeBytes() const override { return m_sizeBytes; }
  std::uint32_t SectorBytes() const override { return m_sectorBytes; }
  bool IsNvme() const override { return m_nvme; }
  std::uint32_t NvmeNamespace() const override { return m_namespace; }

  Answer SendNvme(const NvmeAdminCommand& command) override {
    Answer answer;
    std::vector<std::uint8_t> query = NvmeQueryPropertyRequest(command);
    if (!query.empty()) {
      // Identify and Get Log Page: Windows takes them only as a query.
      if (!Control(kIoctlStorageQueryProperty, &query, &answer.systemError)) return answer;
      if (!DecodeNvmeQueryProperty(query.data(), query.size(), &answer.data)) {
        answer.systemError = "the protocol data descriptor came back malformed";
        return answer;
      }
      answer.delivered = true;
      return answer;
    }
    std::vector<std::uint8_t> request = NvmeProtocolCommandRequest(command);
    const bool carried = Control(kIoctlStorageProtocolCommand, &request, &answer.systemError);
    ProtocolCommandAnswer decoded;
    if (!DecodeNvmeProtocolCommand(request.data(), request.size(), &decoded)) {
      if (carried) answer.systemError = "the protocol command came back malformed";
      return answer;
    }
    // A drive's error fails the call too; the status it left is its answer.
    if (carried || decoded.returnStatus == kProtocolStatusError) {
      answer.delivered = true;
      answer.nvmeStatus = decoded.nvmeStatus;
      answer.nvmeResult = decoded.result;
      answer.data = std::move(decoded.data);
      answer.systemError.clear();
    } else if (decoded.returnStatus != 0) {
      answer.systemError += ": " + DescribeProtocolStatus(decoded.returnStatus);
    }
    return answer;
  }

  Answer SendAta(const AtaCommand& command) override {
    Answer answer;
    std::vector<std::uint8_t> request = AtaPassThroughRequest(command);
    if (!Control(kIoctlAtaPassThrough, &request, &answer.systemError)) return answer;
    if (!DecodeAtaPassThrough(request.data(), request.size(), &answer.ata, &answer.data)) {
      answer.systemError = "the ATA pass-through came back malformed";
      return answer;
    }
    answer.delivered = true;
    return answer;
  }

  Answer SendScsi(const ScsiCommand& command) override {
    Answer answer;
    std::vector<std::uint8_t> request = ScsiPassThroughRequest(command);
    if (request.empty()) {
      answer.systemError = "the CDB does not fit SCSI_PASS_THROUGH";
      return answer;
    }
    if (!Control(kIoctlScsiPassThrough, &request, &answer.systemError)) return answer;
    ScsiPassThroughAnswer decoded;
    if (!DecodeScsiPassThrough(request.data(), request.size(), &decoded)) {
      answer.systemError = "the SCSI pass-through came back malformed";
      return answer;
    }
    answer.delivered = true;
    answer.scsiStatus = decoded.status;
    answer.sense = std::move(decoded.sense);
    answer.data = std::move(decoded.data);
    DecodeAtaStatusReturn(answer.sense.data(), answer.sense.size(), &answer.ata);
    return answer;
  }

  std::uint64_t DiscardMaxBytes() const override { return m_trim ? m_sizeBytes : 0; }
  std::uint64_t DiscardGranularity() const override { return m_trim ? m_sectorBytes : 0; }

  bool Discard(std::uint64_t offset, std::uint64_t bytes, std::string* error) override {
    if (!Aligned(offset, bytes, error)) return false;
    std::vector<std::uint8_t> request = offset == 0 && bytes == m_sizeBytes
                                            ? TrimWholeDiskRequest()
                                            : TrimRangeRequest(offset, bytes);
    DWORD returned = 0;
    if (!DeviceIoControl(m_handle.get(), kIoctlStorageManageDataSetAttributes, request.data(),
                         static_cast<DWORD>(request.size()), /*lpOutBuffer=*/nullptr,
                         /*nOutBufferSize=*/0, &returned, /*lpOverlapped=*/nullptr)) {
      *error = SystemError("the disk refused TRIM", GetLastError());
      return false;
    }
    return true;
  }

  bool Read(std::uint64_t offset, void* buffer, std::size_t bytes, std::string* error) override {
    return Move(offset, static_cast<std::uint8_t*>(buffer), /*from=*/nullptr, bytes, error);
  }

  bool Write(std::uint64_t offset, const void* buffer, std::size_t bytes,
             std::string* error) override {
    return Move(offset, /*into=*/nullptr, static_cast<const std::uint8_t*>(buffer), bytes, error);
  }

  bool Flush(std::string* error) override {
    if (FlushFileBuffers(m_handle.get())) return true;
    *error = SystemError("flushing the disk failed", GetLastError());
    return false;
  }

 private:
  // Sends `buffer` and takes the answer in it; false with the reason.
  bool Control(DWORD code, std::vector<std::uint8_t>* buffer, std::string* error) const {
    DWORD returned = 0;
    if (DeviceIoControl(m_handle.get(), code, buffer->data(), static_cast<DWORD>(buffer->size()),
                        buffer->data(), static_cast<DWORD>(buffer->size()), &returned,
                        /*lpOverlapped=*/nullptr)) {
      return true;
    }
    const DWORD code2 = GetLastError();
    *error = SystemError(code2 == ERROR_INVALID_FUNCTION || code2 == ERROR_NOT_SUPPORTED
                             ? "the system does not carry this command to the drive"
                             : "the system could not carry the command",
                         code2);
    return false;
  }

  bool Aligned(std::uint64_t offset, std::uint64_t bytes, std::string* error) const {
    if (offset % m_sectorBytes != 0 || bytes % m_sectorBytes != 0 || offset > m_sizeBytes ||
        bytes > m_sizeBytes - offset) {
      *error = "the range is not whole sectors inside the disk";
      return false;
    }
    return true;
  }

  // Reads into `into`, or writes `from`, in pieces of at most kChunk bytes.
  bool Move(std::uint64_t offset, std::uint8_t* into, const std::uint8_t* from, std::size_t bytes,
            std::string* error) {
    if (!Aligned(offset, bytes, error)) return false;
    const bool write = from != nullptr;
    std::size_t done = 0;
    while (done < bytes) {
      const DWORD part = static_cast<DWORD>(std::min(bytes - done, kChunk));
      OVERLAPPED at = {};
      const std::uint64_t position = offset + done;
      at.Offset = static_cast<DWORD>(position);
      at.OffsetHigh = static_cast<DWORD>(position >> 32);
      DWORD moved = 0;
      const BOOL ok = write ? WriteFile(m_handle.get(), from + done, part, &moved, &at)
                            : ReadFile(m_handle.get(), into + done, part, &moved, &at);
      if (!ok || moved != part) {
        *error = SystemError(write ? "writing the disk failed" : "reading the disk failed",
                             ok ? ERROR_HANDLE_EOF : GetLastError());
        return false;
      }
      done += part;
    }
    return true;
  }

  void ReadProperties() {
    const std::vector<std::uint8_t> device =
        QueryStorageProperty(m_handle.get(), StorageDeviceProperty);
    if (device.size() >= offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof(STORAGE_BUS_TYPE)) {
      STORAGE_BUS_TYPE bus;
      std::memcpy(&bus, device.data() + offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType), sizeof(bus));
      m_nvme = bus == BusTypeNvme;
    }
    const std::vector<std::uint8_t> trim =
        QueryStorageProperty(m_handle.get(), StorageDeviceTrimProperty);
    if (trim.size() >= sizeof(DEVICE_TRIM_DESCRIPTOR)) {
      DEVICE_TRIM_DESCRIPTOR descriptor;
      std::memcpy(&descriptor, trim.data(), sizeof(descriptor));
      m_trim = descriptor.TrimEnabled != FALSE;
    }
    if (m_nvme) {
      // The NVMe driver shows namespace N as logical unit N - 1.
      SCSI_ADDRESS address = {};
      DWORD returned = 0;
      if (DeviceIoControl(m_handle.get(), IOCTL_SCSI_GET_ADDRESS, /*lpInBuffer=*/nullptr,
                          /*nInBufferSize=*/0, &address, sizeof(address), &returned,
                          /*lpOverlapped=*/nullptr) &&
          returned >= sizeof(address)) {
        m_namespace = address.Lun + 1u;
      }
    }
  }

  const std::string m_device;
  const UniqueHandle m_handle;
  const std::uint64_t m_sizeBytes;
  const std::uint32_t m_sectorBytes;
  bool m_nvme = false;
  bool m_trim = false;
  std::uint32_t m_namespace = 1;
};

}  // namespace

// Windows shares the disk either way: its volumes are refused by the caller.
std::unique_ptr<DriveChannel> OpenDriveChannel(const std::string& device, DriveAccess /*access*/,
                                               std::string* error) {
  unsigned number = 0;
  if (!DiskNumber(device, &number)) {
    *error = "\"" + device + "\" is not a whole disk: give \\\\.\\PhysicalDriveN";
    return nullptr;
  }
  wchar_t path[40];
  std::swprintf(path, 40, L"\\\\.\\PhysicalDrive%u", number);
  UniqueHandle handle(
      CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING,
                  FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH, /*hTemplateFile=*/nullptr));
  if (!handle.IsOpen()) {
    const DWORD code = GetLastError();
    const char* what =
        code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? "there is no such disk"
        : code == ERROR_ACCESS_DENIED ? "opening a disk for purging needs an administrator"
                                      : "the disk could not be opened";
    *error = device + ": " + SystemError(what, code);
    return nullptr;
  }
  // What was opened must answer as a disk: its geometry and its length.
  DISK_GEOMETRY_EX geometry = {};
  DWORD returned = 0;
  if (!DeviceIoControl(handle.get(), IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, /*lpInBuffer=*/nullptr,
                       /*nInBufferSize=*/0, &geometry, sizeof(geometry), &returned,
                       /*lpOverlapped=*/nullptr) ||
      returned < offsetof(DISK_GEOMETRY_EX, Data)) {
    *error = device + ": " + SystemError("not a disk (no drive geometry)", GetLastError());
    return nullptr;
  }
  GET_LENGTH_INFORMATION length = {};
  if (!DeviceIoControl(handle.get(), IOCTL_DISK_GET_LENGTH_INFO, /*lpInBuffer=*/nullptr,
                       /*nInBufferSize=*/0, &length, sizeof(length), &returned,
                       /*lpOverlapped=*/nullptr)) {
    *error = device + ": " + SystemError("not a disk (no length)", GetLastError());
    return nullptr;
  }
  const std::uint32_t sectorBytes = geometry.Geometry.BytesPerSector;
  if (geometry.Geometry.MediaType != FixedMedia && geometry.Geometry.MediaType != RemovableMedia) {
    *error = device + ": not a disk";
    return nullptr;
  }
  if (sectorBytes < 512 || (sectorBytes & (sectorBytes - 1)) != 0 || length.Length.QuadPart <= 0) {
    *error = device + ": the disk reports no usable size or sector size";
    return nullptr;
  }
  return std::make_unique<Win32DriveChannel>(
      device, std::move(handle), static_cast<std::uint64_t>(length.Length.QuadPart), sectorBytes);
}
