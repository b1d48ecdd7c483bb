#include "contentfolder.h"

#include "platform/fileio.h"
#include "platform/freespace.h"
#include "sizes.h"

namespace torrent {

ContentLock::ContentLock(const std::string& folder, const std::string& name)
    : path_(folder + "/." + name + ".quorvel-lock") {
  fd_ = platform::OpenFile(path_, platform::OpenMode::kReadWriteCreate, 0644);
  if (fd_ == platform::kNoFile) {
    failure_ = "无法在保存目录里加锁：" + path_;
    return;
  }
  const bool regular = platform::OnlyRegularFile(fd_);
  if (regular && platform::TryLockExclusive(fd_)) return;
  failure_ = regular ? "另一个下载正在写入同一内容：" + name : "锁文件不是普通文件：" + path_;
  platform::CloseFile(fd_);
  fd_ = platform::kNoFile;
}

ContentLock::~ContentLock() {
  if (fd_ == platform::kNoFile) return;
  platform::RemoveFile(path_);
  platform::CloseFile(fd_);
}

std::optional<std::string> PlantedAmong(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    const std::optional<platform::FileFacts> facts = platform::FactsOfName(path);
    if (facts && (!facts->regular || facts->links != 1)) return path;
  }
  return std::nullopt;
}

std::optional<std::string> NoRoomFor(const std::string& folder, std::int64_t missing) {
  const std::optional<std::int64_t> room = platform::FreeSpaceOfFolder(folder);
  if (!room || *room >= missing) return std::nullopt;
  return "磁盘空间不足：还需要 " + common::SizeText(missing) + "，保存目录所在的磁盘只剩 " + common::SizeText(*room);
}

}  // namespace torrent
