// The discard method on a loop device of the test's own: a sparse image in
// the test-run folder, attached, filled, purged and read back. Needs root.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "host/purge/DrivePurger.h"

namespace {

constexpr std::uint64_t kImageBytes = 32u << 20;

// The image's absolute path, as losetup -j compares it.
std::string Image() {
  char folder[4096];
  return std::string(::getcwd(folder, sizeof(folder)) ? folder : ".") + "/purge-loop.img";
}

std::string Output(const std::string& command) {
  std::string text;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char line[256];
    while (std::fgets(line, sizeof(line), pipe)) text += line;
    ::pclose(pipe);
  }
  return text;
}

// The image attached as a loop device, detached and removed with the object;
// loop devices an earlier run left on the same image are detached first.
class LoopImage {
 public:
  LoopImage() {
    Detach(Output("losetup -n -O NAME -j " + image_));
    std::remove(image_.c_str());
    std::ofstream(image_).close();
    if (::truncate(image_.c_str(), kImageBytes) != 0) return;
    std::istringstream(Output("losetup -f --show " + image_ + " 2>&1")) >> device_;
    if (device_.rfind("/dev/loop", 0) != 0) {
      why_ = "losetup -f could not attach an image: " + device_;
      device_.clear();
    }
  }
  ~LoopImage() {
    Detach(device_);
    std::remove(image_.c_str());
  }
  const std::string& device() const { return device_; }
  const std::string& why() const { return why_; }

 private:
  static void Detach(const std::string& devices) {
    std::istringstream names(devices);
    for (std::string name; names >> name;) Output("losetup -d " + name + " 2>&1");
  }
  const std::string image_ = Image();
  std::string device_, why_ = "the image could not be made";
};

TEST(LoopPurgeTest, DiscardLeavesZerosAndSaysPurged) {
  if (::geteuid() != 0) GTEST_SKIP() << "not root: no loop device can be made";
  LoopImage loop;
  if (loop.device().empty()) GTEST_SKIP() << loop.why();
  {
    const std::string old(1u << 20, 'v');
    const int fd = ::open(loop.device().c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0) << loop.device();
    for (std::uint64_t at = 0; at < kImageBytes; at += old.size())
      ASSERT_EQ(::pwrite(fd, old.data(), old.size(), static_cast<off_t>(at)), ssize_t(old.size()));
    ASSERT_EQ(::fsync(fd), 0);
    ::close(fd);
  }
  PurgeRequest request;
  request.device = loop.device();
  request.expectedBytes = kImageBytes;
  request.expectedSectorBytes = 512;
  request.method = PurgeMethod::kDiscard;
  request.readWhole = true;
  const PurgeResult result = NewSystemDrivePurger()->Purge(request);
  const std::string json = PurgeResultJson(result);
  EXPECT_EQ(result.outcome, "purged") << json;
  EXPECT_EQ(result.nistCategory, "Purge") << json;
  EXPECT_EQ(result.readBack.bytesRead, kImageBytes) << json;

  std::ifstream device(loop.device(), std::ios::binary);
  std::string bytes(kImageBytes, '\1');
  device.read(&bytes[0], static_cast<std::streamsize>(bytes.size()));
  EXPECT_TRUE(device) << "cannot read " << loop.device();
  EXPECT_EQ(bytes.find_first_not_of('\0'), std::string::npos) << "not all zeros";
}

}  // namespace
