#pragma once
// The download session: every download of the program, from the main window, the download list
// and quorvel-cli, is one row of one DownloadList. The list starts the engine with the program
// and stops it at the end; it builds each row's creation record, starts, pauses, cancels and
// polls each task, runs the swarm's and the archive checks' jobs, and tells what happened as one
// stream of events that the main window's display, the list window, the tray and quorvel-cli
// each read. At most `maxRunning` downloads run at once, however they were started; the rest
// wait. Pause is not cancel: a paused download keeps its resume data, and a row of an earlier
// run resumes with a new task from the same files.
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "calls.h"
#include "listeddownload.h"
#include "taskrecord.h"

namespace session {

class Jobs;

// What happened to a row since the last tick.
struct DownloadEvent {
  enum class Kind {
    kProgress,  // the engine answered for the row's task: `answer`
    kEnded,     // the row completed or failed (`state`); `words` says why it failed
    kVerdict,   // the check against its torrent ended: `words`
  } kind = Kind::kProgress;
  int id = 0;
  Answer answer;
  ListState state = ListState::kCompleted;
  std::string words;
};

// What a start did.
struct StartResult {
  enum class Outcome {
    kStarted,       // running, or waiting for a free place
    kAlreadyThere,  // the file is complete in its folder: nothing was done (asked to ask)
    kKept,          // ... and it stays as it is: its row says so
    kRefused,       // `failure` says why
  } outcome = Outcome::kRefused;
  int id = 0;           // the row
  std::string failure;  // UTF-8, for the user: "下载失败：文件名过长..."
};

// What to do when the file is complete in its folder already.
enum class WhenThere { kAsk, kReplace, kKeep };

// Why a download cannot start: which text does not fit its record (UTF-8).
std::string TooLongText(std::u16string_view url, std::u16string_view name, std::u16string_view folder);
// Whether `name` in `folder` is a complete file: there, and no unfinished data of it beside it.
bool IsCompleteFile(const std::string& folder, const std::string& name);

class DownloadList {
 public:
  explicit DownloadList(EngineCalls engineCalls, JobCalls jobs = {});
  ~DownloadList();
  DownloadList(const DownloadList&) = delete;
  DownloadList& operator=(const DownloadList&) = delete;

  void StartEngine();  // DL_Init three times
  // Every running download stopped with its resume data (its row stays running, to go on at the
  // next start), the jobs ended, then DL_UnInit twice.
  void StopEngine();

  // Rows of earlier runs, from the list file: the unfinished ones wait to be resumed when
  // `resumeAtStart`, else they are paused.
  void Restore(std::vector<ListedDownload> rows, bool resumeAtStart);
  const std::vector<ListedDownload>& rows() const { return rows_; }
  const ListedDownload* Find(int id) const;

  // A download: a new row, or the row of the same file again (a running one keeps running). It
  // starts now when a place is free, else it waits; it becomes the current one.
  StartResult Start(common::DownloadOrder order, WhenThere whenThere);
  // The content of the completed torrent of row `id` through the swarm: a row that waits for a
  // place. False, with the reason in the torrent row's note, when it is no usable torrent.
  bool ContinueThroughSwarm(int id);
  // Checks the completed archive of row `id` against its torrent (an event tells the verdict).
  void Check(int id);
  // Fetches the bad pieces of row `id`'s archive again from its address and checks it once more;
  // only after a check found bad pieces (an event tells the verdict).
  void Repair(int id);

  // The actions of a row; false (nothing done) when the row is not in a state for it.
  bool Pause(int id);
  bool Resume(int id);  // a paused row; it waits for a free place when `maxRunning` run
  bool Retry(int id);   // a failed row, with a new task from the same files
  bool Cancel(int id);  // stopped, its partial data deleted, its row gone
  bool Remove(int id);  // a row that does not run leaves the list; its files stay
  // Sets or clears the note of row `id`, what an action on it could not do.
  void SetNote(int id, const std::string& note);

  // Every running download paused, then followed until the engine says each has stopped or
  // `wait` has passed (so that each has its resume data written). One whose last bytes were
  // already in completes instead.
  std::vector<DownloadEvent> PauseAll(std::chrono::milliseconds wait);

  // Follows every row with a task or a job, starts waiting ones while places are free, and
  // tells what happened.
  std::vector<DownloadEvent> Tick();
  // The current download has ended: the newest one still running or waiting becomes current.
  // False when there is none (the current one stays).
  bool FollowNext();
  // The speed limit of all downloads together, the swarm's included: bytes a second, 0: none.
  void SetLimit(std::int64_t bytesPerSecond);
  // Whether the rows changed (for the file) since the last call; their figures count once every
  // `figuresEvery`.
  bool TakeChanged(std::chrono::seconds figuresEvery = std::chrono::seconds(5));
  int Running() const;
  // False, with no engine call, when the folder or name does not fit its record.
  bool DeleteTempFiles(const std::string& folder, const std::string& name);

  // What the exit routine releases: the creation and progress records.
  void Release();

  EngineCalls engine;  // the engine library's functions
  JobCalls jobCalls;   // the swarm's and the checks' work
  int maxRunning = 3;
  bool swarmAfterTorrent = false;  // a completed torrent goes on with its content through the swarm
  int currentTask = 0;             // the row of the most recent download of the window; 0: none

 private:
  ListedDownload* Row(int id);
  ListedDownload& RowFor(const common::DownloadOrder& order);
  void Erase(const ListedDownload* d);
  void MakeRoom();  // before a new row
  void Reset(ListedDownload& d, ListState state);
  StartResult Keep(ListedDownload& d, common::DownloadOrder order);  // the file there stays as it is
  std::optional<std::string> StartTask(ListedDownload& d);
  void StartWaiting(std::vector<DownloadEvent>& events);
  void Follow(ListedDownload& d, std::vector<DownloadEvent>& events);
  void Ended(ListedDownload& d, std::vector<DownloadEvent>& events);
  bool NextSource(ListedDownload& d);
  void FollowGone(std::vector<DownloadEvent>& events);
  void FollowJobs(std::vector<DownloadEvent>& events);

  std::unique_ptr<Jobs> jobs_;
  std::vector<ListedDownload> rows_;
  std::vector<std::pair<int, void*>> gone_;  // rows cancelled since the last tick, and their tasks
  records::TaskCreateParams createParams_;   // the record of the last task created
  records::TaskProgressInfo progress_;       // filled by every progress query
  int nextId_ = 1;
  bool changed_ = false, figuresChanged_ = false;
  std::chrono::steady_clock::time_point figuresSaved_{};
};

}  // namespace session
