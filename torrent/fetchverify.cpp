#include "gbk.h"
#include "proxy.h"
#include "request.h"
#include "utf8.h"
#include "verify.h"

namespace torrent {

namespace {

Verification Failed(std::string why) {
  Verification v;
  v.failure = std::move(why);
  return v;
}

}  // namespace

std::optional<std::string> FetchTorrent(const std::string& address, const common::EventPump& keepGoing,
                                        std::string* statusText) {
  http::HttpRequest request;
  request.address = address;
  request.bodies = http::Bodies::kBytes;
  http::UseEnvironmentProxy(request);
  http::HttpResponse answer = http::FetchResponse(request, keepGoing);
  // The request engine's texts are code page 936; ours are UTF-8.
  if (statusText) *statusText = common::Utf16ToUtf8(text::gbk::Decode(answer.statusText));
  if (answer.failure || !answer.statusText.starts_with("200")) return std::nullopt;
  return std::move(answer.rawBody);
}

Verification VerifyWithTorrentFrom(const std::string& archivePath, const std::string& torrentAddress,
                                   const common::EventPump& keepGoing, const std::function<void(std::int64_t)>& read) {
  std::string status;
  const std::optional<std::string> bytes = FetchTorrent(torrentAddress, keepGoing, &status);
  if (keepGoing && !keepGoing()) return Failed("已停止");
  if (!bytes) return Failed("种子下载失败：" + status);
  return VerifyArchive(archivePath, *bytes, [&](std::int64_t done) {
    if (read) read(done);
    return !keepGoing || keepGoing();
  });
}

}  // namespace torrent
