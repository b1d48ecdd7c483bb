#include "repair.h"

#include <curl/curl.h>

#include <libtorrent/hasher.hpp>
#include <memory>

#include "archivetorrent.h"
#include "headerline.h"
#include "platform/fileio.h"
#include "url.h"

namespace torrent {

namespace {

// A piece is held in memory while it is checked; torrents of larger pieces are refused.
constexpr std::int64_t kMaxPieceBytes = std::int64_t(32) << 20;

// One piece's bytes asked for by range. The answer is taken only as a 206 for exactly these
// bytes; anything else (a 200 with the whole file, a captive page, more bytes than asked) is
// cut off at its first body byte, so a server that ignores ranges costs one buffer, not the file.
struct RangeFetch {
  std::int64_t begin = 0, end = 0;  // end excluded
  std::int64_t total = 0;           // the archive's size
  const std::function<bool()>* keepGoing = nullptr;
  long status = 0;
  bool rangeMatches = false;
  std::string body;

  static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
    auto& f = *static_cast<RangeFetch*>(self);
    const std::string_view line = common::WithoutLineEnd(std::string_view(data, size * count));
    if (const std::optional<long> status = common::StatusOfLine(line)) {
      f.status = *status;  // a new answer (after a redirect): its own range counts
      f.rangeMatches = false;
    } else if (const std::optional<common::HeaderField> field = common::ReadHeaderField(line);
               field && field->name == "content-range") {
      const std::optional<common::ContentRange> r = common::ParseContentRange(field->value);
      f.rangeMatches = r && r->first == f.begin && r->last == f.end - 1 && (r->total == -1 || r->total == f.total);
    }
    return size * count;
  }
  static size_t OnBody(char* data, size_t size, size_t count, void* self) {
    auto& f = *static_cast<RangeFetch*>(self);
    const size_t n = size * count;
    if (f.status != 206 || !f.rangeMatches || f.body.size() + n > size_t(f.end - f.begin)) return 0;
    f.body.append(data, n);
    return n;
  }
  static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto& f = *static_cast<RangeFetch*>(self);
    return f.keepGoing && *f.keepGoing && !(*f.keepGoing)() ? 1 : 0;
  }
};

// The piece's bytes, or nothing with `failure` said (UTF-8).
std::optional<std::string> FetchRange(const std::string& address, RangeFetch& f, std::string& failure) {
  const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) {
    failure = "无法发出请求";
    return std::nullopt;
  }
  CURL* e = curl.get();
  const std::string range = std::to_string(f.begin) + "-" + std::to_string(f.end - 1);
  const bool secure = address.starts_with("https://");
  curl_easy_setopt(e, CURLOPT_URL, address.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, 20L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 512L);  // a stalled server ends the wait, a slow line does not
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, 60L);
  curl_easy_setopt(e, CURLOPT_RANGE, range.c_str());
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &RangeFetch::OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &f);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &RangeFetch::OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &f);
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &RangeFetch::OnProgress);
  curl_easy_setopt(e, CURLOPT_XFERINFODATA, &f);
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
  const CURLcode code = curl_easy_perform(e);
  if (code == CURLE_ABORTED_BY_CALLBACK) {
    failure = "已停止";
  } else if (f.status != 0 && f.status != 206) {
    failure = "服务器返回 " + std::to_string(f.status) + "，不是所要的字节";
  } else if (f.status == 206 && !f.rangeMatches) {
    failure = "服务器给出的不是所要的字节范围";
  } else if (code != CURLE_OK) {
    failure = std::string("请求失败（") + curl_easy_strerror(code) + "）";
  } else if (f.body.size() != size_t(f.end - f.begin)) {
    failure = "服务器给出的字节不全";
  } else {
    return std::move(f.body);
  }
  return std::nullopt;
}

