#include "enginecalls.h"

#include <algorithm>
#include <climits>
#include <memory>

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

session::CheckOutcome Check(const std::string& archive, const std::string& torrentLink,
                            const std::function<bool()>& stop) {
  const torrent::Verification v = torrent::VerifyWithTorrentFrom(archive, torrentLink, [&stop] { return !stop(); });
  if (v.Passed()) return {true, records::VerdictWord(records::CheckVerdict::kPassed)};
  return {false, v.checked ? records::CheckFailedWords(v.bad.size()) : records::CannotCheckWords(v.failure)};
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
  return calls;
}

}  // namespace core
