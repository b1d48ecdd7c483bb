// The task's files on disk: the data file taken (locked) or made, the state file read back
// when it can be trusted, and at the end the data file flushed, named and proven by its record.
#include <cstdio>
#include <filesystem>

#include "donerecord.h"
#include "files.h"
#include "pathtext.h"
#include "platform/fileio.h"
#include "task.h"

namespace dlcore {

// The data file when there is one, locked, and what the state file says of it when it can
// be trusted: the same file (the same address, or a validator to match), a resumable answer,
// and a data file as long as the bytes it claims. Without a data file nothing is made yet: the first good answer makes
// it.
bool Task::OpenFiles() {
  std::error_code ec;
  std::filesystem::create_directories(common::PathOf(order_.folder), ec);
  if (!std::filesystem::is_directory(common::PathOf(order_.folder), ec) || !platform::CanWriteInFolder(order_.folder)) {
    Fail(DL_FAIL_FOLDER);
    return false;
  }
  if (order_.name.size() > kMaxPartNameBytes) {
    Fail(DL_FAIL_BAD_NAME);
    return false;
  }
  return TakePartFile() && TakeSavedState();
}

bool Task::TakePartFile() {
  for (int attempt = 0;; ++attempt) {
    if (int code = part_.OpenExisting()) {
      Fail(code);
      return false;
    }
    if (!part_.IsOpen()) return true;  // made once the server's answer is known
    // A flush of an earlier task of this engine may still hold the file: let it finish first.
    if (!part_.TryLock()) flusher_.WaitIdle();
    const PartFile::Lock lock = part_.LockOrLetGo();
    if (lock == PartFile::Lock::kTaken) return true;
    // Another download holds the file, or completed it between our open and our lock: its
    // files stay as they are.
    if (lock == PartFile::Lock::kBusy || attempt == 2) {
      Fail(DL_FAIL_TARGET_BUSY);
      return false;
    }
  }
}

bool Task::TakeSavedState() {
  std::optional<ControlState> saved = part_.IsOpen() && order_.resume ? ReadControlFile(ControlPath()) : std::nullopt;
  // The file's, from whatever server: another address resumes it when the file had a validator
  // for the first answer to match (If-Range); without one only the same address does.
  const bool sameFile = saved && (saved->url == order_.url || !saved->etag.empty() || !saved->lastModified.empty());
  bool usable = sameFile && saved->total >= 0 && saved->rangeable &&
                (saved->done.ranges().empty() || saved->done.ranges().back().end <= part_.Size());
  if (usable) {
    file_ = *saved;
    file_.url = order_.url;
    segments_.Reset(saved->done);
    checkpointer_.Forget(file_);
  } else {
    file_ = FreshState();
    segments_.Reset();
    checkpointer_.Forget();
    if (part_.IsOpen() && !part_.Truncate()) {
      Fail(DL_FAIL_DISK_WRITE);
      return false;
    }
    platform::RemoveFile(ControlPath());
  }
  return true;
}

// Made, and locked, only once an answer has been judged to be the file.
bool Task::CreatePartFile(Connection& c) {
  if (int code = part_.Create()) {
    c.failCode = code;
    return false;
  }
  if (part_.LockOrLetGo() != PartFile::Lock::kTaken) {  // another process made it in the meantime
    c.failCode = DL_FAIL_TARGET_BUSY;
    return false;
  }
  return true;
}

void Task::ReleaseUnwrittenSpace() {
  if (file_.total > 0) part_.Release(segments_.written().Gaps(file_.total));
}

void Task::Finish() {
  // A state file still on its way would appear beside the complete file: the next tick
  // finishes instead.
  if (checkpointer_.Busy()) return;
  if (!OverlapsMatch()) return RestartFromZero();  // never a file mixed of two versions
  AbortAll();
  if (options_.trace)
    std::fprintf(stderr, "dlcore: complete, %lld bytes received twice\n", static_cast<long long>(duplicate_));
  if (!part_.Flush(file_.total)) return Fail(DL_FAIL_DISK_WRITE);
  // The record of an older file of the name never stands for this one.
  if (order_.disableAutoRename) platform::RemoveFile(records::DoneRecordPath(order_.folder, order_.name));
  // Renamed while the file is still locked: see PartFile::Complete.
  const std::string chosen = part_.Complete(!order_.disableAutoRename);
  if (!chosen.empty() && order_.neverPage) WriteDoneRecord(chosen);
  part_.Close();
  if (chosen.empty()) {
    state_ = DL_STATE_CANCELLED;
    failCode_ = DL_FAIL_DISK_WRITE;
    return;
  }
  savedName_ = chosen;
  state_ = DL_STATE_COMPLETE;
}

// A package's proof for a later run (see donerecord.h); without it the next run fetches the
// file again, so a record that cannot be written costs time, never a wrong file.
void Task::WriteDoneRecord(const std::string& chosen) const {
  const std::string path = order_.folder + "/" + chosen;
  const std::optional<platform::FileFacts> facts = platform::FactsOfName(path);
  if (!facts || !facts->regular || facts->size != file_.total || (file_.etag.empty() && file_.lastModified.empty()))
    return;
  const records::DoneRecord record{order_.url, file_.total, file_.etag, file_.lastModified, facts->modifiedNs};
  common::WriteFileAtomically(records::DoneRecordPath(order_.folder, chosen), records::EncodeDoneRecord(record),
                              {.mode = 0644, .replace = true, .tempSuffix = {}});
}

}  // namespace dlcore
