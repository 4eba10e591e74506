#include "host/purge/DriveChannel.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/nvme_ioctl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>

#include "support/posix/UniqueDescriptor.h"

namespace {

static_assert(sizeof(nvme_passthru_cmd) == 72, "the kernel's NVMe pass-through record");
static_assert(sizeof(sg_io_hdr_t) == 88, "the kernel's SG_IO record (64-bit)");

constexpr std::size_t kAlignment = 4096;
constexpr unsigned char kSenseBytes = 64;
constexpr unsigned int kHostOk = 0;
constexpr unsigned int kDriverSense = 0x08;

std::string SystemError(const char* what, int error) {
  return std::string(what) + ": " + std::strerror(error);
}

// A buffer for the drive's data, aligned for direct transfers.
class DataBuffer {
 public:
  explicit DataBuffer(std::size_t bytes)
      : m_bytes(bytes == 0 ? nullptr
                           : static_cast<std::uint8_t*>(
                                 ::operator new(bytes, std::align_val_t(kAlignment)))),
        m_size(bytes) {
    if (m_bytes != nullptr) std::memset(m_bytes, 0, m_size);
  }
  ~DataBuffer() {
    if (m_bytes != nullptr) ::operator delete(m_bytes, std::align_val_t(kAlignment));
  }
  DataBuffer(const DataBuffer&) = delete;
  DataBuffer& operator=(const DataBuffer&) = delete;
  std::uint8_t* get() const { return m_bytes; }
  std::vector<std::uint8_t> Copy(std::size_t bytes) const {
    return m_bytes == nullptr
               ? std::vector<std::uint8_t>()
               : std::vector<std::uint8_t>(m_bytes, m_bytes + std::min(bytes, m_size));
  }

 private:
  std::uint8_t* m_bytes;
  std::size_t m_size;
};

// A number from one line of a sysfs file; 0 when absent.
std::uint64_t SysfsNumber(const std::string& path) {
  std::ifstream file(path);
  unsigned long long value = 0;
  if (!(file >> value)) return 0;
  return value;
}

class PosixDriveChannel : public DriveChannel {
 public:
  PosixDriveChannel(std::string device, UniqueDescriptor held, UniqueDescriptor direct,
                    std::string sysfs)
      : m_device(std::move(device)),
        m_held(std::move(held)),
        m_direct(std::move(direct)),
        m_sysfs(std::move(sysfs)) {}

  bool Load(std::string* error) {
    std::uint64_t size = 0;
    int sector = 0;
    if (::ioctl(m_held.get(), BLKGETSIZE64, &size) != 0 ||
        ::ioctl(m_held.get(), BLKSSZGET, &sector) != 0 || sector <= 0) {
      *error = SystemError((m_device + ": cannot read its size").c_str(), errno);
      return false;
    }
    m_size = size;
    m_sector = static_cast<std::uint32_t>(sector);
    const int id = ::ioctl(m_held.get(), NVME_IOCTL_ID);
    if (id > 0) m_namespace = static_cast<std::uint32_t>(id);
    m_discardMax = SysfsNumber(m_sysfs + "/queue/discard_max_bytes");
    m_discardGranularity = SysfsNumber(m_sysfs + "/queue/discard_granularity");
    return true;
  }

  std::string Device() const override { return m_device; }
  std::uint64_t SizeBytes() const override { return m_size; }
  std::uint32_t SectorBytes() const override { return m_sector; }
  bool IsNvme() const override { return m_namespace != 0; }
  std::uint32_t NvmeNamespace() const override { return m_namespace; }
  std::uint64_t DiscardMaxBytes() const override { return m_discardMax; }
  std::uint64_t DiscardGranularity() const override { return m_discardGranularity; }

  Answer SendNvme(const NvmeAdminCommand& command) override {
    Answer answer;
    DataBuffer data(command.dataBytes);
    nvme_passthru_cmd pass{};
    pass.opcode = command.opcode;
    pass.nsid = command.namespaceId;
    pass.addr = reinterpret_cast<std::uintptr_t>(data.get());
    pass.data_len = command.dataBytes;
    pass.cdw10 = command.cdw10;
    pass.cdw11 = command.cdw11;
    pass.cdw12 = command.cdw12;
    pass.cdw13 = command.cdw13;
    pass.cdw14 = command.cdw14;
    pass.cdw15 = command.cdw15;
    pass.timeout_ms = Milliseconds(command.timeoutSeconds);
    const int status = ::ioctl(m_held.get(), NVME_IOCTL_ADMIN_CMD, &pass);
    if (status < 0) {
      answer.systemError = SystemError("NVME_IOCTL_ADMIN_CMD", errno);
      return answer;
    }
    answer.delivered = true;
    answer.nvmeStatus = static_cast<std::uint16_t>(status);
    answer.nvmeResult = pass.result;
    if (status == 0) answer.data = data.Copy(command.dataBytes);
    return answer;
  }

