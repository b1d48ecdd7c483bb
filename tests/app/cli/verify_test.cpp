// quorvel-cli verify: an archive against its torrent, and its bad pieces fetched again.
#include <sys/stat.h>

#include "clifixture.h"
#include "verify.h"

namespace {

TEST_F(CliTest, VerifyFindsAFlippedByteInItsPiece) {
  fs::create_directories(folder);
  std::string archive = SampleFileFor(kRelease);
  archive[100000] = char(archive[100000] ^ 0x40);
  Write(folder / "a.zip", archive);
  Write(folder / "t.torrent", SampleFileFor(kReleaseTorrent, portal.host()));
  ProcessResult r = Cli({"verify", (folder / "a.zip").string(), (folder / "t.torrent").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "坏块 6：字节 98304-114687")
      << "16 KiB pieces: byte 100000 is in the 7th";
  EXPECT_NE(r.out.find("校验失败：129 块中有 1 块损坏"), std::string::npos) << r.out;
  // Fetched from the release row when nothing lies beside the archive.
  r = Cli(std::vector<std::string>{"verify", (folder / "a.zip").string(), "--device", "3261"} + Servers());
  EXPECT_EQ(r.status, 1) << r.err;
  // The portal down is no "no release row": it says the search failed and where the portal is chosen.
  r = Cli({"verify", (folder / "a.zip").string(), "--device", "3261", "--portal", "127.0.0.1:1"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("搜索失败：711"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("门户 127.0.0.1:1"), std::string::npos) << r.err;
}

// --repair fetches only the bad pieces, from the release row's server, and checks again.
TEST_F(CliTest, VerifyRepairFetchesTheBadPiecesAgain) {
  fs::create_directories(folder);
  const std::string whole = SampleFileFor(kRelease);
  std::string archive = whole;
  archive[100000] = char(archive[100000] ^ 0x40);
  archive[archive.size() - 1] = char(archive.back() ^ 0x40);
  Write(folder / "a.zip", archive);
  ProcessResult r =
      Cli(std::vector<std::string>{"verify", (folder / "a.zip").string(), "--device", "3261", "--repair"} + Servers());
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("坏块 6：字节 98304-114687\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("已修复 2 块"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("修复完成，校验通过：129 块"), std::string::npos) << r.out;
  EXPECT_EQ(ReadAll(folder / "a.zip"), whole);

  // A torrent without a web seed and no address: said, nothing touched.
  Write(folder / "b.zip", archive);
  Write(folder / "b.torrent", torrent::CreateTorrent("V3.2.1.zip", whole, 16 << 10));
  r = Cli({"verify", (folder / "b.zip").string(), "--repair"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--from"), std::string::npos) << r.err;
  EXPECT_EQ(ReadAll(folder / "b.zip"), archive);
  EXPECT_EQ(Cli({"verify", (folder / "b.zip").string(), "--from", "http://h/b.zip"}).status, 2) << "only with --repair";
  r = Cli({"verify", (folder / "b.zip").string(), "--repair", "--from", "file:///etc/passwd"});
  EXPECT_EQ(r.status, 2);
  r = Cli({"verify", (folder / "b.zip").string(), "--repair", "--from", "http://" + portal.host() + "/nothing.zip"});
  EXPECT_EQ(r.status, 1) << "the server had no such file";
  EXPECT_NE(r.err.find("第 6 块未能取回"), std::string::npos) << r.err;
  EXPECT_EQ(ReadAll(folder / "b.zip"), archive);
}

TEST_F(CliTest, VerifyRefusesWhatIsNotItsTorrentBeforeHashing) {
  fs::create_directories(folder);
  const std::string archive = SampleFileFor(kRelease);
  Write(folder / "t.torrent", SampleFileFor(kReleaseTorrent, portal.host()));
  Write(folder / "short.zip", archive.substr(0, archive.size() - 1));
  Write(folder / "long.zip", archive + "x");
  Write(folder / "junk.torrent", "d4:infoi1ee");
  Write(folder / "a.zip", archive);
  for (const char* name : {"short.zip", "long.zip"}) {
    ProcessResult r = Cli({"verify", (folder / name).string(), (folder / "t.torrent").string()});
    EXPECT_EQ(r.status, 2) << name;
    EXPECT_NE(r.err.find("种子说是 " + std::to_string(archive.size()) + " 字节"), std::string::npos) << r.err;
  }
  ProcessResult r = Cli({"verify", (folder / "a.zip").string(), (folder / "junk.torrent").string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("junk.torrent：不是种子文件"), std::string::npos) << "the torrent is named: " << r.err;
  r = Cli({"verify", (folder / "t.torrent").string(), (folder / "a.zip").string()});
  EXPECT_EQ(r.status, 2) << "the arguments swapped";
  EXPECT_NE(r.err.find("a.zip：不是种子文件（"), std::string::npos) << "the file taken as the torrent: " << r.err;
  // A torrent of another file of the same size would be caught by its pieces; of another
  // size, by its size.
  r = Cli({"verify", (folder / "a.zip").string(), (folder / "missing.torrent").string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(Cli({"verify", (folder / "nothing-beside.zip").string()}).status, 2) << "no torrent anywhere";
  ASSERT_EQ(mkfifo((folder / "fifo.zip").c_str(), 0600), 0);
  r = Cli({"verify", (folder / "fifo.zip").string(), (folder / "t.torrent").string()}, 10000);
  EXPECT_EQ(r.status, 2) << "a FIFO is no archive, and no wait for a writer";
}

}  // namespace
