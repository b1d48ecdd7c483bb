// The exported C interface over the engine: argument checks, the engine's lifetime, and a
// barrier that keeps every exception on this side (a call that throws answers as for an
// unknown handle).
//
// The engine is the library's one piece of state: started by DL_Init (or the first task),
// ended by DL_UnInit. After DL_UnInit every call does nothing and every handle is unknown
// until DL_Init starts a new engine, whose handles never repeat an old one. A call that races
// DL_UnInit on another thread holds the engine until it returns, so DL_UnInit waits for it and
// never pulls the engine from under it.
#include "dlcore.h"

#include <memory>
#include <mutex>
#include <shared_mutex>

#include "engine.h"
#include "recordcodec.h"

using namespace dlcore;

namespace {

std::shared_mutex gEngineMutex;
std::unique_ptr<Engine> gEngine;
bool gEnded = false;             // DL_UnInit ran and no DL_Init since
std::uintptr_t gNextHandle = 1;  // the first handle of the next engine

std::uintptr_t Id(DLTask task) { return reinterpret_cast<std::uintptr_t>(task); }

void StartEngine() {  // with the lock held for writing
  curl_global_init(CURL_GLOBAL_DEFAULT);
  gEngine = std::make_unique<Engine>(EngineOptions{}, gNextHandle);
}

// Runs `work` with the engine while it lives; `otherwise` when there is none or when `work`
// throws. Nothing crosses the C edge: an exception there (std::bad_alloc, std::system_error
// from a thread that cannot start) would end the caller's process.
template <typename Work, typename Result>
Result WithEngine(Work work, Result otherwise) noexcept {
  try {
    std::shared_lock lock(gEngineMutex);
    return gEngine ? work(*gEngine) : otherwise;
  } catch (...) {
    return otherwise;
  }
}

// A task asked for before DL_Init still gets an engine, but not one after DL_UnInit.
// False when there is none.
bool StartOnFirstUse() noexcept {
  try {
    std::unique_lock lock(gEngineMutex);
    if (!gEngine && !gEnded) StartEngine();
    return gEngine != nullptr;
  } catch (...) {
    return false;
  }
}

}  // namespace

extern "C" {

int DL_Init(void) {
  try {
    std::unique_lock lock(gEngineMutex);
    if (!gEngine) StartEngine();
    gEnded = false;
    return 1;
  } catch (...) {
    return 0;
  }
}

void DL_UnInit(void) {
  try {
    std::unique_ptr<Engine> engine;
    {
      std::unique_lock lock(gEngineMutex);
      engine = std::move(gEngine);
      if (engine) gNextHandle = engine->NextId();
      gEnded = true;
    }
    engine.reset();  // stops and flushes every task
  } catch (...) {}
}

DLTask DL_CreateTask(const void* createParams) {
  if (!createParams || !StartOnFirstUse()) return nullptr;
  const auto record = static_cast<const std::uint8_t*>(createParams);
  return reinterpret_cast<DLTask>(
      WithEngine([&](Engine& e) { return e.Create(OrderFromRecord(record)); }, std::uintptr_t(0)));
}

void DL_StartTask(DLTask task) {
  WithEngine([&](Engine& e) { return e.Start(Id(task)), 0; }, 0);
}

int DL_QueryTaskInfoEx(DLTask task, void* progressInfo) {
  if (!progressInfo) return 0;
  return WithEngine(
      [&](Engine& e) {
        Progress p;
        if (!e.Query(Id(task), p)) return 0;
        records::WriteProgressInfo(p, static_cast<std::uint8_t*>(progressInfo));
        return 1;
      },
      0);
}

void DL_StopTask(DLTask task) {
  WithEngine([&](Engine& e) { return e.Stop(Id(task)), 0; }, 0);
}

void DL_DeleteTask(DLTask task) {
  WithEngine([&](Engine& e) { return e.Delete(Id(task)), 0; }, 0);
}

void DL_DelTempFile(const void* createParams) {
  if (!createParams || !StartOnFirstUse()) return;
  const auto record = static_cast<const std::uint8_t*>(createParams);
  WithEngine([&](Engine& e) { return e.DeleteTempFiles(OrderFromRecord(record)), 0; }, 0);
}

void DL_SetDownloadLimit(long long bytesPerSecond) {
  if (!StartOnFirstUse()) return;
  WithEngine([&](Engine& e) { return e.SetDownloadLimit(bytesPerSecond), 0; }, 0);
}

}  // extern "C"
