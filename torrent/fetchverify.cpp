#include "request.h"
#include "verify.h"

namespace torrent {

namespace {

Verification Failed(std::string why) {
  Verification v;
  v.failure = std::move(why);
  return v;
}

}  // namespace

Verification VerifyWithTorrentFrom(const std::string& archivePath, const std::string& torrentAddress,
                                   const common::EventPump& keepGoing) {
  http::HttpRequest request;
  request.address = torrentAddress;
  const http::HttpResponse answer = http::FetchResponse(request, keepGoing);
  if (keepGoing && !keepGoing()) return Failed("stopped");
  if (answer.failure || !answer.statusText.starts_with("200")) {
    // The status text is code page 936 byte text; its numbers and ASCII are what matter here.
    return Failed("种子下载失败：" + answer.statusText.substr(0, 3));
  }
  return VerifyArchive(archivePath, answer.rawBody, [&](std::int64_t) { return !keepGoing || keepGoing(); });
}

}  // namespace torrent
