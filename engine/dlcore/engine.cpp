#include "engine.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "files.h"
#include "partfile.h"
#include "pathtext.h"
#include "platform/loadedlibrary.h"
#include "recordcodec.h"
#include "safename.h"
#include "url.h"
#include "utf8.h"

namespace dlcore {

namespace {

bool HttpAddress(const std::string& url) {
  const std::optional<common::Url> parts = common::ParseUrl(url);
  return parts && (parts->scheme == "http" || parts->scheme == "https");
}

}  // namespace

TaskOrder OrderFromRecord(const std::uint8_t* record) {
  const records::CreateRequest asked = records::ReadCreateParams(record);
  TaskOrder order;
  order.disableAutoRename = asked.disableAutoRename;
  order.resume = asked.isResume;
  order.neverPage = asked.isOnlyOriginal;
  if (!asked.taskUrl || !asked.filename || !asked.savePath) {
    order.failure = DL_FAIL_BAD_TASK;
    return order;
  }
  order.url = common::PercentEncoded(common::Utf16ToUtf8(*asked.taskUrl));  // as it goes on the wire
  order.name = common::Utf16ToUtf8(*asked.filename);
  order.folder = common::Utf16ToUtf8(*asked.savePath);
  while (order.folder.size() > 1 && order.folder.back() == '/') order.folder.pop_back();
  if (!HttpAddress(order.url) || !common::IsSafeFileName(order.name) || order.folder.empty())
    order.failure = DL_FAIL_BAD_TASK;
  return order;
}

int ConnectionCapFromEnvironment(int otherwise) {
  const char* text = std::getenv(kConnectionsVariable);
  if (!text || !*text) return otherwise;
  char* end = nullptr;
  const long n = std::strtol(text, &end, 10);
  return *end == '\0' && n >= 1 && n <= 16 ? int(n) : otherwise;
}

std::string UserAgentFromIdDat(const std::string& idDat) {
  std::string id, version;
  std::istringstream lines(idDat);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    auto trim = [](std::string s) {
      s.erase(0, s.find_first_not_of(' '));
      s.erase(s.find_last_not_of(' ') + 1);
      return s;
    };
    const std::string key = trim(line.substr(0, eq)), value = trim(line.substr(eq + 1));
    if (key == "id") id = value;
    if (key == "ver") version = value;
  }
  if (id.empty() || version.empty()) return "Quorvel-dlcore";
  return "Quorvel-dlcore/" + version + " (partner " + id + ")";
}

// id.dat is 40 bytes; anything far larger is not it.
constexpr std::uintmax_t kMaxIdDatBytes = 64 << 10;

std::string ReadInstalledIdDat() {
  const std::string library = platform::FileHoldingCode(reinterpret_cast<const void*>(&ReadInstalledIdDat));
  if (library.empty()) return {};
  const std::string folder = common::FolderOf(library);
  if (auto beside = common::ReadFileUpTo(folder + "/.download/id.dat", kMaxIdDatBytes)) return *beside;
#ifdef QUORVEL_INSTALLED_ENGINEDIR
  // The packaged library: its partner file is data, in the distribution's data folder. The
  // library's path is as the loader found it ("/usr/bin/../lib/..." through the RUNPATH).
  std::error_code ec;
  if (std::filesystem::equivalent(common::PathOf(folder), QUORVEL_INSTALLED_ENGINEDIR, ec))
    return common::ReadFileUpTo(QUORVEL_INSTALLED_DATADIR "/id.dat", kMaxIdDatBytes).value_or(std::string());
#endif
  return {};
}

Engine::Engine(EngineOptions options, std::uintptr_t firstId)
    : options_(std::move(options)), multi_(curl_multi_init()), nextId_(firstId) {
  options_.userAgent = UserAgentFromIdDat(ReadInstalledIdDat());
  options_.maxConnections = ConnectionCapFromEnvironment(options_.maxConnections);
  const char* trace = std::getenv("QUORVEL_DLCORE_TRACE");
  options_.trace = trace && *trace == '1';
  // Separate TCP connections: several connections to one server must really be several.
  curl_multi_setopt(multi_, CURLMOPT_PIPELINING, long(CURLPIPE_NOTHING));
  curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, long(options_.maxConnections) * 4);
  thread_ = std::thread([this] { Run(); });
}

