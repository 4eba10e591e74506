#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/devicemanager/DiskIdentity.h"
#include "platform/IDeviceManager.h"

// The host's device manager: one process-wide object (__GetDeviceManager)
// describing the machine's disks as DiskInfo records, in number order.
//
// Its source is chosen at every Refresh (and at the first question when no
// Refresh came yet):
// - the description file named by the environment variable
//   VTX_DEVICE_DESCRIPTION, when it is set (DeviceDescription.h): every test
//   uses one, so that no test can reach a real disk;
// - otherwise the machine's real disks (SystemDisks.h).
// A source that cannot be read (a malformed or missing file, an unreadable
// system) leaves no disk: every GetDiskInfo fails, and the reason goes to
// standard error once (again only when it changes).
//
// Beside the records it knows each disk's identity (DiskIdentity.h: from the
// description's members, or from the machine) and the machine's.
//
// A held listing (Hold): the records a person was shown and confirmed. While
// it is held, every question is answered from it, and each Refresh reads the
// source again and compares: a held disk that is gone, or whose device,
// geometry, partitions, system marks or drive identity differ now, is
// withheld (GetDiskInfo fails, saying why), so a wipe can only reach the
// drive that was confirmed.
//
// No exception leaves a slot: reading the source catches every one and
// turns it into a failure. Any thread may call any slot; one lock guards the
// table. The object lives
// until the library unloads; nobody destroys it through slot 1.
class CDeviceManager : public BoundaryObject<CDeviceManager, IDeviceManager> {
 public:
  bool Refresh() override;
  int GetDiskCount() override;
  int GetDiskNumberAt(int index) override;
  int ReservedSlot5() override { return 0; }
  int ReservedSlot6() override { return 0; }
  int ReservedSlot7() override { return 0; }
  int ReservedSlot8() override { return 0; }
  int ReservedSlot9() override { return 0; }
  bool GetDiskInfo(int disk, DiskInfo* out) override;
  // Why the last GetDiskInfo, or the last failed Refresh, failed; valid
  // until the next GetDiskInfo or Refresh of any thread.
  const char* GetLastErrorText() override;

  // The identity of disk `number` as JSON (DiskIdentityJson); nullopt when
  // the manager knows no such disk.
  std::optional<std::string> IdentityJson(int number);
  std::string MachineJson();
  // Holds the listing as a fresh read gives it (true) or lets it go (false);
  // the number of disks held, or -1 when the source cannot be read.
  int Hold(bool hold);

 private:
  bool LoadLocked();
  void SetLastErrorLocked(const std::string& text) noexcept;
  void EnsureLoadedLocked();
  // Reads the source again; never throws (a failure is kept in m_failure).
  bool ReadSourceLocked(std::vector<DiskInfo>* disks, std::vector<DiskIdentity>* identities);
  void ReadDisksLocked(std::vector<DiskInfo>* disks, std::vector<DiskIdentity>* identities);
  void CompareWithHeldLocked(const std::vector<DiskInfo>& disks,
                             const std::vector<DiskIdentity>& identities);

  std::mutex m_lock;
  bool m_loaded = false;
  std::vector<DiskInfo> m_disks;
  std::vector<DiskIdentity> m_identities;  // one per record of m_disks
  bool m_holding = false;
  std::map<std::uint32_t, std::string> m_withheld;  // held disks that changed, and how
  std::optional<MachineIdentity> m_machine;         // read once
  std::string m_failure;          // why the source gave no disks; empty when it did
  std::string m_reportedFailure;  // the failure last written to standard error
  std::string m_lastError;
};
