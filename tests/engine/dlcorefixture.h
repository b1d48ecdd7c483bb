#pragma once
// The engine through its C interface: a fresh save folder and engine per test, a task made,
// started and waited for with every wait bounded.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "dlcore.h"
#include "recordlayout.h"
#include "taskrecord.h"

namespace dlcore_fixture {

namespace fs = std::filesystem;
using namespace records;
using std::chrono::milliseconds;

// The exit status of a forked child. A child forked while another thread of this process held
// the allocator's lock waits on it for ever: such a child is ended after a minute, and -1
// tells the caller to run it once more.
inline int WaitForChild(pid_t child) {
  int status = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return status;
}

class DlcoreTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("quorvel-dl-" + std::to_string(getpid()) + "-" +
                                           testing::UnitTest::GetInstance()->current_test_info()->name());
    root_ = folder_;
    fs::remove_all(folder_);
    // The engine starts with the first task, so that a child forked before that runs an
    // engine of its own.
    info_.Build();
  }
  void TearDown() override {
    DL_UnInit();
    fs::remove_all(root_);  // a test may have moved folder_ deeper
  }

  DLTask Create(const std::string& url, const std::string& name = "file.bin", bool replace = false, bool resume = true,
                bool onlyOriginal = false) {
    params_.Build(url, {}, {}, name, folder_.string(), onlyOriginal, replace, resume);
    DL_Init();  // after the first task's, does nothing
    return DL_CreateTask(params_.Address());
  }
  DLTask Download(const std::string& url, const std::string& name = "file.bin", bool replace = false) {
    DLTask t = Create(url, name, replace);
    DL_StartTask(t);
    return t;
  }
  // Polls until the task completes or fails (or `until` holds); the last state.
  int Wait(DLTask t, std::function<bool()> until = nullptr, milliseconds limit = milliseconds(20000)) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      if (DL_QueryTaskInfoEx(t, info_.Address())) {
        maxSources_ = std::max(maxSources_, info_.nSrcTotal());
        if (info_.stat() == DL_STATE_COMPLETE || info_.stat() == DL_STATE_CANCELLED || (until && until()))
          return info_.stat();
      }
      std::this_thread::sleep_for(milliseconds(20));
    }
    return -1;
  }

  // The started task runs until more than 1 MiB of it is on disk, then stops.
  void StopPastOneMiB(DLTask t) {
    ASSERT_EQ(Wait(t, [&] { return info_.nTotalDownload() > (1 << 20); }), DL_STATE_RUNNING);
    DL_StopTask(t);
    ASSERT_EQ(Wait(t, [&] { return info_.stat() == DL_STATE_STOPPED; }), DL_STATE_STOPPED);
  }

  fs::path folder_;
  fs::path root_;
  TaskCreateParams params_;
  TaskProgressInfo info_;
  int maxSources_ = 0;
};

}  // namespace dlcore_fixture
