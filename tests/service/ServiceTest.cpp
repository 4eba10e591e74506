#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/ModuleExports.h"
#include "service/DataWipeServiceManager.h"
#include "service/RecordingManager.h"
#include "support/AlgorithmTable.h"
#include "support/LogProbe.h"
#include "support/TestFiles.h"
#include "support/TestPlatform.h"

namespace {

using vantrix_Web::ICGIResult;

// The service only hands the device manager on; the double never calls it.
IDeviceManager* const kDevices = reinterpret_cast<IDeviceManager*>(std::uintptr_t{0x1000});
constexpr const char* kNotFound = "task-id-not-found";

struct Answer {
  bool success = false;
  std::string error;
  std::string json;
};

Answer Take(ICGIResult* result) {
  Answer answer;
  if (result == nullptr) return answer;
  answer = {result->IsSuccess(), result->GetErrorMsg(), result->GetResultJson()};
  result->Release();
  return answer;
}

std::string TaskJson(std::int64_t id) { return "{\"taskId\":" + std::to_string(id) + "}"; }

class Service : public ::testing::Test {
 protected:
  // Reads task `id` until it shows `status`; the last answer.
  Answer ReadUntil(std::int64_t id, const std::string& status) {
    Answer answer;
    for (int i = 0; i < 2000; ++i) {
      answer = Take(service.getProgressMsg(id));
      if (!answer.success || answer.json.find(status) != std::string::npos) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return answer;
  }

  RecordingManager manager;
  DataWipeServiceManager service{&manager, kDevices};
};

TEST_F(Service, WipeCommandsNumberTasksAcrossKindsAndForwardTheirArguments) {
  LogProbe log;
  char path[] = "/some/file";
  const std::pair<std::function<ICGIResult*()>, std::string> rows[] = {
      {[&] { return service.wipeFile(path, -1); }, "WipeFile /some/file 1"},
      {[&] { return service.wipeFolder(path, 0); }, "WipeFolder /some/file 0"},
      {[&] { return service.wipeDisk(2, 18); }, "WipeDevice 2 -1 18"},
      {[&] { return service.wipeVolume(1, 3, 21); }, "WipeDevice 1 3 21"},
      {[&] { return service.wipeVolumeFreeSpace(1, 2, 0); }, "WipeVolFreeSpace 1 2 0"},
      {[&] { return service.wipeVolumeFreeSpace(1, 2, -1); }, "WipeVolFreeSpace 1 2 0"},
      {[&] { return service.wipeVolumeFreeSpace(1, 2, 1); }, "WipeVolFreeSpace 1 2 1"},
  };
  std::int64_t id = 0;
  for (const auto& row : rows) {
    // Invalid input answers null and uses no id.
    EXPECT_EQ(service.wipeFile(nullptr, 1), nullptr);
    EXPECT_EQ(service.wipeFolder(nullptr, 1), nullptr);
    const Answer answer = Take(row.first());
    path[1] = 'X';  // the task works on its own copy
    EXPECT_EQ(answer.json, TaskJson(++id));
    ASSERT_TRUE(manager.WaitForCalls(static_cast<std::size_t>(id)));
    path[1] = 's';
    const RecordingManager::Call call = manager.Calls().back();
    EXPECT_EQ(call.text, row.second);
    EXPECT_NE(call.progress, nullptr);
    EXPECT_TRUE(call.deviceManager == nullptr || call.deviceManager == kDevices);
  }
  EXPECT_EQ(log.Count("DataWipeServiceManager::wipeDisk:107 entry, index = 2, algorithm = 18"), 1);

  DataWipeServiceManager none(nullptr, nullptr);
  for (ICGIResult* result : {none.wipeFile("x", 0), none.wipeFolder("x", 0), none.wipeDisk(0, 16),
                             none.wipeVolume(0, 1, 16), none.wipeVolumeFreeSpace(0, 1, 1)}) {
    EXPECT_EQ(result, nullptr);
  }
}

TEST_F(Service, StopEndsARunningTaskWhichIsReadOnceFinishedAndThenRetired) {
  LogProbe log;
  manager.Hold(true);
  ASSERT_EQ(Take(service.wipeFile("a", 0)).json, TaskJson(1));
  ASSERT_EQ(Take(service.wipeDisk(0, 16)).json, TaskJson(2));
  ASSERT_TRUE(manager.WaitForCalls(2));
  // The two tasks' threads may begin in either order.
  const std::vector<RecordingManager::Call> calls = manager.Calls();
  IProgresMsg* const firstHolder = calls[calls[0].text == "WipeFile a 0" ? 0 : 1].progress;
  EXPECT_NE(calls[0].progress, calls[1].progress);
  EXPECT_NE(ReadUntil(1, "\"msg_status\":2").json.find("\"msg_status\":2"), std::string::npos);

  const Answer stopped = Take(service.stopWipe(1));
  EXPECT_TRUE(stopped.success);
  EXPECT_EQ(stopped.error, "");
  EXPECT_EQ(log.Count("DataWipeServiceManager::stopWipe:202 entry: 1"), 1);
  // The stop's own answer may already show the finished state, which
  // retires the task; otherwise a later reading shows it.
  const bool stopShowsEnd = stopped.json.find("\"msg_status\":3") != std::string::npos;
  const Answer finished = stopShowsEnd ? stopped : ReadUntil(1, "\"msg_status\":3");
  const std::string info = __GetErrorInterPreter()->GetErrorString(RecordingManager::kStopCode);
  EXPECT_EQ(finished.json,
            "{\"msg_type\":33,\"msg_status\":3,\"sub_step_current\":1,\"sub_step_total\":1,"
            "\"steps_current\":1,\"steps_total\":1,\"msg_errorCode\":55586843,\"msg_info\":\"" +
                info.substr(0, 131) + "\"}");
  // Retired, never issued, and the retired holders' own -1: none is found.
  for (std::int64_t id : {std::int64_t{1}, std::int64_t{0}, std::int64_t{-1}, std::int64_t{9}}) {
    for (bool stop : {false, true}) {
      const Answer answer = Take(stop ? service.stopWipe(id) : service.getProgressMsg(id));
      EXPECT_EQ(answer.error + " " + answer.json, std::string(kNotFound) + " \"\"") << id;
      EXPECT_FALSE(answer.success);
    }
  }

  // Task 2 ran on; once finished it stays readable until stopWipe renders it.
  manager.Hold(false);
  ASSERT_TRUE(manager.WaitForReturns(2));
  const Answer last = Take(service.stopWipe(2));
  EXPECT_TRUE(last.success);
  EXPECT_NE(last.json.find("\"msg_type\":32,\"msg_status\":3,"), std::string::npos) << last.json;
  EXPECT_EQ(Take(service.stopWipe(2)).error, kNotFound);

  // The next task takes the first retired holder, reset to the started state.
  ASSERT_EQ(Take(service.wipeFolder("b", 1)).json, TaskJson(3));
  ASSERT_TRUE(manager.WaitForCalls(3));
  EXPECT_EQ(manager.Calls()[2].progress, firstHolder);
}

// Tasks in batches of eight, so that retired holders and idle workers are
// reused while others run: a long run leaves no handle or thread behind, and
// Release stops the tasks still running and waits for their threads.
TEST(ServiceTasks, TenThousandTasksLeaveNothingBehindAndReleaseEndsTheRest) {
  RecordingManager manager;
  auto* owned = new DataWipeServiceManager(&manager, kDevices);
  DataWipeServiceManager& service = *owned;
  std::int64_t started = 0;
  auto runTasks = [&](int count) {
    for (int batch = 0; batch < count / 8; ++batch) {
      for (int i = 0; i < 8; ++i) ASSERT_TRUE(Take(service.wipeFile("f", 0)).success);
      started += 8;
      ASSERT_TRUE(manager.WaitForReturns(static_cast<int>(started)));
      for (std::int64_t id = started - 7; id <= started; ++id) {
        ASSERT_TRUE(Take(service.getProgressMsg(id)).success);
      }
    }
  };
  runTasks(100);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const long before = ProcessResourceCount();
  runTasks(10000);
  // One leaked handle, thread or stack per task would add 10,000 or more; the
  // allocators (a sanitizer's above all) may map a few regions of their own.
  const long slack = 1000;
  long after = ProcessResourceCount();
  for (int i = 0; i < 100 && after > before + slack; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    after = ProcessResourceCount();
  }
  EXPECT_LE(after, before + slack) << "before " << before;

  manager.Hold(true);
  for (int i = 0; i < 3; ++i) Take(service.wipeVolumeFreeSpace(0, i, 1));
  EXPECT_TRUE(manager.WaitForCalls(static_cast<std::size_t>(started) + 3));
  owned->Release();
  EXPECT_EQ(manager.Returned(), started + 3);
}

// Sixteen real file and folder wipes at once; four host threads read every
// task and the algorithm list, each stops half of its share, then reads its
// share until retired (run under ThreadSanitizer). Every task shows its
// finished state exactly once, to whichever reader comes first; a finished
// wipe deleted its target, a stopped one kept it; every list is whole.
TEST(ServiceThreads, SixteenWipesReadAndStoppedByFourHostThreads) {
  TempDir dir;
  DataWipeServiceManager service(__getDataWiperManager(), kDevices);
  std::vector<fs::path> targets;
  for (int i = 0; i < 16; ++i) {
    targets.push_back(dir / ("target" + std::to_string(i)));
    const bool file = i % 2 == 0;
    WriteBytes(file ? targets.back() : targets.back() / "inner" / "a.bin",
               PatternBytes(std::size_t{2} << 20));
    const std::string path = ModulePath(targets.back());
    const Answer answer =
        Take(file ? service.wipeFile(path.c_str(), 0) : service.wipeFolder(path.c_str(), 1));
    ASSERT_EQ(answer.json, TaskJson(i + 1));
  }
  std::mutex lock;
  std::map<std::int64_t, std::vector<std::string>> finished;
  auto read = [&](std::int64_t id, ICGIResult* result) {
    const Answer answer = Take(result);
    if (answer.json.find("\"msg_status\":3") != std::string::npos) {
      std::lock_guard<std::mutex> guard(lock);
      finished[id].push_back(answer.json);
    }
    return answer;
  };
  std::vector<std::thread> hosts;
  std::atomic<int> wrongLists{0};
  for (int host = 0; host < 4; ++host) {
    hosts.emplace_back([&, host] {
      for (std::int64_t id = 1; id <= 16; ++id) read(id, service.getProgressMsg(id));
      for (int i = 0; i < 200; ++i)
        wrongLists += Take(service.getWiperAlgorithms(0)).json != VTX_CATALOGUE_JSON;
      for (std::int64_t id = host + 1; id <= 16; id += 8) read(id, service.stopWipe(id));
      for (std::int64_t id = host + 1; id <= 16; id += 4) {
        for (int i = 0; i < 20000 && read(id, service.getProgressMsg(id)).error != kNotFound; ++i) {
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
      }
    });
  }
  for (std::thread& host : hosts) host.join();
  EXPECT_EQ(wrongLists, 0);
  for (std::int64_t id = 1; id <= 16; ++id) {
    ASSERT_EQ(finished[id].size(), 1u) << id;
    const bool wiped = finished[id][0].find("\"msg_type\":32,") != std::string::npos;
    EXPECT_EQ(fs::exists(targets[id - 1]), !wiped) << finished[id][0];
  }
}

}  // namespace