Engine::~Engine() {
  Call([this] {
    for (auto& [id, task] : tasks_) task->Stop();
  });
  {
    std::lock_guard lock(queueMutex_);
    quit_ = true;
  }
  curl_multi_wakeup(multi_);
  thread_.join();
  flusher_.WaitIdle();  // every state on the disk, before the handle its jobs wake goes
  tasks_.clear();
  curl_multi_cleanup(multi_);
}

void Engine::Call(std::function<void()> work) {
  bool finished = false;
  std::unique_lock lock(queueMutex_);
  queue_.push_back([&] {
    work();
    std::lock_guard done(queueMutex_);
    finished = true;
    done_.notify_all();
  });
  lock.unlock();
  curl_multi_wakeup(multi_);
  lock.lock();
  done_.wait(lock, [&] { return finished; });
}

void Engine::Post(std::function<void()> work) {
  {
    std::lock_guard lock(queueMutex_);
    queue_.push_back(std::move(work));
  }
  curl_multi_wakeup(multi_);
}

void Engine::Run() {
  auto lastTick = Clock::now();
  for (;;) {
    std::deque<std::function<void()>> work;
    {
      std::lock_guard lock(queueMutex_);
      if (quit_ && queue_.empty()) return;
      work.swap(queue_);
    }
    for (auto& w : work) w();
    int running = 0;
    curl_multi_perform(multi_, &running);
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
      if (msg->msg != CURLMSG_DONE) continue;
      CURL* easy = msg->easy_handle;
      CURLcode result = msg->data.result;
      for (auto& [id, task] : tasks_)
        if (task->Owns(easy)) {
          task->TransferDone(easy, result);
          Publish(id, *task);
          break;
        }
    }
    const auto now = Clock::now();
    if (now - lastTick >= std::chrono::milliseconds(50)) {
      for (auto& [id, task] : tasks_) {
        task->Tick(now);
        Publish(id, *task);
      }
      lastTick = now;
    }
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(ReleaseHeld(Clock::now()));
    curl_multi_poll(multi_, nullptr, 0, int(std::clamp<std::int64_t>(wait.count(), 1, 50)), nullptr);
  }
}

// Resumes the connections the speed limit held once it allows, and tells how long the loop
// may sleep: until the limit allows again when one is still held.
Clock::duration Engine::ReleaseHeld(Clock::time_point now) {
  constexpr Clock::duration kIdle = std::chrono::milliseconds(50);
  if (std::none_of(tasks_.begin(), tasks_.end(), [](auto& t) { return t.second->Holding(); })) return kIdle;
  if (const auto wait = limiter_.Wait(now); wait > Clock::duration::zero()) return wait;
  // Each turn starts with another task: the first one released takes what the bucket holds,
  // and a download must not starve another under one limit.
  bool held = false;
  auto first = tasks_.upper_bound(lastReleased_);
  if (first == tasks_.end()) first = tasks_.begin();
  lastReleased_ = first->first;
  for (auto it = first; it != tasks_.end(); ++it) held = it->second->ReleaseHeld() || held;
  for (auto it = tasks_.begin(); it != first; ++it) held = it->second->ReleaseHeld() || held;
  return held ? limiter_.Wait(Clock::now()) : kIdle;
}

void Engine::SetDownloadLimit(std::int64_t bytesPerSecond) {
  // Connections held by the old limit go on under the new one at the next turn of the loop;
  // each task fits its connections to the new limit at once.
  Call([&] {
    const auto now = Clock::now();
    limiter_.SetLimit(bytesPerSecond, now);
    for (auto& [id, task] : tasks_) task->LimitChanged(now);
  });
}

