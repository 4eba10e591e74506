#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "host/devicemanager/DeviceIdentity.h"
#include "host/devicemanager/SysfsIdentity.h"
#include "support/posix/UniqueDescriptor.h"

namespace {

constexpr char kSys[] = "/sys";

// The block device the record names, by number; false when it is none.
bool BlockDeviceOf(const DiskInfo& disk, dev_t* device) {
  struct stat status;
  const std::string path = RecordText(disk.szDevicePath);
  if (path.empty() || stat(path.c_str(), &status) != 0 || !S_ISBLK(status.st_mode)) return false;
  *device = status.st_rdev;
  return true;
}

// The kernel's name of a block device ("sda"): the folder /sys/dev/block/M:m
// leads to.
std::string KernelName(dev_t device) {
  const std::string link = std::string(kSys) + "/dev/block/" + std::to_string(major(device)) + ":" +
                           std::to_string(minor(device));
  char resolved[PATH_MAX];
  if (realpath(link.c_str(), resolved) == nullptr) return "";
  const std::string path = resolved;
  return path.substr(path.rfind('/') + 1);
}

// INQUIRY with EVPD, page 0x80, on the record's block device opened
// read-only (and checked to be one): asks, writes nothing.
std::vector<unsigned char> InquireUnitSerial(const std::string& path) {
  const UniqueDescriptor device(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
  if (!device.IsOpen()) return {};
  struct stat status;
  std::vector<unsigned char> page(0xFC, 0);
  unsigned char command[6] = {0x12, 0x01, 0x80, 0x00, 0xFC, 0x00};
  unsigned char sense[32] = {};
  sg_io_hdr_t request = {};
  request.interface_id = 'S';
  request.dxfer_direction = SG_DXFER_FROM_DEV;
  request.cmd_len = sizeof(command);
  request.cmdp = command;
  request.dxfer_len = static_cast<unsigned int>(page.size());
  request.dxferp = page.data();
  request.mx_sb_len = sizeof(sense);
  request.sbp = sense;
  request.timeout = 5000;
  const bool answered = fstat(device.get(), &status) == 0 && S_ISBLK(status.st_mode) &&
                        ioctl(device.get(), SG_IO, &request) == 0 &&
                        (request.info & SG_INFO_OK_MASK) == SG_INFO_OK;
  if (!answered) return {};
  page.resize(page.size() - static_cast<std::size_t>(request.resid > 0 ? request.resid : 0));
  return page;
}

}  // namespace

DiskIdentity ReadDriveIdentity(const DiskInfo& disk) {
  DiskIdentity identity;
  dev_t device = 0;
  const std::string name = BlockDeviceOf(disk, &device) ? KernelName(device) : "";
  const std::string path = RecordText(disk.szDevicePath);
  if (!name.empty()) {
    identity = ReadSysfsIdentity(kSys, name,
                                 [&path](const std::string&) { return InquireUnitSerial(path); });
  }
  identity.deviceNumbers = DeviceNumbersOf(disk);
  return identity;
}

std::string DeviceNumbersOf(const DiskInfo& disk) {
  dev_t device = 0;
  if (!BlockDeviceOf(disk, &device)) return "";
  return std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

MachineIdentity ReadMachineIdentity() { return ReadDmiIdentity(kSys); }
