#include "provenfile.h"

#include <algorithm>
#include <optional>

#include "donerecord.h"
#include "platform/fileio.h"
#include "proxy.h"
#include "request.h"
#include "url.h"

namespace core {

namespace {

// The record is the order's: one of its addresses, the file untouched since.
bool RecordHolds(const records::DoneRecord& record, const common::DownloadOrder& order) {
  const bool ours = std::any_of(order.sources.begin(), order.sources.end(),
                                [&](const std::string& a) { return common::PercentEncoded(a) == record.url; });
  const std::optional<platform::FileFacts> file = platform::FactsOfName(order.folder + "/" + order.name);
  return ours && file && file->regular && file->size == record.total && file->modifiedNs == record.modifiedNs;
}

}  // namespace

bool ProvenThere(const common::DownloadOrder& order, const common::EventPump& keepGoing, int timeoutSeconds) {
  const std::optional<records::DoneRecord> record = records::ReadDoneRecord(order.folder, order.name);
  if (!record || !RecordHolds(*record, order)) return false;
  http::HttpRequest request;
  request.address = record->url;
  request.method = http::Method::kHead;
  request.bodies = http::Bodies::kBytes;
  request.timeoutSeconds = timeoutSeconds;
  http::UseEnvironmentProxy(request);
  const http::HttpResponse answer = http::FetchResponse(request, keepGoing);
  return !answer.failure && answer.answered && records::ServerStillNames(*record, answer.headers);
}

}  // namespace core
