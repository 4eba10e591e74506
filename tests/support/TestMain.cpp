#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/TestPlatform.h"

// Every test process works in a folder of its own below the build's test
// folder (VTX_TEST_RUN_DIR), wherever it was started from, so that the log
// file each process writes is its own even when tests run in parallel and
// never lands in the source tree. The folder is removed when every test passed.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  namespace fs = std::filesystem;
  const fs::path own =
      fs::path(VTX_TEST_RUN_DIR) / ("process-" + std::to_string(CurrentProcessId()));
  fs::create_directories(own);
  fs::current_path(own);
  const int result = RUN_ALL_TESTS();
  if (result == 0) {
    fs::current_path(own.parent_path());
    std::error_code ignored;
    fs::remove_all(own, ignored);
  }
  return result;
}
