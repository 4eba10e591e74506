#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>

#include "support/TestPlatform.h"

namespace {

namespace fs = std::filesystem;

// Prints the last lines the module logged while a test ran, when it failed:
// the log names the call that failed and the system's error code, which the
// test's own message cannot know.
class LogOfFailedTest : public testing::EmptyTestEventListener {
 public:
  explicit LogOfFailedTest(fs::path log) : m_log(std::move(log)) {}

  void OnTestStart(const testing::TestInfo&) override {
    std::error_code missing;
    const std::uintmax_t size = fs::file_size(m_log, missing);
    m_start = missing ? 0 : size;
  }

  void OnTestEnd(const testing::TestInfo& info) override {
    if (!info.result()->Failed()) return;
    std::ifstream log(m_log, std::ios::binary);
    log.seekg(static_cast<std::streamoff>(m_start));
    std::deque<std::string> last;
    for (std::string line; std::getline(log, line);) {
      if (line.empty()) continue;
      last.push_back(line);
      if (last.size() > kLines) last.pop_front();
    }
    std::cout << "--- the module's log during " << info.test_suite_name() << '.' << info.name()
              << " (last " << kLines << " lines) ---\n";
    for (const std::string& line : last) std::cout << line << '\n';
  }

 private:
  static constexpr std::size_t kLines = 40;
  fs::path m_log;
  std::uintmax_t m_start = 0;
};

}  // namespace

// Every test process works in a folder of its own below the build's test
// folder (VTX_TEST_RUN_DIR), wherever it was started from, so that the log
// file each process writes is its own even when tests run in parallel and
// never lands in the source tree. The folder is removed when every test passed.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const fs::path own =
      fs::path(VTX_TEST_RUN_DIR) / ("process-" + std::to_string(CurrentProcessId()));
  fs::create_directories(own);
  fs::current_path(own);
  testing::UnitTest::GetInstance()->listeners().Append(new LogOfFailedTest(own / "vantrix.log"));
  const int result = RUN_ALL_TESTS();
  if (result == 0) {
    fs::current_path(own.parent_path());
    std::error_code ignored;
    fs::remove_all(own, ignored);
  }
  return result;
}
