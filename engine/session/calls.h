#pragma once
#include <functional>

namespace session {

// The engine library's functions. The program binds them at their first call; tests put
// doubles in.
struct EngineCalls {
  std::function<int()> init;
  std::function<void()> uninit;
  std::function<void*(const void*)> createTask;
  std::function<void(void*)> startTask;
  std::function<int(void*, void*)> queryTaskInfoEx;
  std::function<void(void*)> stopTask;
  std::function<void(void*)> deleteTask;
  std::function<void(const void*)> delTempFile;
  std::function<void(long long)> setDownloadLimit;  // bytes per second for all downloads; 0: none
};

}  // namespace session
