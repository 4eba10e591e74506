#include "host/devicemanager/SysfsIdentity.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "host/devicemanager/StorageDescriptors.h"

namespace fs = std::filesystem;

namespace {

// A sysfs attribute as written, or absent when the file is missing or cannot
// be read: some open but fail every read (a SCSI disk's "wwid" where the
// drive has no identification page answers EINVAL), which the stream reports
// by throwing.
std::optional<std::string> Attribute(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  try {
    return CleanDeviceText(
        std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
  } catch (const std::ios_base::failure&) {
    return std::nullopt;
  }
}

std::uint64_t Number(const fs::path& file) {
  const std::optional<std::string> text = Attribute(file);
  if (!text) return 0;
  std::uint64_t value = 0;
  for (const char c : *text) {
    if (c < '0' || c > '9' || value > (UINT64_MAX - 9) / 10) return 0;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

std::optional<std::string> First(const fs::path& folder, const fs::path& other, const char* name) {
  std::optional<std::string> value = Attribute(folder / name);
  return value ? value : Attribute(other / name);
}

// The bus a device hangs on, and for SCSI disks the way there (its path
// below the sysfs root).
std::optional<std::string> Transport(const fs::path& sysRoot, const fs::path& device) {
  std::error_code error;
  const fs::path bus = fs::read_symlink(device / "subsystem", error).filename();
  if (error) return std::nullopt;
  if (bus != "scsi") return bus.string();
  const std::string root = fs::canonical(sysRoot, error).generic_string();
  const std::string path = fs::canonical(device, error).generic_string().substr(root.size());
  if (error) return std::string("scsi");
  if (path.find("/usb") != std::string::npos) return std::string("usb");
  if (path.find("/ata") != std::string::npos) return std::string("sata");
  if (path.find("/end_device-") != std::string::npos) return std::string("sas");
  return std::string("scsi");
}

}  // namespace

DiskIdentity ReadSysfsIdentity(const std::string& sysRoot, const std::string& name,
                               const UnitSerialInquiry& inquiry) {
  const fs::path block = fs::path(sysRoot) / "block" / name;
  const fs::path device = block / "device";
  DiskIdentity identity;
  identity.logicalSectorBytes =
      static_cast<std::uint32_t>(Number(block / "queue" / "logical_block_size"));
  identity.physicalSectorBytes =
      static_cast<std::uint32_t>(Number(block / "queue" / "physical_block_size"));
  identity.sizeBytes = Number(block / "size") * 512;
  if (const std::optional<std::string> rotational = Attribute(block / "queue" / "rotational")) {
    if (*rotational == "0" || *rotational == "1") identity.rotational = *rotational == "1";
  }
  std::error_code error;
  if (name.rfind("loop", 0) == 0 || !fs::exists(device, error)) {
    if (name.rfind("loop", 0) == 0) identity.transport = "loop";
    return identity;
  }
  identity.transport = Transport(sysRoot, device);
  identity.vendor = Attribute(device / "vendor");
  identity.model = Attribute(device / "model");
  identity.firmware = First(device, device, "rev");
  if (!identity.firmware) identity.firmware = Attribute(device / "firmware_rev");
  identity.serial = First(device, block, "serial");
  identity.wwn = First(block, device, "wwid");
  const bool scsi = identity.transport == "sata" || identity.transport == "sas" ||
                    identity.transport == "usb" || identity.transport == "scsi";
  if (!identity.serial && scsi && inquiry) {
    const std::vector<unsigned char> page = inquiry(name);
    identity.serial = ParseUnitSerialPage(page.data(), page.size());
  }
  // A virtio device's "vendor" is a PCI number, not a name.
  if (identity.transport == "virtio") identity.vendor.reset();
  return identity;
}

MachineIdentity ReadDmiIdentity(const std::string& sysRoot) {
  const fs::path folder = fs::path(sysRoot) / "class" / "dmi" / "id";
  MachineIdentity machine;
  machine.vendor = Attribute(folder / "sys_vendor");
  machine.product = Attribute(folder / "product_name");
  machine.serial = Attribute(folder / "product_serial");
  return machine;
}
