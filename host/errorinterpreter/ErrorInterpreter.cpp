#include "ErrorInterpreter.h"

#include <cstdio>

namespace {

struct WipeError {
  unsigned int code;
  const char* sentence;
};

// The codes the wipe layer reports, one per reporting site.
constexpr WipeError kWipeErrors[] = {
    {0x02203008, "The disk to wipe was not found; check the disk number and that it is attached"},
    {0x03703008, "The partition to wipe is not on its disk; check the partition number"},
    {0xE0300301, "The partition holds the running system and is never wiped; choose another"},
    {0x00300301, "The disk holds the running system and is never wiped; choose another disk"},
    {0x06003008, "The disk or partition could not be opened; close what uses it, run as admin"},
    {0x80300302, "No wipe algorithm could be made; free some memory and start the wipe again"},
    {0xD0300305, "The disk wiper could not be set up; check the disk-I/O driver and the disk"},
    {0x0B303008, "The disk of the volume was not found; check the disk number"},
    {0x0D103020, "The partition holds the running system; its free space is never wiped"},
    {0x0D603006, "The partition has no mounted file system; mount it with a drive letter first"},
    {0x10300304, "The free-space wipe could not start; check that the volume is writable"},
    {0x60300304, "The file could not be opened for wiping; check the path and what holds it"},
    {0x50300304, "The folder could not be read for wiping; check the path and its permissions"},
    {0x00F03003, "No memory for the wipe buffer; free some memory and start the wipe again"},
    {0x70300302, "The wipe had no algorithm; start the wipe again"},
    {0x02C0301B, "The wipe was stopped before a pass; start it again to wipe the rest"},
    {0x0350301B, "The wipe was stopped during a pass; start it again to wipe the rest"},
    {0x03B03005, "Writing a block failed; check that the target is writable and sound"},
    {0x04803005, "Writing the last bytes failed; check that the target is writable and sound"},
    {0x04C03005, "Written data did not reach the device, so nothing was deleted; check the device"},
    {0x10C03001, "No memory for the disk wipe buffer; free some memory and start again"},
    {0x11303001, "The disk wipe had no algorithm; start the wipe again"},
    {0x11E03008, "The partition starts at sector 0, which is wrong; check the partition table"},
    {0x12E0301B, "The disk wipe was stopped before a pass; start it again to wipe the rest"},
    {0x1370301B, "The disk wipe was stopped during a pass; start it again to wipe the rest"},
    {0x13C03005, "Writing a block to the disk failed; check the disk and the disk-I/O driver"},
    {0x14803005, "Writing the last sectors failed; check the disk and the disk-I/O driver"},
};

constexpr std::size_t kTextSize = 132;

}  // namespace

const char* CErrorInterpreter::GetErrorString(unsigned int code) {
  thread_local char text[kTextSize];
  for (const WipeError& error : kWipeErrors) {
    if (error.code == code) {
      std::snprintf(text, sizeof(text), "%s (code 0x%08X).", error.sentence, code);
      return text;
    }
  }
  if (code != 0 && SystemErrorMessage(code, text, sizeof(text))) return text;
  std::snprintf(text, sizeof(text), "unknown error 0x%08X", code);
  return text;
}

extern "C" ERRORINTERPRETER_API IErrorInterpreter* __GetErrorInterPreter() {
  static CErrorInterpreter interpreter;
  return &interpreter;
}
