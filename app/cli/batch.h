#pragma once
// Downloads run as rows of the session's download list, as the window's do, up to K at a time,
// with a live display: what `quorvel-cli search --download` and `quorvel-cli mapdata` share.
// The files are the window's (.part and .part.ctl beside the target), so a download started in
// one resumes in the other; a file that is complete already is not fetched again.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "downloadorder.h"
#include "listeddownload.h"

namespace cli {

struct BatchResult {
  std::vector<session::ListedDownload> rows;  // each order's row as it ended, in the orders' order
  bool interrupted = false;                   // Ctrl-C: every running download paused with its resume data
  bool AllDone() const;                       // every download completed (or was complete already)
};

// The live display: one line per running download on a terminal, plain lines on events
// otherwise.
class Display {
 public:
  explicit Display(bool terminal) : terminal_(terminal) {}
  void Show(const std::vector<session::ListedDownload>& rows);
  void Event(const session::ListedDownload& row);

 private:
  bool terminal_;
  int drawn_ = 0;  // lines of the last redraw, to overwrite
};

// Runs the downloads, at most `limit` bytes a second together (0: no limit); `interrupted` is
// set by the Ctrl-C handler.
BatchResult RunBatch(const std::vector<common::DownloadOrder>& orders, int parallel, std::int64_t limit,
                     Display& display, const std::atomic<bool>& interrupted);

// "name  state  size  reason" for every download, aligned; then, when a download could not
// reach the download server `downloadServer`, what chooses it.
void PrintSummary(const BatchResult& result, const std::string& downloadServer);

}  // namespace cli
