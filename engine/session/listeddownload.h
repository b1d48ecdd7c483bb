#pragma once
// One row of the download list: a download of this run or an earlier one, what it is, how
// far it got and how it ended. The list file keeps every field above "this run only".
#include <cstdint>
#include <string>

namespace session {

enum class ListState { kWaiting, kRunning, kPaused, kCompleted, kFailed };
enum class CheckVerdict { kNone, kChecking, kPassed, kFailed };

struct ListedDownload {
  int id = 0;
  std::string url, folder, name;  // UTF-8; the folder is absolute, the name one path component
  std::string torrentLink;        // a release archive's torrent, checked against once complete
  bool swarm = false;             // the content of a torrent, through the swarm
  std::string torrentFile;        // a swarm row's torrent: a file name in `folder`
  ListState state = ListState::kWaiting;
  int failCode = 0;     // the engine's, when it failed there
  std::string failure;  // the words of a failure that has no engine code (the swarm's)
  CheckVerdict verdict = CheckVerdict::kNone;
  std::string verdictText;  // "校验失败：3 块损坏", "无法校验：..."
  std::int64_t total = 0, done = 0;

  // this run only
  void* task = nullptr;      // the engine's handle while it has one
  int speed = 0;             // bytes per second
  int peers = 0, seeds = 0;  // a swarm row's
};

// The words of a row's state: 等待, 下载中, 已暂停, 完成, 失败：reason, or the check's verdict.
std::string StateWords(const ListedDownload& d);

}  // namespace session
