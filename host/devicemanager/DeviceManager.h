#pragma once

#include <mutex>
#include <string>
#include <vector>

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

 private:
  // Reads the source again; never throws (a failure is kept in m_failure).
  bool LoadLocked();
  void LoadSourceLocked();
  void SetLastErrorLocked(const std::string& text) noexcept;
  void EnsureLoadedLocked();

  std::mutex m_lock;
  bool m_loaded = false;
  std::vector<DiskInfo> m_disks;
  std::string m_failure;          // why the source gave no disks; empty when it did
  std::string m_reportedFailure;  // the failure last written to standard error
  std::string m_lastError;
};
