// The exported C interface over the engine. The engine is the library's one piece of
// state: started by DL_Init (or the first task), ended by DL_UnInit. After DL_UnInit every
// call does nothing and every handle is unknown until DL_Init starts a new engine, whose
// handles never repeat an old one. A call that races DL_UnInit on another thread holds the
// engine until it returns, so DL_UnInit waits for it and never pulls the engine from under it.
#include "dlcore.h"

#include <memory>
#include <mutex>
#include <shared_mutex>

#include "engine.h"
#include "recordlayout.h"

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

// Runs `work` with the engine while it lives; `otherwise` when there is none.
template <typename Work, typename Result>
Result WithEngine(Work work, Result otherwise) {
  std::shared_lock lock(gEngineMutex);
  return gEngine ? work(*gEngine) : otherwise;
}

// A task asked for before DL_Init still gets an engine, but not one after DL_UnInit.
void StartOnFirstUse() {
  std::unique_lock lock(gEngineMutex);
  if (!gEngine && !gEnded) StartEngine();
}

}  // namespace

extern "C" {

int DL_Init(void) {
  std::unique_lock lock(gEngineMutex);
  if (!gEngine) StartEngine();
  gEnded = false;
  return 1;
}

void DL_UnInit(void) {
  std::unique_ptr<Engine> engine;
  {
    std::unique_lock lock(gEngineMutex);
    engine = std::move(gEngine);
    if (engine) gNextHandle = engine->NextId();
    gEnded = true;
  }
  engine.reset();  // stops and flushes every task
}

DLTask DL_CreateTask(const void* createParams) {
  if (!createParams) return nullptr;
  StartOnFirstUse();
  const TaskOrder order = OrderFromRecord(static_cast<const std::uint8_t*>(createParams));
  return reinterpret_cast<DLTask>(WithEngine([&](Engine& e) { return e.Create(order); }, std::uintptr_t(0)));
}

void DL_StartTask(DLTask task) {
  WithEngine([&](Engine& e) { return e.Start(Id(task)), 0; }, 0);
}

int DL_QueryTaskInfoEx(DLTask task, void* progressInfo) {
  if (!progressInfo) return 0;
  Progress p;
  if (!WithEngine([&](Engine& e) { return e.Query(Id(task), p); }, false)) return 0;
  FillProgressRecord(p, static_cast<std::uint8_t*>(progressInfo));
  return 1;
}

void DL_StopTask(DLTask task) {
  WithEngine([&](Engine& e) { return e.Stop(Id(task)), 0; }, 0);
}

void DL_DeleteTask(DLTask task) {
  WithEngine([&](Engine& e) { return e.Delete(Id(task)), 0; }, 0);
}

void DL_DelTempFile(const void* createParams) {
  if (!createParams) return;
  StartOnFirstUse();
  const TaskOrder order = OrderFromRecord(static_cast<const std::uint8_t*>(createParams));
  WithEngine([&](Engine& e) { return e.DeleteTempFiles(order), 0; }, 0);
}

void DL_SetDownloadLimit(long long bytesPerSecond) {
  StartOnFirstUse();
  WithEngine([&](Engine& e) { return e.SetDownloadLimit(bytesPerSecond), 0; }, 0);
}

}  // extern "C"
