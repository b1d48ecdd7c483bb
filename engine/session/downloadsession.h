#pragma once
// The program's side of the download engine, without any window: the engine started and
// stopped with the program, downloads started side by side, the one on display followed,
// cancelled with its temporary files, and each progress answer turned into what to show.
// Texts that reach the engine are UTF-16, as the window's boxes hold them; texts for the
// user are UTF-8.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "calls.h"
#include "downloadlist.h"
#include "progressfigures.h"
#include "taskrecord.h"

namespace session {

// A download that was started: the engine's handle, and the folder and name it went to.
struct StartedDownload {
  void* task = nullptr;
  std::u16string folder, name;
};

// What a cancel left behind.
enum class AfterCancel {
  kNothingToCancel,  // nothing was ever started
  kCancelled,        // the download on display is gone; the display keeps its handle
  kFollowingNext,    // ... and the display now follows one still running
};

// One progress answer of the download on display, ready to show.
struct Progress {
  int stat = 0;
  int failCode = 0;
  std::u16string name;    // the engine's own name for the file
  std::u16string folder;  // where the file goes: its own folder when known, else the box's
  records::ProgressFigures figures;
  bool ended = false;  // completed or cancelled: no longer followed
};

// Why a download cannot start: which text does not fit its record (UTF-8).
std::string TooLongText(std::u16string_view url, std::u16string_view name, std::u16string_view folder);

class DownloadSession {
 public:
  explicit DownloadSession(EngineCalls calls) : engine(std::move(calls)) {}

  void StartEngine();  // DL_Init three times
  void StopEngine();   // every started download stopped (resume data kept), DL_UnInit twice
  // Starts a download and puts it on display; the text for the user when it cannot start.
  std::optional<std::string> Start(std::u16string_view url, std::u16string_view name, std::u16string_view folder);
  // Cancels the download on display; its files are found in its own folder, or in the
  // boxes' folder and name when the session did not start it.
  AfterCancel Cancel(std::u16string_view boxFolder, std::u16string_view boxName);
  // False, with no engine call, when the folder or name does not fit its record.
  bool DeleteTempFiles(std::u16string_view folder, std::u16string_view name);
  // The answer for the download on display; nothing when there is none or the engine has
  // no answer. An ended download leaves the session's list.
  std::optional<Progress> Poll(std::u16string_view boxFolder);
  // The display turns to the newest download still running: false when none is left.
  bool FollowNext();
  // What the exit routine releases.
  void Release();

  bool HasDownloads() const { return !downloads.empty(); }

  EngineCalls engine;
  DownloadList list{engine};               // every download of this run and earlier ones
  std::vector<StartedDownload> downloads;  // started and not yet seen ending, oldest first
  void* currentTask = nullptr;             // the download on display (the newest running one)
  std::u16string completedFolder;          // where the last completed download was saved
  records::TaskCreateParams createParams;  // the record of the last download start
  records::TaskProgressInfo progressInfo;  // filled by every progress query

 private:
  std::vector<StartedDownload>::iterator Find(void* task);
};

}  // namespace session
