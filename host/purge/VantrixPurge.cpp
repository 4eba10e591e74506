#include "host/purge/VantrixPurge.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "host/purge/DrivePurger.h"

namespace {

constexpr std::uint32_t kReadWhole = 1;
constexpr std::uint32_t kTryUnreported = 2;

// A copy of `text` the caller frees with __PurgeFreeText; null when memory runs out.
char* NewText(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

char* ErrorText(const std::string& error) { return NewText(CapabilitiesErrorJson(error)); }

char* RefusalText(PurgeMethod method, const std::string& message) {
  PurgeResult result;
  result.outcome = "refused";
  result.method = method;
  result.message = message;
  return NewText(PurgeResultJson(result));
}

}  // namespace

extern "C" VANTRIX_PURGE_API char* __PurgeCapabilities(const char* device) {
  try {
    if (device == nullptr) return ErrorText("no device named");
    DriveCapabilities capabilities;
    std::string error;
    if (!NewSystemDrivePurger()->Capabilities(device, &capabilities, &error))
      return ErrorText(error);
    return NewText(CapabilitiesJson(capabilities));
  } catch (const std::exception& failure) {
    try {
      return ErrorText(std::string("the capabilities could not be read: ") + failure.what());
    } catch (...) {
      return nullptr;
    }
  } catch (...) {
    return nullptr;
  }
}

extern "C" VANTRIX_PURGE_API char* __PurgeDrive(const char* device, const char* method,
                                                uint64_t expectedBytes, uint32_t flags,
                                                VantrixPurgeProgress progress, void* context) {
  try {
    PurgeRequest request;
    if (device == nullptr) return RefusalText(PurgeMethod::kAuto, "no device named");
    request.device = device;
    const std::string name = method != nullptr ? method : "auto";
    if (!ParsePurgeMethod(name, &request.method))
      return RefusalText(PurgeMethod::kAuto, "no purge method is called \"" + name + "\"");
    if ((flags & ~(kReadWhole | kTryUnreported)) != 0)
      return RefusalText(request.method, "unknown flags " + std::to_string(flags));
    request.expectedBytes = expectedBytes;
    request.readWhole = (flags & kReadWhole) != 0;
    request.tryUnreported = (flags & kTryUnreported) != 0;
    if (progress != nullptr) {
      request.progress = [progress, context](double done, const char* stage) {
        return progress(context, done, stage) != 0;
      };
    }
    return NewText(PurgeResultJson(NewSystemDrivePurger()->Purge(request)));
  } catch (const std::exception& failure) {
    try {
      PurgeResult result;
      result.message = std::string("the purge ended on an error: ") + failure.what();
      result.driveChanged = true;  // unknown: the drive may have been written
      return NewText(PurgeResultJson(result));
    } catch (...) {
      return nullptr;
    }
  } catch (...) {
    return nullptr;
  }
}

extern "C" VANTRIX_PURGE_API void __PurgeFreeText(char* text) { std::free(text); }
