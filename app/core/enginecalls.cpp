#include "enginecalls.h"

#include <memory>

namespace core {

session::EngineCalls BindEngineCalls(LibraryBinder& binder, const std::string& path) {
  // Each function is bound by name when it is first called, never before.
  auto init = std::make_shared<LibraryFunction<int()>>(binder, path, "DL_Init");
  auto uninit = std::make_shared<LibraryFunction<void()>>(binder, path, "DL_UnInit");
  auto create = std::make_shared<LibraryFunction<void*(const void*)>>(binder, path, "DL_CreateTask");
  auto start = std::make_shared<LibraryFunction<void(void*)>>(binder, path, "DL_StartTask");
  auto query = std::make_shared<LibraryFunction<int(void*, void*)>>(binder, path, "DL_QueryTaskInfoEx");
  auto stop = std::make_shared<LibraryFunction<void(void*)>>(binder, path, "DL_StopTask");
  auto remove = std::make_shared<LibraryFunction<void(void*)>>(binder, path, "DL_DeleteTask");
  auto temp = std::make_shared<LibraryFunction<void(const void*)>>(binder, path, "DL_DelTempFile");
  auto limit = std::make_shared<LibraryFunction<void(long long)>>(binder, path, "DL_SetDownloadLimit");
  return session::EngineCalls{
      [init] { return (*init)(); },
      [uninit] { (*uninit)(); },
      [create](const void* record) { return (*create)(record); },
      [start](void* task) { (*start)(task); },
      [query](void* task, void* record) { return (*query)(task, record); },
      [stop](void* task) { (*stop)(task); },
      [remove](void* task) { (*remove)(task); },
      [temp](const void* record) { (*temp)(record); },
      [limit](long long bytesPerSecond) { (*limit)(bytesPerSecond); },
  };
}

}  // namespace core
