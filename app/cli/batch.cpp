#include "batch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "dlcore.h"
#include "downloadlist.h"
#include "enginecalls.h"
#include "platform/loadedlibrary.h"
#include "printable.h"
#include "provenfile.h"
#include "servers.h"
#include "sizes.h"

namespace cli {

namespace {

using session::ListState;

// The command line's rows say "跳过" of a file that was there: it was asked for and not fetched.
std::string Reason(const session::ListedDownload& d) {
  if (d.alreadyThere) return std::string(records::kAlreadyThere) + "，跳过";
  return session::FailureWords(d);
}

float Percent(const session::ListedDownload& d) {
  if (d.state == ListState::kCompleted) return 1.0F;
  return d.total > 0 ? float(double(d.done) / double(d.total)) : 0.0F;
}

// `text` followed by blanks up to `columns` terminal columns (a CJK character takes two).
std::string Padded(const std::string& text, int columns) {
  int width = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80)
      ++width;
    else if (c >= 0xE0)
      width += 2;  // the lead byte of a three- or four-byte character
  }
  return text + std::string(size_t(std::max(1, columns - width)), ' ');
}

std::string Line(const session::ListedDownload& d) {
  char figures[128];
  std::snprintf(figures, sizeof figures, "%6.1f%%  %12s  %10s  ", double(Percent(d)) * 100.0,
                common::RateText(d.state == ListState::kRunning ? d.speed : 0).c_str(),
                common::SizeText(d.total).c_str());
  return Padded(common::Printable(d.order.name), 28) + figures + records::StateWord(d.state);
}

// The engine library this program is linked with, through the same binder as the window's.
session::EngineCalls LinkedEngine(core::LibraryBinder& binder) {
  return core::BindEngineCalls(binder, platform::FileHoldingCode(reinterpret_cast<const void*>(&DL_Init)));
}

// Each order's row as it stands.
void Collect(const session::DownloadList& list, const std::vector<int>& ids, BatchResult& result) {
  for (size_t i = 0; i < ids.size(); ++i)
    if (const session::ListedDownload* d = list.Find(ids[i])) result.rows[i] = *d;
}

bool AnyLeft(const session::DownloadList& list) {
  return std::any_of(list.rows().begin(), list.rows().end(), [](const session::ListedDownload& d) {
    return d.state == ListState::kWaiting || d.state == ListState::kRunning;
  });
}

void TellEnds(const session::DownloadList& list, const std::vector<session::DownloadEvent>& events, Display& display) {
  for (const session::DownloadEvent& e : events)
    if (e.kind == session::DownloadEvent::Kind::kEnded)
      if (const session::ListedDownload* d = list.Find(e.id)) display.Event(*d);
}

// A file already there is kept only when it is shown to be the server's file now; any other
// is fetched again, the old one staying under its name until the new one is complete.
session::WhenThere WhenThereFor(const common::DownloadOrder& order, const std::atomic<bool>& interrupted) {
  if (order.kind == common::DownloadKind::kContent || !session::IsCompleteFile(order.folder, order.name))
    return session::WhenThere::kKeep;
  if (core::ProvenThere(order, [&] { return !interrupted; })) return session::WhenThere::kKeep;
  if (!interrupted) std::printf("%s  %s\n", common::Printable(order.name).c_str(), records::kNotProven);
  return session::WhenThere::kReplace;
}

// Each order in the list; an order refused before it had a row is told at once.
std::vector<int> StartAll(session::DownloadList& list, const std::vector<common::DownloadOrder>& orders,
                          Display& display, const std::atomic<bool>& interrupted, BatchResult& result) {
  std::vector<int> ids;
  for (size_t i = 0; i < orders.size(); ++i) {
    const session::StartResult r = list.Start(orders[i], WhenThereFor(orders[i], interrupted));
    ids.push_back(r.id);
    if (r.outcome == session::StartResult::Outcome::kKept) display.Event(*list.Find(r.id));
    if (r.outcome != session::StartResult::Outcome::kRefused || list.Find(r.id)) continue;
    session::ListedDownload& refused = result.rows[i];  // no row: it says why
    refused.order = orders[i];
    refused.state = ListState::kFailed;
    refused.failure = r.failure;
    display.Event(refused);
  }
  return ids;
}

}  // namespace

