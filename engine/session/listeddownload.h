#pragma once
// One row of the download list: a download of this run or an earlier one, what it is, how far
// it got and how it ended. The list file keeps every field above "this run only".
#include <cstdint>
#include <string>
#include <vector>

#include "downloadorder.h"
#include "words.h"

namespace session {

using records::CheckVerdict;
using records::ListState;

// One progress answer of the engine for a row's task.
struct Answer {
  int stat = 0, failCode = 0;
  std::u16string name;  // the engine's own name for the file
  std::int32_t speed = 0;
  std::int64_t done = 0, total = 0;
  float percent = 0;
};

struct ListedDownload {
  int id = 0;
  common::DownloadOrder order;  // its sources, folder, name, kind, and the torrent beside it
  ListState state = ListState::kWaiting;
  int failCode = 0;     // the engine's, when it failed there
  std::string failure;  // the words of a failure that has no engine code (the swarm's)
  CheckVerdict verdict = CheckVerdict::kNone;
  std::string verdictText;  // "校验失败：3 块损坏", "无法校验：..."
  std::int64_t total = 0, done = 0;
  bool alreadyThere = false;  // the file was there when it was asked for, and was not fetched again

  // this run only
  size_t source = 0;         // the source its task fetches from
  void* task = nullptr;      // the engine's handle while it has one
  int speed = 0;             // bytes per second
  int peers = 0, seeds = 0;  // a swarm row's
  std::string note;          // what an action on it could not do ("无法打开目录：...")
  std::string checkDetail;   // the last check's bad pieces
  int stat = 0;              // the engine's last state for its task

  bool Swarm() const { return order.kind == common::DownloadKind::kContent; }
  const std::string& url() const { return source < order.sources.size() ? order.sources[source] : order.address(); }
};

// The words of a row's state: 等待, 下载中, 已暂停, 完成, 失败：reason, or the check's verdict.
std::string StateWords(const ListedDownload& d);
// Why a failed row failed, without "下载失败：" ("网络连接失败"); empty for any other row.
std::string FailureWords(const ListedDownload& d);

// The running rows together: how many, their bytes and their speed. A row whose size is not
// known yet counts in `running` and `speed` only.
struct RunningTotals {
  int running = 0;
  std::int64_t done = 0, total = 0, speed = 0;
};
RunningTotals TotalsOf(const std::vector<ListedDownload>& rows);

}  // namespace session
