#pragma once

// The device manager library's exports beside __GetDeviceManager, for hosts
// that show people which drives they are about to wipe. Undecorated C
// functions; any thread may call them.
//
// int __GetDiskIdentity(int disk, char* buffer, int size)
//   Disk `disk`'s identity as one JSON object: "number", "vendor", "model",
//   "serial", "firmware", "wwn", "transport" (texts), "rotational" (true or
//   false), "logicalSectorBytes", "physicalSectorBytes", "sizeBytes",
//   "deviceNumbers" ("major:minor" on Linux) and "stableNumber" (false when
//   the number is a position that may change as disks come and go); every
//   member the system does not tell is null. Answers the JSON's length in
//   bytes and writes it, NUL-terminated, only when buffer holds size bytes
//   and size is above that length; -1 for an unknown disk.
//
// int __GetMachineIdentity(char* buffer, int size)
//   {"vendor":...,"product":...,"serial":...} of the machine, null where not
//   readable; length and buffer as above.
//
// int __HoldDiskListing(int hold)
//   hold != 0: reads the disks afresh and holds that listing (the one a
//   person is then shown); until it is let go, GetDiskInfo answers from it
//   and refuses a disk that has since changed or gone (Refresh compares).
//   hold == 0: lets it go. The number of disks held, or -1 when the disks
//   cannot be read.
extern "C" {
typedef int (*VtxGetDiskIdentity)(int disk, char* buffer, int size);
typedef int (*VtxGetMachineIdentity)(char* buffer, int size);
typedef int (*VtxHoldDiskListing)(int hold);
}
