// Drives q7diskio.sys under Wine through the service control manager and its
// device, against loop disks that tests/scripts/driver_disks.sh maps as
// PhysicalDrive1, 2 and 3 (512-, 4096- and 2048-byte sectors). Each disk's
// model file holds its bytes before the run; every write the driver must
// accept is applied to the model, which the script then compares with the
// disk byte for byte. Wine has no \GLOBAL?? directory and one DOS-device
// namespace for every process: the driver reaches the disks there through
// \??\, the name it falls back to only where the global directory is absent.
// Nor does Wine show the device's DACL through a handle or keep the device
// exclusive; a driver whose DACL cannot be set does not load, and
// tests/driver/DriverAccessTest.cpp checks the descriptor and the caller rule.
//
//   driver_write_test <driver.sys> <model of disk 1> <model of disk 2> <model of disk 3>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "driver/DriverClient.h"

namespace {

int failures = 0;

void Check(bool ok, const char* what, unsigned long detail) {
  if (!ok) std::printf("FAILED: %s (%lu)\n", what, detail), ++failures;
}

// Waits while the script looks from Linux: <model>.<step> exists until then.
void Pause(const std::string& modelPath, const char* step) {
  const std::string flag = modelPath + "." + step;
  std::ofstream{flag};
  for (int i = 0; i < 600 && GetFileAttributesA(flag.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) {
    Sleep(50);
  }
}

struct Disk {
  unsigned number, sectorSize;
  std::string modelPath, bytes;
};

struct Case {
  const char* name;
  unsigned disk;  // index into the disks; 3 = a disk that does not exist
  bool fromEnd;   // start counts from the disk's end
  long long start;
  unsigned sectorCount;  // as written in the head
  long long dataBytes;   // negative: -n sectors of the disk's own size
  DWORD expectedError;   // 0: accepted and on the disk afterwards
};

// Wine's block device takes the part of a write that fits before the end and
// reports a short write; those sectors are sent the bytes they already hold.
const Case kCases[] = {
    {"first sector", 0, false, 0, 1, -1, 0},
    {"one 128 KiB block", 0, false, 100, 256, -256, 0},
    {"last sector", 0, true, -1, 1, -1, 0},
    {"4096-byte sectors", 1, false, 3, 32, -32, 0},
    {"last 4096-byte sector", 1, true, -1, 1, -1, 0},
    {"2048-byte sectors", 2, false, 5, 64, -64, 0},
    {"last 2048-byte sector", 2, true, -1, 1, -1, 0},
    {"8192-byte sectors", 1, false, 4, 1, 8192, ERROR_INVALID_PARAMETER},
    {"one byte more than two sectors", 0, false, 10, 2, 1025, ERROR_INVALID_PARAMETER},
    {"one byte less than two sectors", 0, false, 10, 2, 1023, ERROR_INVALID_PARAMETER},
    {"no sectors", 0, false, 10, 0, 0, ERROR_INVALID_PARAMETER},
    {"1000-byte sectors", 0, false, 10, 2, 2000, ERROR_INVALID_PARAMETER},
    {"offset beyond 63 bits", 0, false, 1LL << 60, 1, -1, ERROR_INVALID_PARAMETER},
    {"a disk that does not exist", 3, false, 0, 1, -1, ERROR_FILE_NOT_FOUND},
    {"starts past the end", 0, true, 0, 1, -1, ERROR_DISK_FULL},
    {"straddles the end", 1, true, -1, 2, -2, ERROR_IO_DEVICE},
    {"a write after refused ones", 0, false, 20, 8, -8, 0},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return std::printf("usage: driver_write_test <driver.sys> <model> x 3\n"), 2;
  Disk disks[4] = {{1, 512, argv[2], {}},
                   {2, 4096, argv[3], {}},
                   {3, 2048, argv[4], {}},
                   {4000000000u, 512, {}, {}}};
  for (Disk& disk : disks) {
    std::ifstream model(disk.modelPath, std::ios::binary);
    disk.bytes.assign(std::istreambuf_iterator<char>(model), {});
    if (&disk != &disks[3] && !IsScratchDisk(disk.number, disk.bytes.substr(0, 4096))) {
      return std::printf("PhysicalDrive%u is not the fixture's disk: nothing written\n",
                         disk.number),
             1;
    }
  }
  disks[3].bytes.resize(1 << 20);

  const std::string driver = argv[1];
  DWORD error = InstallAndStartDriver(std::wstring(driver.begin(), driver.end()));
  Check(error == 0, "install and start the service", error);
  HANDLE device = OpenDriverDevice();
  Check(device != INVALID_HANDLE_VALUE, "open the driver's device", GetLastError());
  if (failures) return 1;

  unsigned seed = 1;
  for (const Case& test : kCases) {
    Disk& disk = disks[test.disk];
    const unsigned long long start =
        test.start + (test.fromEnd ? disk.bytes.size() / disk.sectorSize : 0);
    const size_t size = test.dataBytes < 0 ? -test.dataBytes * disk.sectorSize : test.dataBytes;
    const size_t offset = start * disk.sectorSize;
    std::string data(size, '\0');
    for (char& byte : data) byte = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
    if (offset < disk.bytes.size() && offset + size > disk.bytes.size()) {
      data.replace(0, disk.bytes.size() - offset, disk.bytes, offset, std::string::npos);
    }
    error = SendWriteSectors(device, disk.number, start, test.sectorCount, data);
    Check(error == test.expectedError, test.name, error);
    if (test.expectedError == 0) disk.bytes.replace(offset, size, data);
  }

  // The driver holds a disk while a client has its device open and lets go
  // of it when the last client closes; unloading removes the device.
  Pause(disks[0].modelPath, "held");
  CloseHandle(device);
  Pause(disks[0].modelPath, "released");
  error = StopAndDeleteDriver();
  Check(error == 0, "stop and delete the service", error);
  // ERROR_FILE_NOT_FOUND is what makes the module install the driver again.
  const bool gone = OpenDriverDevice() == INVALID_HANDLE_VALUE;
  Check(gone && GetLastError() == ERROR_FILE_NOT_FOUND, "device gone after unload", GetLastError());

  for (int i = 0; i < 3; ++i) std::ofstream(disks[i].modelPath, std::ios::binary) << disks[i].bytes;
  std::printf("%d failed checks\n", failures);
  return failures ? 1 : 0;
}
