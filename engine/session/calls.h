#pragma once
// What the download list calls but does not hold: the engine library's functions, and the work
// it hands to threads of its own (a torrent's content through the swarm, an archive checked
// against its torrent), which the torrent library above this one does. The program binds them;
// tests put doubles in.
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace session {

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

// How far a swarm job got, as it runs.
struct SwarmFigures {
  std::int64_t done = 0, total = 0;
  int speed = 0, peers = 0, seeds = 0;
};

// How a swarm job ended.
struct SwarmOutcome {
  enum class End { kComplete, kFailed, kInterrupted } end = End::kFailed;
  std::string failure;  // UTF-8, for the user
};

// What an archive's check found.
struct CheckOutcome {
  bool passed = false;
  std::string words;   // "校验通过", "校验失败：3 块损坏", "无法校验：..."
  std::string detail;  // the bad pieces' byte ranges, for the hint ("坏块 6：字节 98304-114687 ...")
};

struct JobCalls {
  // The content of the torrent file `torrentPath` into `folder`, with the download server as
  // its web seed; `limit` (bytes a second for all downloads, 0: none) may change while it
  // runs; `show` hears its figures; `stop` is asked often and ends it with its resume data.
  std::function<SwarmOutcome(const std::string& torrentPath, const std::string& folder,
                             const std::atomic<std::int64_t>& limit,
                             const std::function<void(const SwarmFigures&)>& show, const std::function<bool()>& stop)>
      fetchContent;
  // Deletes what an unfinished content of the torrent left in `folder`.
  std::function<void(const std::string& torrentPath, const std::string& folder)> discardContent;
  // The content's name in a torrent file; nothing when it is no usable torrent.
  std::function<std::optional<std::string>(const std::string& torrentPath)> contentName;
  // The archive at `archivePath` against the torrent at the address `torrentLink`; `show` hears
  // how far it got, `stop` is asked while it works.
  std::function<CheckOutcome(const std::string& archivePath, const std::string& torrentLink,
                             const std::function<void(const std::string&)>& show, const std::function<bool()>& stop)>
      check;
  // The archive's bad pieces fetched again from `address` (where the archive itself is served),
  // each checked against the torrent at `torrentLink` before it is written; `show` hears how far
  // it got, `stop` is asked while it works.
  std::function<CheckOutcome(const std::string& archivePath, const std::string& torrentLink, const std::string& address,
                             const std::function<void(const std::string&)>& show, const std::function<bool()>& stop)>
      repair;
};

}  // namespace session
