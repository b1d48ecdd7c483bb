#pragma once
// The download list: every download of this run and of earlier ones, one row each, with what
// a user does to a row (pause, resume, retry, cancel, remove) carried out through the engine
// calls. Pause is not cancel: a paused download keeps its resume data, and a row of an
// earlier run resumes with a new task from the same files. At most `maxRunning` downloads
// that the list starts run at once; the rest wait.
#include <chrono>
#include <string>
#include <vector>

#include "calls.h"
#include "listeddownload.h"
#include "taskrecord.h"

namespace session {

// A download that ended since the last tick, for the user to be told.
struct ListEvent {
  int id = 0;
  ListState state = ListState::kCompleted;  // completed or failed
  std::string name, folder, words;          // words: why it failed
};

class DownloadList {
 public:
  explicit DownloadList(const EngineCalls& engine) : engine_(engine) { progress_.Build(); }

  // Rows of earlier runs, from the list file: the unfinished ones wait to be resumed when
  // `resumeAtStart`, else they are paused.
  void Restore(std::vector<ListedDownload> rows, bool resumeAtStart);
  const std::vector<ListedDownload>& rows() const { return rows_; }
  const ListedDownload* Find(int id) const;
  const ListedDownload* FindTask(void* task) const;

  // A download the program started itself (the main window): a new row, or the row of the
  // same file again. The row's number.
  int Add(void* task, const std::string& url, const std::string& folder, const std::string& name);
  // A download the command line asks for: a new row that waits for a free place, or the row
  // of the same file, made to wait again unless it runs. The row's number.
  int Queue(const std::string& url, const std::string& folder, const std::string& name);
  void SetTorrentLink(void* task, const std::string& torrentLink);
  void SetVerdict(int id, CheckVerdict verdict, const std::string& text);
  void Forget(void* task);  // cancelled elsewhere: its row goes
  // The content of the torrent `torrentFile` in `folder` through the swarm: a row that waits
  // for the window's swarm job (the list starts no engine task for it). Its number.
  int AddSwarm(const std::string& torrentUrl, const std::string& folder, const std::string& torrentFile,
               const std::string& contentName);
  // What the swarm job of row `id` reports.
  void SwarmProgress(int id, std::int64_t done, std::int64_t total, int speed, int peers, int seeds);
  void SwarmEnded(int id, ListState state, const std::string& failure);

  // The actions of a row; false (nothing done) when the row is not in a state for it.
  bool Pause(int id);
  bool Resume(int id);  // a paused row; it waits for a free place when `maxRunning` run
  bool Retry(int id);   // a failed row, with a new task from the same files
  bool Cancel(int id);  // stopped, its partial data deleted, its row gone
  bool Remove(int id);  // a row that does not run leaves the list; its files stay

  // Every running row paused, then followed until the engine says each has stopped or `wait`
  // has passed (so that each has its resume data written). One whose last bytes were
  // already in completes instead: the rows that ended so.
  std::vector<ListEvent> PauseAll(std::chrono::milliseconds wait);

  // Follows every row with a task and starts waiting ones while places are free; the rows
  // that ended since the last tick.
  std::vector<ListEvent> Tick();
  std::vector<ListEvent> Refresh();  // only follows, starts nothing
  // The engine ends: no row has a task any more (running rows stay running in the file, so
  // that they resume at the next start).
  void LetGoOfTasks();
  // Whether the rows changed (for the file) since the last call.
  bool TakeChanged();
  int Running() const;

  int maxRunning = 3;

 private:
  ListedDownload* Row(int id);
  void Erase(const ListedDownload* d);
  void MakeRoom();  // before a new row
  bool StartTask(ListedDownload& d);
  void Follow(ListedDownload& d, std::vector<ListEvent>& ended);

  const EngineCalls& engine_;
  std::vector<ListedDownload> rows_;
  records::TaskProgressInfo progress_;
  int nextId_ = 1;
  bool changed_ = false;
};

}  // namespace session