void Engine::Publish(std::uintptr_t id, const Task& task) {
  Progress p = task.Snapshot();
  std::lock_guard lock(snapshotMutex_);
  if (stopsAsked_.contains(id) && (p.stat == DL_STATE_RUNNING || p.stat == DL_STATE_REQUESTING))
    p.stat = DL_STATE_STOPPING;
  snapshots_[id] = std::move(p);
}

std::uintptr_t Engine::Create(TaskOrder order) {
  std::uintptr_t id = 0;
  Call([&] {
    const std::string part = PartFile(order.folder, order.name).PartPath();
    for (auto& [other, task] : tasks_)
      if (!order.failure && task->PartPath() == part && task->Snapshot().stat != DL_STATE_COMPLETE &&
          task->Snapshot().stat != DL_STATE_CANCELLED)
        order.failure = DL_FAIL_TARGET_BUSY;
    id = nextId_++;
    auto task = std::make_unique<Task>(multi_, flusher_, order, options_, &limiter_);
    task->OnProgress([this, id, t = task.get()] { Publish(id, *t); });
    Publish(id, *task);
    tasks_[id] = std::move(task);
  });
  return id;
}

void Engine::Start(std::uintptr_t id) {
  Call([&] {
    if (auto it = tasks_.find(id); it != tasks_.end()) {
      it->second->Start();
      Publish(id, *it->second);
    }
  });
}

void Engine::Stop(std::uintptr_t id) {
  {
    std::lock_guard lock(snapshotMutex_);
    if (auto it = snapshots_.find(id);
        it != snapshots_.end() && (it->second.stat == DL_STATE_RUNNING || it->second.stat == DL_STATE_REQUESTING))
      it->second.stat = DL_STATE_STOPPING;
    ++stopsAsked_[id];
  }
  // The caller does not wait for the data to reach the disk: the task reads "stopping" until
  // the engine thread has stopped it. Later calls queue behind it, so they see it stopped.
  Post([this, id] {
    {
      std::lock_guard lock(snapshotMutex_);
      if (auto asked = stopsAsked_.find(id); asked != stopsAsked_.end() && --asked->second == 0)
        stopsAsked_.erase(asked);
    }
    if (auto it = tasks_.find(id); it != tasks_.end()) {
      it->second->Stop();
      Publish(id, *it->second);
    }
  });
}

void Engine::Delete(std::uintptr_t id) {
  Call([&] {
    auto it = tasks_.find(id);
    if (it == tasks_.end()) return;
    it->second->Stop();
    Progress gone;
    gone.stat = DL_STATE_CANCELLED;
    gone.name = it->second->Snapshot().name;
    tasks_.erase(it);
    std::lock_guard lock(snapshotMutex_);
    snapshots_[id] = gone;
  });
}

void Engine::DeleteTempFiles(const TaskOrder& order) {
  // Only the folder and the name count here; the address may well be empty.
  if (!common::IsSafeFileName(order.name) || order.folder.empty()) return;
  Call([&] {
    flusher_.WaitIdle();  // a stopped task's last state is written before its files go
    PartFile files(order.folder, order.name);
    for (auto& [id, task] : tasks_)
      if (task->PartPath() == files.PartPath() && task->Snapshot().stat != DL_STATE_CANCELLED &&
          task->Snapshot().stat != DL_STATE_COMPLETE)
        return;                // a task still owns these files
    files.RemoveUnlessHeld();  // another process that downloads into them holds the lock
  });
}

std::uintptr_t Engine::NextId() {
  std::uintptr_t next = 0;
  Call([&] { next = nextId_; });
  return next;
}

bool Engine::Query(std::uintptr_t id, Progress& out) const {
  std::lock_guard lock(snapshotMutex_);
  auto it = snapshots_.find(id);
  if (it == snapshots_.end()) return false;
  out = it->second;
  return true;
}

}  // namespace dlcore
