#include "files.h"

#include "pathtext.h"
#include "platform/fileio.h"
#include "platform/process.h"
#include "platform/sync.h"

namespace common {

bool MoveNoReplace(const std::string& from, const std::string& to) {
  if (platform::RenameNoReplace(from, to)) return true;
  if (platform::LastFault() != platform::Fault::kUnsupported) return false;
  if (!platform::LinkFile(from, to)) return false;
  platform::RemoveFile(from);
  return true;
}

bool WriteAll(platform::FileHandle fd, std::string_view data, std::optional<std::int64_t> offset) {
  while (!data.empty()) {
    const std::int64_t n = platform::WriteSome(fd, data.data(), data.size(), offset);
    if (n < 0 && platform::LastFault() == platform::Fault::kInterrupted) continue;
    if (n <= 0) {
      if (n == 0) platform::SetLastFault(platform::Fault::kOther);  // a file that takes nothing would loop for ever
      return false;
    }
    data.remove_prefix(size_t(n));
    if (offset) *offset += n;
  }
  return true;
}

std::string UserDataFolder() { return platform::UserDataBase() + "/Quorvel"; }

std::optional<std::string> ReadFileUpTo(const std::string& path, std::uintmax_t maxBytes) {
  // Not blocking: opening a FIFO put where a file was expected would wait for a writer for ever.
  const platform::FileHandle fd = platform::OpenFile(path, platform::OpenMode::kReadNoWait);
  if (fd == platform::kNoFile) return std::nullopt;
  const std::optional<platform::FileFacts> facts = platform::FactsOf(fd);
  std::optional<std::string> content;
  if (facts && facts->regular && std::uintmax_t(facts->size) <= maxBytes) {
    content.emplace();
    char buffer[65536];
    for (;;) {
      const std::int64_t n = platform::ReadSome(fd, buffer, sizeof buffer);
      if (n < 0 || content->size() + size_t(n) > maxBytes) {  // unreadable, or grew meanwhile
        content.reset();
        break;
      }
      if (n == 0) break;
      content->append(buffer, size_t(n));
    }
  }
  platform::CloseFile(fd);
  return content;
}

void SyncFolder(const std::string& folder) { platform::FlushFolder(folder); }

namespace {

platform::FileHandle OpenTemporary(const std::string& path, const AtomicWrite& how, std::string& temp) {
  if (how.tempSuffix.empty()) {
    temp = path + ".XXXXXX";
    return platform::OpenUniqueFile(temp);
  }
  // The one writer's fixed name: what lies there (a crash's leftover, or a link or FIFO planted
  // in the folder) goes, and the file is made new, so that nothing is written through it.
  temp = path + how.tempSuffix;
  platform::RemoveFile(temp);
  return platform::OpenFile(temp, platform::OpenMode::kReadWriteCreateNew, 0600);
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view content, const AtomicWrite& how) {
  std::string temp;
  const platform::FileHandle fd = OpenTemporary(path, how, temp);
  if (fd == platform::kNoFile) return false;
  if (how.mode) {
    platform::SetPermissions(fd, *how.mode);
  } else if (const auto old = platform::FactsOfPath(path)) {
    platform::SetPermissions(fd, old->permissions);
  }
  bool ok = WriteAll(fd, content) && platform::FlushFile(fd);
  ok = platform::CloseFile(fd) && ok;
  if (ok) ok = how.replace ? platform::RenameFile(temp, path) : MoveNoReplace(temp, path);
  if (!ok) {
    const platform::Fault fault = platform::LastFault();
    platform::RemoveFile(temp);
    platform::SetLastFault(fault);
    return false;
  }
  SyncFolder(common::FolderOf(path));
  return true;
}

}  // namespace common