  Answer SendAta(const AtaCommand& command) override {
    ScsiCommand scsi;
    scsi.cdb = AtaPassThrough16(command);
    scsi.direction = command.dataIn ? ScsiCommand::Direction::kIn : ScsiCommand::Direction::kNone;
    scsi.dataInBytes = command.dataIn ? command.dataBytes : 0;
    scsi.timeoutSeconds = command.timeoutSeconds;
    Answer answer = SendScsi(scsi);
    if (answer.delivered)
      DecodeAtaStatusReturn(answer.sense.data(), answer.sense.size(), &answer.ata);
    return answer;
  }

  Answer SendScsi(const ScsiCommand& command) override {
    Answer answer;
    const bool out = command.direction == ScsiCommand::Direction::kOut;
    const std::size_t bytes = out ? command.dataOut.size() : command.dataInBytes;
    DataBuffer data(bytes);
    if (out && bytes > 0) std::memcpy(data.get(), command.dataOut.data(), bytes);
    std::vector<unsigned char> cdb(command.cdb.begin(), command.cdb.end());
    unsigned char sense[kSenseBytes] = {};
    sg_io_hdr_t header{};
    header.interface_id = 'S';
    header.dxfer_direction = command.direction == ScsiCommand::Direction::kIn ? SG_DXFER_FROM_DEV
                             : out                                            ? SG_DXFER_TO_DEV
                                                                              : SG_DXFER_NONE;
    header.cmd_len = static_cast<unsigned char>(cdb.size());
    header.cmdp = cdb.data();
    header.mx_sb_len = kSenseBytes;
    header.sbp = sense;
    header.dxfer_len = static_cast<unsigned int>(bytes);
    header.dxferp = bytes > 0 ? data.get() : nullptr;
    header.timeout = Milliseconds(command.timeoutSeconds);
    if (::ioctl(m_held.get(), SG_IO, &header) != 0) {
      answer.systemError = SystemError("SG_IO", errno);
      return answer;
    }
    if (header.host_status != kHostOk || (header.driver_status & ~kDriverSense) != 0) {
      answer.systemError = "SG_IO: host status " + std::to_string(header.host_status) +
                           ", driver status " + std::to_string(header.driver_status);
      return answer;
    }
    answer.delivered = true;
    answer.scsiStatus = header.status;
    answer.sense.assign(sense, sense + std::min<unsigned>(header.sb_len_wr, kSenseBytes));
    if (!out && bytes > 0) {
      const int resid = header.resid > 0 ? header.resid : 0;
      answer.data =
          data.Copy(bytes - std::min<std::size_t>(bytes, static_cast<std::size_t>(resid)));
    }
    return answer;
  }

  bool Discard(std::uint64_t offset, std::uint64_t bytes, std::string* error) override {
    std::uint64_t range[2] = {offset, bytes};
    if (::ioctl(m_held.get(), BLKDISCARD, range) == 0) return true;
    *error = SystemError("BLKDISCARD", errno);
    return false;
  }

  bool Read(std::uint64_t offset, void* buffer, std::size_t bytes, std::string* error) override {
    return TransferAll(offset, static_cast<std::uint8_t*>(buffer), bytes, error,
                       [](int fd, std::uint8_t* at, std::size_t size, off_t from) {
                         return ::pread(fd, at, size, from);
                       });
  }

  bool Write(std::uint64_t offset, const void* buffer, std::size_t bytes,
             std::string* error) override {
    return TransferAll(offset, static_cast<const std::uint8_t*>(buffer), bytes, error,
                       [](int fd, const std::uint8_t* at, std::size_t size, off_t from) {
                         return ::pwrite(fd, at, size, from);
                       });
  }

  bool Flush(std::string* error) override {
    if (::fsync(m_direct.get()) != 0 || ::fsync(m_held.get()) != 0) {
      *error = SystemError("fsync", errno);
      return false;
    }
    if (::ioctl(m_held.get(), BLKFLSBUF, 0) != 0) {
      *error = SystemError("BLKFLSBUF", errno);
      return false;
    }
    return true;
  }

