#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/cli/DriveIdentity.h"
#include "host/cli/HostLibrary.h"
#include "platform/DiskInfo.h"

class IDeviceManager;
class IErrorInterpreter;

// The host's own components, shipped beside the program and loaded from its
// folder: the device manager (the machine's disks, which of them hold the
// system) and the error interpreter (a text for every error code). They are
// the same libraries the module uses, so the program sees what the module
// sees. Used from the program's main thread.
class HostComponents {
 public:
  // Loads the device manager; false with the reason in `error`.
  bool OpenDeviceManager(std::string* error);
  // Loads the error interpreter; false with the reason in `error`.
  bool OpenErrorInterpreter(std::string* error);

  // Whether the device manager can read its source (the machine, or a
  // description file); false with its reason in `error`.
  bool CanReadDisks(std::string* error);
  // The numbers of the disks the device manager knows, after a refresh.
  std::vector<int> DiskNumbers();
  // The record of disk `number`, or null with the device manager's reason.
  std::unique_ptr<DiskInfo> Disk(int number, std::string* error);

  // What the device manager tells of disk `number` and of the machine;
  // everything unknown when it tells nothing (an older library).
  DiskIdentity Identity(int number);
  MachineIdentity Machine();
  // Holds the listing about to be shown, so that the module later reaches
  // only a disk that is still the one shown; false with the reason.
  bool HoldListing(std::string* error);

  // The interpreter's text for `code`; "" when no interpreter is loaded.
  std::string ErrorText(std::uint32_t code);

 private:
  HostLibrary m_deviceLibrary;
  HostLibrary m_interpreterLibrary;
  IDeviceManager* m_deviceManager = nullptr;
  IErrorInterpreter* m_interpreter = nullptr;
};

// The partition numbered `number` in `disk`'s table (the first, should the
// number come twice), or null.
const PartitionInfo* FindPartition(const DiskInfo& disk, int number);
