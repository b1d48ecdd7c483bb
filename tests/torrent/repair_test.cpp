// Bad pieces fetched again by ranges from a server on 127.0.0.1, the archive never worse.
#include "repair.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "../fixtures/files.h"
#include "../fixtures/fileserver.h"
#include "../fixtures/rawserver.h"
#include "../fixtures/scratch.h"

namespace {

using torrent::RepairArchive;
using torrent::RepairResult;

class RepairTest : public testing::Test {
 protected:
  ScratchConfig scratch;
  const std::string content = PatternBytes((4 << 20) + 12345, 51);  // 64 KiB pieces, a short last one
  const std::string torrent = torrent::CreateTorrent("map.ndz", content, 64 << 10);
  const std::string path = (scratch.folder() / "map.ndz").string();

  // The archive with the pieces `pieces` damaged (one byte each); the sizes of those pieces.
  std::int64_t Damage(std::initializer_list<int> pieces) {
    std::string bytes = content;
    std::int64_t size = 0;
    for (int piece : pieces) {
      const size_t at = size_t(piece) * (64 << 10);
      bytes[at + 100] ^= 0x5a;
      size += std::int64_t(std::min<size_t>(64 << 10, content.size() - at));
    }
    std::ofstream(path, std::ios::binary) << bytes;
    return size;
  }
};

TEST_F(RepairTest, OnlyTheBadPiecesAreFetchedAndTheArchiveBecomesWhole) {
  FileServer server(content);
  const std::int64_t badBytes = Damage({0, 17, 64});  // 64 is the short last piece
  const RepairResult r = RepairArchive(path, torrent, server.url("map.ndz"));
  EXPECT_EQ(r.before.bad.size(), 3u);
  EXPECT_EQ(r.repaired, 3);
  EXPECT_TRUE(r.after.Passed()) << r.failure;
  EXPECT_TRUE(r.Passed());
  EXPECT_TRUE(r.failure.empty()) << r.failure;
  EXPECT_EQ(ReadAll(path), content);
  EXPECT_EQ(r.fetched, badBytes);
  // The server counts a piece once its last write returned.
  EXPECT_TRUE(WaitUntil([&] { return server.bytesServed() >= size_t(badBytes); }));
  EXPECT_EQ(server.bytesServed(), size_t(badBytes)) << "the bad pieces' bytes, not the file's";

  // A whole archive: nothing asked of the server.
  const RepairResult again = RepairArchive(path, torrent, server.url("map.ndz"));
  EXPECT_TRUE(again.Passed());
  EXPECT_EQ(again.fetched, 0);
  EXPECT_EQ(server.requests(), 3);
}

// Whatever the server answers, a piece is written only when its hash is the torrent's: the
// archive keeps its bytes and the failure says why.
TEST_F(RepairTest, AServerThatAnswersWrongNeverMakesTheArchiveWorse) {
  struct Case {
    FileServerFaults faults;
    const char* says;
  };
  const Case cases[] = {
      {{.noRange = true}, "服务器返回 200"},                     // the whole file for a range
      {{.status = 404}, "服务器返回 404"},                       //
      {{.wrongRange = true}, "不是所要的字节范围"},              // a 206 for other bytes
      {{.loginPage = true}, "服务器返回 200"},                   // a captive portal
      {{.dropFirst = 1, .dropAfter = 1000}, "第 3 块未能取回"},  // broken off
  };
  for (const Case& c : cases) {
    FileServer server(content);
    server.SetFaults(c.faults);
    Damage({3, 9});
    const std::string before = ReadAll(path);
    const RepairResult r = RepairArchive(path, torrent, server.url("map.ndz"));
    EXPECT_FALSE(r.Passed()) << c.says;
    EXPECT_NE(r.failure.find(c.says), std::string::npos) << r.failure;
    EXPECT_EQ(ReadAll(path), before) << c.says;
    EXPECT_LT(r.fetched, 64 << 10) << c.says << ": the answer is cut off, not read whole";
  }

  // A redirect to another scheme is never followed (the answer would be a local file's bytes).
  RawServer elsewhere([](int fd, const std::string&) {
    RawServer::Send(fd, "HTTP/1.1 302 Found\r\nLocation: file:///etc/passwd\r\nContent-Length: 0\r\n\r\n");
  });
  Damage({2});
  const std::string damaged = ReadAll(path);
  const RepairResult redirected =
      RepairArchive(path, torrent, "http://127.0.0.1:" + std::to_string(elsewhere.port()) + "/map.ndz");
  EXPECT_EQ(redirected.repaired, 0);
  EXPECT_NE(redirected.failure.find("第 2 块未能取回"), std::string::npos) << redirected.failure;
  EXPECT_EQ(ReadAll(path), damaged);

  // Other bytes under a proper 206: the hash refuses them.
  FileServer other(PatternBytes(content.size(), 52));
  Damage({5});
  const std::string before = ReadAll(path);
  const RepairResult r = RepairArchive(path, torrent, other.url("map.ndz"));
  EXPECT_NE(r.failure.find("与种子不符"), std::string::npos) << r.failure;
  EXPECT_EQ(r.repaired, 0);
  EXPECT_EQ(ReadAll(path), before);
}

// A repair stopped half way keeps the pieces it wrote; the next one fetches only the rest.
TEST_F(RepairTest, AStoppedRepairKeepsWhatItWrote) {
  FileServer server(content);
  Damage({1, 2, 3, 4});
  const RepairResult stopped =
      RepairArchive(path, torrent, server.url("map.ndz"), [](const torrent::RepairProgress& p) {
        return p.stage != torrent::RepairProgress::Stage::kFetching || p.done <= (128 << 10);
      });
  EXPECT_FALSE(stopped.Passed());
  EXPECT_NE(stopped.failure.find("已停止"), std::string::npos) << stopped.failure;
  EXPECT_EQ(stopped.repaired, 2);
  const RepairResult rest = RepairArchive(path, torrent, server.url("map.ndz"));
  EXPECT_EQ(rest.before.bad.size(), 2u);
  EXPECT_TRUE(rest.Passed()) << rest.failure;
  EXPECT_EQ(ReadAll(path), content);
}

TEST_F(RepairTest, NothingToRepairWhenTheArchiveIsNotTheTorrentsOrTheTorrentIsNone) {
  FileServer server(content);
  std::ofstream(path, std::ios::binary) << content.substr(0, 1000);
  RepairResult r = RepairArchive(path, torrent, server.url("map.ndz"));
  EXPECT_NE(r.failure.find("文件大小 1000 字节"), std::string::npos) << r.failure;
  r = RepairArchive(path, "not a torrent", server.url("map.ndz"));
  EXPECT_FALSE(r.failure.empty());
  EXPECT_EQ(server.requests(), 0);
}

TEST(WebSeedOf, TheArchiveAddressFromTheTorrentsUrlList) {
  EXPECT_EQ(torrent::WebSeedOf(torrent::CreateTorrent("a b#.ndz", "xyz", 16 << 10, "http://h/data/")),
            "http://h/data/a%20b%23.ndz");
  EXPECT_EQ(torrent::WebSeedOf(torrent::CreateTorrent("a.ndz", "xyz", 16 << 10, "https://h/a.ndz")), "https://h/a.ndz");
  EXPECT_EQ(torrent::WebSeedOf(torrent::CreateTorrent("a.ndz", "xyz", 16 << 10, "ftp://h/a.ndz")), std::nullopt);
  EXPECT_EQ(torrent::WebSeedOf(torrent::CreateTorrent("a.ndz", "xyz")), std::nullopt);
  EXPECT_EQ(torrent::WebSeedOf("junk"), std::nullopt);
}

}  // namespace