bool BatchResult::AllDone() const {
  return !interrupted && std::all_of(rows.begin(), rows.end(),
                                     [](const session::ListedDownload& d) { return d.state == ListState::kCompleted; });
}

void Display::Show(const std::vector<session::ListedDownload>& rows) {
  if (!terminal_) return;
  std::string out;
  if (drawn_ > 0) out += "\x1b[" + std::to_string(drawn_) + "A";
  int lines = 0;
  for (const session::ListedDownload& d : rows) {
    if (d.state != ListState::kRunning) continue;
    out += "\x1b[2K" + Line(d) + "\n";
    ++lines;
  }
  // Lines of downloads that ended since the last redraw are cleared.
  for (int i = lines; i < drawn_; ++i) out += "\x1b[2K\n";
  if (drawn_ > lines) out += "\x1b[" + std::to_string(drawn_ - lines) + "A";
  drawn_ = lines;
  std::fputs(out.c_str(), stdout);
  std::fflush(stdout);
}

void Display::Event(const session::ListedDownload& d) {
  std::string line = Line(d);
  if (const std::string reason = Reason(d); !reason.empty()) line += "  " + common::Printable(reason);
  if (terminal_ && drawn_ > 0) {
    // The live lines go; the next redraw puts them back below this line.
    std::printf("\x1b[%dA", drawn_);
    for (int i = 0; i < drawn_; ++i) std::printf("\x1b[2K\n");
    std::printf("\x1b[%dA", drawn_);
    drawn_ = 0;
  }
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

BatchResult RunBatch(const std::vector<common::DownloadOrder>& orders, int parallel, std::int64_t limit,
                     Display& display, const std::atomic<bool>& interrupted) {
  core::LibraryBinder binder([](const std::string& library, const std::string& function) {
    std::fprintf(stderr, "quorvel-cli: %s\n", core::LibraryCallErrorText(library, function).c_str());
    std::exit(-1);
  });
  session::DownloadList list(LinkedEngine(binder));
  list.maxRunning = parallel;
  list.StartEngine();
  list.SetLimit(limit);
  BatchResult result;
  result.rows.resize(orders.size());
  const std::vector<int> ids = StartAll(list, orders, display, interrupted, result);
  while (AnyLeft(list)) {
    if (interrupted) {
      TellEnds(list, list.PauseAll(std::chrono::seconds(10)), display);
      for (const session::ListedDownload& d : list.rows())  // the paused ones are told too
        if (d.state == ListState::kPaused) display.Event(d);
      result.interrupted = true;
      break;
    }
    TellEnds(list, list.Tick(), display);
    Collect(list, ids, result);
    display.Show(result.rows);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  Collect(list, ids, result);
  list.StopEngine();
  return result;
}

void PrintSummary(const BatchResult& result, const std::string& downloadServer) {
  std::printf("\n%s%s%s原因\n", Padded("文件", 28).c_str(), Padded("状态", 8).c_str(), Padded("大小", 12).c_str());
  for (const session::ListedDownload& d : result.rows) {
    std::printf("%s%s%s%s\n", Padded(common::Printable(d.order.name), 28).c_str(),
                Padded(records::StateWord(d.state), 8).c_str(),
                Padded(d.total > 0 ? common::SizeText(d.total) : "-", 12).c_str(),
                common::Printable(Reason(d)).c_str());
  }
  for (const session::ListedDownload& d : result.rows)
    if (records::UnreachableServer(d.failCode)) {
      std::printf("%s\n", core::WhereServerIsChosen(core::Server::kDownload, downloadServer, true).c_str());
      return;
    }
}

}  // namespace cli
