// The platform seam: what its callers rely on from each call, so that another implementation
// is held to the same.
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../fixtures/files.h"
#ifndef _WIN32
#include "../fixtures/rawserver.h"
#endif
#include "../fixtures/scratch.h"
#include "../fixtures/wine.h"
#include "files.h"
#include "pathtext.h"
#include "platform/fileio.h"
#include "platform/freespace.h"
#include "platform/sockets.h"
#include "platform/sync.h"

namespace {

using platform::OpenMode;

#ifndef _WIN32
// What is planted at a name the program writes leads nowhere else: a symbolic link is refused,
// a FIFO never waits, a new file is new, and a hard link or a FIFO is no regular file of one name.
TEST(Platform, APlantedNameLeadsNowhereElse) {
  ScratchConfig scratch;
  const std::string outside = (scratch.folder() / "outside").string(), at = (scratch.folder() / "x.part").string();
  WriteFile(outside, "keep");
  ASSERT_EQ(symlink(outside.c_str(), at.c_str()), 0);
  for (OpenMode mode : {OpenMode::kReadWrite, OpenMode::kWriteCreateTruncate, OpenMode::kReadWriteCreateNew})
    EXPECT_EQ(platform::OpenFile(at, mode), platform::kNoFile) << int(mode);
  EXPECT_EQ(ReadAll(outside), "keep");
  ASSERT_TRUE(platform::RemoveFile(at));
  ASSERT_EQ(mkfifo(at.c_str(), 0600), 0);
  EXPECT_EQ(platform::OpenFile(at, OpenMode::kWriteCreateTruncate), platform::kNoFile)
      << "no reader: refused, not waited for";
  EXPECT_EQ(platform::LastFault(), platform::Fault::kPlanted);
  const platform::FileHandle fifo = platform::OpenFile(at, OpenMode::kReadNoWait);
  ASSERT_NE(fifo, platform::kNoFile);
  EXPECT_FALSE(platform::OnlyRegularFile(fifo));
  platform::CloseFile(fifo);
  ASSERT_TRUE(platform::RemoveFile(at));
  ASSERT_TRUE(platform::LinkFile(outside, at));
  const platform::FileHandle linked = platform::OpenFile(at, OpenMode::kReadWrite);
  ASSERT_NE(linked, platform::kNoFile);
  EXPECT_FALSE(platform::OnlyRegularFile(linked)) << "a hard link shares another name's bytes";
  platform::CloseFile(linked);
  EXPECT_EQ(platform::OpenFile(at, OpenMode::kReadWriteCreateNew), platform::kNoFile);
  EXPECT_EQ(platform::LastFault(), platform::Fault::kExists);
}
#endif

TEST(Platform, FilesKeepTheirFactsLocksAndNames) {
  ScratchConfig scratch;
  const std::string path = (scratch.folder() / "a.part").string(), other = (scratch.folder() / "b").string();
  const platform::FileHandle fd = platform::OpenFile(path, OpenMode::kReadWriteCreateNew);
  ASSERT_NE(fd, platform::kNoFile);
  ASSERT_EQ(platform::WriteSome(fd, "tail", 4, 8188), 4);
  ASSERT_EQ(platform::ReserveRoom(fd, 16384), platform::Fault::kNone);
  std::string back(4, '\0');
  EXPECT_TRUE(platform::ReadExactlyAt(fd, back.data(), 4, 8188));
  EXPECT_EQ(back, "tail");
  EXPECT_FALSE(platform::ReadExactlyAt(fd, back.data(), 4, 16383)) << "past the end is not a whole read";
  platform::ReleaseRoom(fd, 0, 8192);
  auto facts = platform::FactsOf(fd);
  ASSERT_TRUE(facts);
  EXPECT_TRUE(facts->regular);
  EXPECT_EQ(facts->size, 16384) << "handing room back keeps the size";
  EXPECT_TRUE(platform::ReadExactlyAt(fd, back.data(), 4, 8188));
  if (!UnderWine()) {
    EXPECT_EQ(back, std::string(4, '\0')) << "a released range reads as zeros (wine: no FSCTL_SET_ZERO_DATA)";
  }
  EXPECT_TRUE(platform::FactsOfPath(path)->SameFileAs(*facts));
  EXPECT_TRUE(platform::FreeSpaceOf(fd).value_or(-1) >= 0);

  // The lock: a duplicate shares it, another open of the file does not get it.
  ASSERT_TRUE(platform::TryLockExclusive(fd));
  const platform::FileHandle duplicate = platform::DuplicateFile(fd),
                             second = platform::OpenFile(path, OpenMode::kReadWrite);
#ifndef _WIN32
  EXPECT_TRUE(platform::TryLockExclusive(duplicate));  // Windows refuses a lock asked twice
#endif
  EXPECT_FALSE(platform::TryLockExclusive(second));
  platform::CloseFile(second);
  platform::CloseFile(duplicate);
  EXPECT_TRUE(platform::FlushFileData(fd));

  // Names: no-replace refuses an existing one; once the last name goes, the open file says so.
  ASSERT_TRUE(platform::CloseFile(platform::OpenFile(other, OpenMode::kWriteCreateTruncate)));
  EXPECT_FALSE(platform::RenameNoReplace(path, other));
  EXPECT_EQ(platform::LastFault(), platform::Fault::kExists);
  EXPECT_TRUE(platform::RenameFile(path, other));
  EXPECT_TRUE(platform::RemoveFile(other));
#ifndef _WIN32
  EXPECT_EQ(platform::FactsOf(fd)->links, 0u);  // Windows keeps the name until the last handle goes
#endif
  if (!UnderWine()) {
    EXPECT_FALSE(platform::FactsOfPath(other)) << "wine: no delete with POSIX semantics";
  }
  EXPECT_TRUE(platform::CloseFile(fd));
  EXPECT_EQ(platform::OpenFile(other, OpenMode::kRead), platform::kNoFile);
  EXPECT_EQ(platform::LastFault(), platform::Fault::kNotFound);
}

// Our texts are UTF-8: a folder and a file with Chinese names are made under those names, not
// read in another code page (Windows' runtime reads a std::string path in the ANSI code page).
TEST(Platform, ChineseNamesAreTheNamesMade) {
  ScratchConfig scratch;
  const std::string folder = common::Utf8Of(scratch.folder()) + "/新目录";
  std::error_code ec;
  std::filesystem::create_directories(common::PathOf(folder), ec);
  ASSERT_TRUE(common::WriteFileAtomically(folder + "/地图.ndz", "map"));
  ASSERT_TRUE(platform::FactsOfPath(folder + "/地图.ndz"));
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(scratch.folder())) {
    const std::u8string name = entry.path().lexically_relative(scratch.folder()).generic_u8string();
    names.emplace_back(name.begin(), name.end());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"新目录", "新目录/地图.ndz"}));
}

