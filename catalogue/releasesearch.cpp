#include "releasesearch.h"

#include "eventpump.h"
#include "gbk.h"
#include "proxy.h"
#include "releasepage.h"
#include "request.h"
#include "safename.h"
#include "sizeprobe.h"
#include "utf8.h"

namespace catalogue {

namespace {

std::string FromGbk(const std::string& text) { return common::Utf16ToUtf8(text::gbk::Decode(text)); }

}  // namespace

common::DownloadOrder DownloadOf(const ReleaseRow& row, bool torrent) {
  common::DownloadOrder order;
  order.sources = {torrent ? row.torrentLink : row.programLink};
  // The version came from a web page: it names a file inside the save folder, nothing else.
  order.name = common::SafeFileName(row.version + (torrent ? ".torrent" : ".zip"));
  order.kind = torrent ? common::DownloadKind::kReleaseTorrent : common::DownloadKind::kRelease;
  if (!torrent) order.torrent = row.torrentLink;
  return order;
}

ReleaseSearch SearchRelease(std::u16string_view deviceNumber, const Servers& servers, const common::EventPump& pump) {
  ReleaseSearch search;
  bool stopped = false;
  // Notes a stop the pump asks for while the portal is asked.
  const common::EventPump watched = [&] {
    if (pump && !pump()) stopped = true;
    return !stopped;
  };
  http::HttpRequest form;
  form.address = servers.portal + kPortalPath;
  form.method = http::Method::kPost;
  form.body = ReleaseFormText(text::gbk::Encode(deviceNumber, false));
  form.bodies = http::Bodies::kText;
  http::UseEnvironmentProxy(form);  // the proxy the engine's downloads take too
  const http::HttpResponse answer = http::FetchResponse(form, watched);
  const std::string& page = answer.body;
  const std::string& status = answer.statusText;
  search.status = FromGbk(status);
  if (stopped) {
    search.outcome = ReleaseSearch::Outcome::kStopped;
    return search;
  }
  const ReleasePage r = ParseReleasePage(page, servers.download, pump);
  search.versionLine = FromGbk(r.version + " " + r.size);
  if (r.version.empty()) {
    const bool failed = page.empty() || !status.starts_with("200");
    search.outcome = failed         ? ReleaseSearch::Outcome::kFailed
                     : r.incomplete ? ReleaseSearch::Outcome::kTooSlow
                                    : ReleaseSearch::Outcome::kNoResult;
    return search;
  }
  search.outcome = ReleaseSearch::Outcome::kFound;
  search.row = {FromGbk(r.version),       FromGbk(r.releaseDate),
                FromGbk(r.size),          http::ProbeRemoteSize(r.torrentLink, pump),
                FromGbk(r.programLink),   FromGbk(r.torrentLink),
                FromGbk(r.companionMaps), FromGbk(r.mapName),
                FromGbk(r.mapLink)};
  return search;
}

}  // namespace catalogue