bool WriteAllAt(platform::FileHandle fd, const std::string& bytes, std::int64_t offset) {
  size_t done = 0;
  while (done < bytes.size()) {
    const std::int64_t n =
        platform::WriteSome(fd, bytes.data() + done, bytes.size() - done, offset + std::int64_t(done));
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

// Fetches, checks and writes each bad piece; stops at the first one that cannot be repaired.
void RepairPieces(const std::string& archivePath, const lt::torrent_info& info, const std::string& address,
                  const std::function<bool(const RepairProgress&)>& progress, RepairResult& r) {
  std::int64_t wanted = 0;
  for (const BadPiece& bad : r.before.bad) wanted += bad.end - bad.begin;
  const platform::FileHandle fd = platform::OpenFile(archivePath, platform::OpenMode::kReadWrite);
  if (fd == platform::kNoFile) {
    r.failure = "无法写入文件（" + std::string(platform::FaultWords(platform::LastFault())) + "）";
    return;
  }
  for (const BadPiece& bad : r.before.bad) {
    RangeFetch f{.begin = bad.begin, .end = bad.end, .total = r.before.size, .keepGoing = nullptr, .body = {}};
    const std::function<bool()> keepGoing = [&] {
      const std::int64_t done = r.fetched + std::int64_t(f.body.size());
      return !progress || progress({RepairProgress::Stage::kFetching, done, wanted});
    };
    f.keepGoing = &keepGoing;
    std::string why;
    const std::optional<std::string> bytes = FetchRange(address, f, why);
    r.fetched += std::int64_t(bytes ? bytes->size() : f.body.size());
    if (!bytes) {
      r.failure = "第 " + std::to_string(bad.index) + " 块未能取回：" + why;
      break;
    }
    if (lt::hasher(bytes->data(), int(bytes->size())).final() != info.hash_for_piece(lt::piece_index_t(bad.index))) {
      r.failure = "服务器给出的第 " + std::to_string(bad.index) + " 块与种子不符，未写入";
      break;
    }
    if (!WriteAllAt(fd, *bytes, bad.begin)) {
      r.failure = "写入文件失败（第 " + std::to_string(bad.index) + " 块）";
      break;
    }
    ++r.repaired;
  }
  if (!platform::CloseFile(fd) && r.failure.empty()) r.failure = "写入文件失败";
}

}  // namespace

RepairResult RepairArchive(const std::string& archivePath, std::string_view torrentBytes, const std::string& address,
                           const std::function<bool(const RepairProgress&)>& progress) {
  RepairResult r;
  const std::unique_ptr<lt::torrent_info> info = ArchiveTorrent(torrentBytes, r.failure);
  if (!info) {
    r.before.failure = r.failure;
    r.before.torrentAtFault = true;
    return r;
  }
  const std::int64_t size = info->total_size();
  const auto hashed = [&](RepairProgress::Stage stage) {
    return [&, stage](std::int64_t done) { return !progress || progress({stage, done, size}); };
  };
  r.before = VerifyArchive(archivePath, torrentBytes, hashed(RepairProgress::Stage::kChecking));
  if (!r.before.checked) {
    r.failure = r.before.failure;
    return r;
  }
  if (r.before.bad.empty()) return r;
  if (info->piece_length() > kMaxPieceBytes) {
    r.failure = "种子的块太大（" + std::to_string(info->piece_length()) + " 字节），无法逐块修复";
    return r;
  }
  RepairPieces(archivePath, *info, address, progress, r);
  if (r.repaired > 0) r.after = VerifyArchive(archivePath, torrentBytes, hashed(RepairProgress::Stage::kCheckingAgain));
  return r;
}

std::optional<std::string> WebSeedOf(std::string_view torrentBytes) {
  std::string failure;
  const std::unique_ptr<lt::torrent_info> info = ArchiveTorrent(torrentBytes, failure);
  if (!info) return std::nullopt;
  for (const lt::web_seed_entry& seed : info->web_seeds()) {
    if (seed.type != lt::web_seed_entry::url_seed) continue;
    if (!seed.url.starts_with("http://") && !seed.url.starts_with("https://")) continue;
    if (!seed.url.ends_with('/')) return seed.url;
    return seed.url + common::PercentEncoded(info->files().file_name(lt::file_index_t(0)).to_string(), "%?#");
  }
  return std::nullopt;
}

}  // namespace torrent
