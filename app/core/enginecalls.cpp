#include "enginecalls.h"

#include <algorithm>
#include <climits>
#include <memory>

#include "platform/fileio.h"
#include "repair.h"
#include "swarm.h"
#include "verify.h"
#include "words.h"

namespace core {

namespace {

session::SwarmOutcome FetchContent(const std::string& torrentPath, const std::string& folder,
                                   const std::atomic<std::int64_t>& limit,
                                   const std::function<void(const session::SwarmFigures&)>& show,
                                   const std::function<bool()>& stop) {
  using End = session::SwarmOutcome::End;
  const std::optional<std::string> bytes = torrent::ReadTorrentFile(torrentPath);
  if (!bytes) return {End::kFailed, "种子文件无法读取：" + torrentPath};
  torrent::SwarmOptions options;
  options.folder = folder;
  options.downloadRate = [&limit] { return int(std::min<std::int64_t>(limit.load(), INT_MAX)); };
  const torrent::SwarmResult r = torrent::DownloadContent(
      *bytes, options,
      [&show](const torrent::SwarmStatus& s) {
        if (s.total > 0)
          show({std::int64_t(double(s.progress) * double(s.total)), s.total, s.downloadRate, s.peers, s.seeds});
      },
      stop);
  return {r.end == torrent::SwarmEnd::kComplete      ? End::kComplete
          : r.end == torrent::SwarmEnd::kInterrupted ? End::kInterrupted
                                                     : End::kFailed,
          r.failure};
}

// The bad pieces' byte ranges, the first few of them.
std::string BadPieceRanges(const torrent::Verification& v) {
  constexpr size_t kShown = 5;
  std::string text;
  for (size_t i = 0; i < v.bad.size() && i < kShown; ++i)
    text += (i ? "；" : "") + std::string("坏块 ") + std::to_string(v.bad[i].index) + "：字节 " +
            std::to_string(v.bad[i].begin) + "-" + std::to_string(v.bad[i].end - 1);
  if (v.bad.size() > kShown) text += "；另有 " + std::to_string(v.bad.size() - kShown) + " 块";
  return text;
}

session::CheckOutcome Check(const std::string& archive, const std::string& torrentLink,
                            const std::function<void(const std::string&)>& show, const std::function<bool()>& stop) {
  // The check reads a file of the torrent's size: its size now gives the share read.
  const std::optional<platform::FileFacts> facts = platform::FactsOfPath(archive);
  const std::int64_t size = facts ? facts->size : 0;
  int shown = -1;
  const torrent::Verification v = torrent::VerifyWithTorrentFrom(
      archive, torrentLink, [&stop] { return !stop(); },
      [&](std::int64_t done) {
        const int percent = size > 0 ? int(std::min<std::int64_t>(100, done * 100 / size)) : 0;
        if (percent != shown) show("校验中 " + std::to_string(shown = percent) + "%");
      });
  if (v.Passed()) return {true, records::VerdictWord(records::CheckVerdict::kPassed), {}};
  if (!v.checked) return {false, records::CannotCheckWords(v.failure), {}};
  return {false, records::CheckFailedWords(v.bad.size()), BadPieceRanges(v)};
}

// How far a repair got, for the list: "修复中：校验 40%", "修复中：取回 3 块中的 35%".
std::string RepairStage(const torrent::RepairProgress& p) {
  using Stage = torrent::RepairProgress::Stage;
  const int percent = p.total > 0 ? int(std::min<std::int64_t>(p.done * 100 / p.total, 100)) : 0;
  const char* what = p.stage == Stage::kChecking ? "校验" : p.stage == Stage::kFetching ? "取回坏块" : "再次校验";
  return std::string("修复中：") + what + " " + std::to_string(percent) + "%";
}

session::CheckOutcome Repair(const std::string& archive, const std::string& torrentLink, const std::string& address,
                             const std::function<void(const std::string&)>& show, const std::function<bool()>& stop) {
  std::string status;
  const std::optional<std::string> bytes = torrent::FetchTorrent(
      torrentLink, [&stop] { return !stop(); }, &status);
  if (!bytes) return {false, records::CannotCheckWords(stop() ? "已停止" : "种子下载失败：" + status), {}};
  std::string shown;
  const torrent::RepairResult r =
      torrent::RepairArchive(archive, *bytes, address, [&](const torrent::RepairProgress& p) {
        if (std::string stage = RepairStage(p); stage != shown) show(shown = std::move(stage));
        return !stop();
      });
  if (!r.before.checked) return {false, records::CannotCheckWords(r.failure), {}};
  if (r.Passed() && r.repaired == 0) return {true, records::VerdictWord(records::CheckVerdict::kPassed), {}};
  if (r.Passed()) {
    return {true,
            "修复完成（取回 " + std::to_string(r.repaired) + " 块，" + std::to_string(r.fetched) + " 字节），校验通过",
            {}};
  }
  const torrent::Verification& left = r.after.checked ? r.after : r.before;
  return {false, records::CheckFailedWords(left.bad.size()) + "（修复未完成：" + r.failure + "）",
          BadPieceRanges(left)};
}

}  // namespace

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

session::JobCalls TorrentJobCalls() {
  session::JobCalls calls;
  calls.fetchContent = FetchContent;
  calls.discardContent = [](const std::string& torrentPath, const std::string& folder) {
    if (auto bytes = torrent::ReadTorrentFile(torrentPath)) torrent::DiscardContent(*bytes, folder);
  };
  calls.contentName = [](const std::string& torrentPath) -> std::optional<std::string> {
    const std::optional<std::string> bytes = torrent::ReadTorrentFile(torrentPath);
    return bytes ? torrent::ContentName(*bytes) : std::nullopt;
  };
  calls.check = Check;
  calls.repair = Repair;
  return calls;
}

}  // namespace core