 private:
  // Moves `bytes` through the direct descriptor with `io` (pread or pwrite),
  // going on after short transfers and interruptions.
  template <class Byte, class Io>
  bool TransferAll(std::uint64_t offset, Byte* at, std::size_t bytes, std::string* error, Io io) {
    while (bytes > 0) {
      const ssize_t done = io(m_direct.get(), at, bytes, static_cast<off_t>(offset));
      if (done < 0 && errno == EINTR) continue;
      if (done <= 0) {
        *error = done == 0 ? "the device ended early" : SystemError("transfer", errno);
        return false;
      }
      at += done;
      offset += static_cast<std::uint64_t>(done);
      bytes -= static_cast<std::size_t>(done);
    }
    return true;
  }

  static std::uint32_t Milliseconds(std::uint32_t seconds) {
    return seconds >= UINT_MAX / 1000 ? UINT_MAX : seconds * 1000;
  }

  std::string m_device;
  UniqueDescriptor m_held;    // O_EXCL: the claim on the disk; commands, discard
  UniqueDescriptor m_direct;  // O_DIRECT: reads and writes past the page cache
  std::string m_sysfs;
  std::uint64_t m_size = 0;
  std::uint32_t m_sector = 0;
  std::uint32_t m_namespace = 0;
  std::uint64_t m_discardMax = 0;
  std::uint64_t m_discardGranularity = 0;
};

// The block device `device` leads to, checked to be a whole disk; "" with
// the reason otherwise.
std::string WholeDiskPath(const std::string& device, struct stat* seen, std::string* error) {
  if (::lstat(device.c_str(), seen) != 0) {
    *error = SystemError(device.c_str(), errno);
    return "";
  }
  std::string path = device;
  if (S_ISLNK(seen->st_mode)) {  // /dev/disk/by-id/... names lead to the device
    char* resolved = ::realpath(device.c_str(), nullptr);
    if (resolved == nullptr) {
      *error = SystemError(device.c_str(), errno);
      return "";
    }
    path = resolved;
    std::free(resolved);
    if (::lstat(path.c_str(), seen) != 0) {
      *error = SystemError(path.c_str(), errno);
      return "";
    }
  }
  if (!S_ISBLK(seen->st_mode)) {
    *error = device + " is not a block device: only a whole disk can be purged";
    return "";
  }
  return path;
}

}  // namespace

std::unique_ptr<DriveChannel> OpenDriveChannel(const std::string& device, DriveAccess access,
                                               std::string* error) {
  struct stat seen {};
  const std::string path = WholeDiskPath(device, &seen, error);
  if (path.empty()) return nullptr;
  const std::string sysfs = "/sys/dev/block/" + std::to_string(major(seen.st_rdev)) + ":" +
                            std::to_string(minor(seen.st_rdev));
  if (::access((sysfs + "/partition").c_str(), F_OK) == 0) {
    *error = device + " is a partition: only a whole disk can be purged";
    return nullptr;
  }
  if (::geteuid() != 0) {
    *error = "purging " + device + " needs root: its commands and sectors are the administrator's";
    return nullptr;
  }
  // A query reads and asks only: shared and read-only (root may send any
  // command through a read-only descriptor), so mounted disks answer too.
  const int mode = access == DriveAccess::kPurge ? O_RDWR | O_EXCL : O_RDONLY;
  UniqueDescriptor held(::open(path.c_str(), mode | O_CLOEXEC));
  if (!held.IsOpen()) {
    *error = errno == EBUSY ? device + " is in use: a partition is mounted or the disk is held"
                            : SystemError(device.c_str(), errno);
    return nullptr;
  }
  struct stat opened {};
  if (::fstat(held.get(), &opened) != 0 || !S_ISBLK(opened.st_mode) ||
      opened.st_rdev != seen.st_rdev) {
    *error = device + " changed while it was opened";
    return nullptr;
  }
  // The same open device again, for transfers past the page cache.
  const std::string again = "/proc/self/fd/" + std::to_string(held.get());
  const int directMode = access == DriveAccess::kPurge ? O_RDWR : O_RDONLY;
  UniqueDescriptor direct(::open(again.c_str(), directMode | O_DIRECT | O_CLOEXEC));
  struct stat reopened {};
  if (!direct.IsOpen() || ::fstat(direct.get(), &reopened) != 0 ||
      reopened.st_rdev != seen.st_rdev) {
    *error = SystemError((device + ": cannot open it for direct transfers").c_str(), errno);
    return nullptr;
  }
  auto channel =
      std::make_unique<PosixDriveChannel>(device, std::move(held), std::move(direct), sysfs);
  if (!channel->Load(error)) return nullptr;
  return channel;
}
