// The exported C interface over the engine. The engine is the library's one piece of
// state: started by the first DL_Init, ended by the first DL_UnInit.
#include "dlcore.h"

#include <memory>
#include <mutex>

#include "engine.h"
#include "recordlayout.h"

namespace {

std::mutex gEngineMutex;
std::unique_ptr<Engine> gEngine;

Engine* TheEngine() {
  std::lock_guard lock(gEngineMutex);
  return gEngine.get();
}

std::uintptr_t Id(DLTask task) { return reinterpret_cast<std::uintptr_t>(task); }

}  // namespace

extern "C" {

int DL_Init(void) {
  std::lock_guard lock(gEngineMutex);
  if (!gEngine) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    gEngine = std::make_unique<Engine>();
  }
  return 1;
}

void DL_UnInit(void) {
  std::unique_ptr<Engine> engine;
  {
    std::lock_guard lock(gEngineMutex);
    engine = std::move(gEngine);
  }
  engine.reset();  // stops and flushes every task
}

DLTask DL_CreateTask(const void* createParams) {
  if (!createParams) return nullptr;
  DL_Init();  // a task asked for before DL_Init still gets an engine
  return reinterpret_cast<DLTask>(TheEngine()->Create(SpecFromRecord(static_cast<const std::uint8_t*>(createParams))));
}

void DL_StartTask(DLTask task) {
  if (Engine* e = TheEngine()) e->Start(Id(task));
}

int DL_QueryTaskInfoEx(DLTask task, void* progressInfo) {
  Engine* e = TheEngine();
  Progress p;
  if (!e || !progressInfo || !e->Query(Id(task), p)) return 0;
  FillProgressRecord(p, static_cast<std::uint8_t*>(progressInfo));
  return 1;
}

void DL_StopTask(DLTask task) {
  if (Engine* e = TheEngine()) e->Stop(Id(task));
}

void DL_DeleteTask(DLTask task) {
  if (Engine* e = TheEngine()) e->Delete(Id(task));
}

void DL_DelTempFile(const void* createParams) {
  if (!createParams) return;
  DL_Init();
  TheEngine()->DeleteTempFiles(SpecFromRecord(static_cast<const std::uint8_t*>(createParams)));
}

}  // extern "C"