#ifndef _WIN32
TEST(Platform, SocketsConnectWaitAndCount) {
  RawServer server(
      [](int fd, const std::string&) { RawServer::Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"); });
  const auto addresses = platform::LookUpStream("127.0.0.1", server.port());
  ASSERT_EQ(addresses.size(), 1u);
  const platform::StreamAddress& a = addresses[0];
  const platform::SocketHandle fd = platform::OpenStreamSocket(a.family, a.type, a.protocol, /*nonBlocking=*/true);
  ASSERT_NE(fd, platform::kNoSocket);
  const platform::Connecting c = platform::StartConnect(fd, a);
  ASSERT_NE(c, platform::Connecting::kFailed);
  if (c == platform::Connecting::kUnderWay) {
    ASSERT_EQ(platform::WaitUntilReady(fd, platform::Readiness::kWritable, 5000), 1);
  }
  EXPECT_EQ(platform::PendingError(fd), 0);
  EXPECT_EQ(platform::WaitUntilReady(fd, platform::Readiness::kReadable, 50), 0) << "nothing sent yet: time up";
  const std::string request = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
  EXPECT_EQ(platform::SendSome(fd, request.data(), request.size()), std::int64_t(request.size()));
  ASSERT_EQ(platform::WaitUntilReady(fd, platform::Readiness::kReadable, 5000), 1);
  char answer[256];
  const std::int64_t n = platform::ReceiveSome(fd, answer, sizeof answer);
  EXPECT_GT(n, 0);
  EXPECT_GE(platform::BytesReceived(fd).value_or(0), std::uint64_t(n)) << "TCP's count holds what was read";
  platform::CloseSocket(fd);
}
#endif

}  // namespace
