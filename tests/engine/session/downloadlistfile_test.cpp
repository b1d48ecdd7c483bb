// The download list's file: rows come back as written, hostile lines are left out, an older
// version is read, and a file that cannot be read whole is kept aside, never written over.
#include "downloadlistfile.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "../../fixtures/files.h"
#include "../../fixtures/scratch.h"

using namespace session;
namespace fs = std::filesystem;

namespace {

ListedDownload Row(int id, std::string name) {
  ListedDownload d;
  d.id = id;
  d.order.sources = {"http://127.0.0.1:1/" + name};
  d.order.folder = "/tmp/quorvel list";
  d.order.name = std::move(name);
  return d;
}

TEST(DownloadListFile, RowsComeBackAsTheyWereWritten) {
  ListedDownload odd = Row(7, "here %41 100%.zip");
  odd.state = ListState::kFailed;
  odd.failCode = 404;
  odd.verdict = CheckVerdict::kFailed;
  odd.verdictText = "校验失败：3 块损坏\nline two";
  odd.total = 1 << 30;
  odd.done = 12345;
  odd.order.kind = common::DownloadKind::kContent;
  odd.order.sources = {"https://example.invalid/x y.torrent", "http://mirror.invalid/x%20y.torrent"};
  odd.order.torrent = "x.torrent";
  ListedDownload there = Row(8, "there.ndz");
  there.state = ListState::kCompleted;
  there.alreadyThere = true;
  there.order.kind = common::DownloadKind::kRelease;
  there.order.torrent = "http://127.0.0.1:1/there.torrent";
  std::vector<std::string> complaints;
  const auto rows = ParseListFile(ListFileText({Row(1, "a.zip"), odd, there}), complaints);
  EXPECT_TRUE(complaints.empty()) << complaints.front();
  ASSERT_EQ(rows.size(), 3u);
  const ListedDownload& back = rows[1];
  EXPECT_EQ(back.order, odd.order) << "sources with blanks and escapes, kind and torrent";
  EXPECT_EQ(back.verdictText, odd.verdictText);
  EXPECT_EQ(back.state, ListState::kFailed);
  EXPECT_EQ(back.failCode, 404);
  EXPECT_EQ(back.verdict, CheckVerdict::kFailed);
  EXPECT_EQ(back.total, std::int64_t(1) << 30);
  EXPECT_EQ(back.done, 12345);
  EXPECT_TRUE(back.Swarm());
  EXPECT_TRUE(rows[2].alreadyThere);
  EXPECT_EQ(rows[2].order, there.order);
}

// A file written by the earlier version of the list, with CR LF line ends (copied on Windows).
TEST(DownloadListFile, TheFirstVersionIsReadWithItsKinds) {
  const std::string text =
      "Quorvel download list 1\r\n"
      "1\tcompleted\t0\tpassed\t10\t10\tserver\thttp://h/a.zip\t/dl\tV3.2.1.zip\thttp://h/a.torrent\t校验通过\t\r\n"
      "2\tpaused\t0\tnone\t10\t2\tswarm\thttp://h/t.torrent\t/dl\tpro.ndz\thttp://h/t.torrent\t\tpro.torrent\r\n"
      "3\tfailed\t404\tnone\t0\t0\tserver\thttp://h/x y.ndz\t/dl\tx.ndz\t\t\t\r\n";
  std::vector<std::string> complaints;
  const auto rows = ParseListFile(text, complaints);
  EXPECT_TRUE(complaints.empty()) << complaints.front();
  ASSERT_EQ(rows.size(), 3u) << "a line ending in CR is a line like any other";
  EXPECT_EQ(rows[0].order.kind, common::DownloadKind::kRelease);
  EXPECT_EQ(rows[0].order.torrent, "http://h/a.torrent");
  EXPECT_EQ(rows[0].verdictText, "校验通过");
  EXPECT_EQ(rows[1].order.kind, common::DownloadKind::kContent);
  EXPECT_EQ(rows[1].order.torrent, "pro.torrent") << "the content's torrent file";
  EXPECT_EQ(rows[2].order.sources, std::vector<std::string>{"http://h/x y.ndz"});
  EXPECT_EQ(rows[2].failCode, 404);
}

TEST(DownloadListFile, HostileLinesAreLeftOutAndTheRestStays) {
  const std::string good = ListFileText({Row(1, "good.zip")});
  const std::string head = good.substr(0, good.find('\n') + 1), line = good.substr(head.size());
  auto with = [&](std::string field, int index) {  // the good line with one field replaced
    std::vector<std::string> f;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
      f.push_back(line.substr(start, tab - start));
    f.push_back(line.substr(start, line.size() - start - 1));
    f[size_t(index)] = std::move(field);
    std::string out;
    for (size_t i = 0; i < f.size(); ++i) out += (i ? "\t" : "") + f[i];
    return out + "\n";
  };
  const std::string hostile[] = {
      with("0", 0),
      with("-1", 0),
      with("99999999999", 0),
      with("flying", 1),
      with("x", 2),
      with("maybe", 3),
      with("-5", 4),
      with("peer", 6),
      with("file:///etc/passwd", 7),
      with("http://h/a file:///etc/passwd", 7),
      with("relative/dir", 8),
      with("/tmp/a%0Ab", 8),
      with("..", 9),
      with("a/b.zip", 9),
      with("..%5C..%5Cx.bin", 9),
      with("a:b.bin", 9),
      with("trail.%20", 9),
      with("NUL", 9),
      with("", 9),
      with("a%00b.zip", 9),
      with("%C0%AF.zip", 9),
      with("javascript:x", 10),
      with("maybe", 12),
      std::string(300, 'x') + "\n",
      "1\trunning\n",
      line,  // the same number twice
  };
  std::string text = good;
  for (const std::string& h : hostile) text += h;
  std::vector<std::string> complaints;
  const auto rows = ParseListFile(text, complaints);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].order.name, "good.zip");
  EXPECT_EQ(complaints.size(), std::size(hostile));
  complaints.clear();
  EXPECT_TRUE(ParseListFile("Quorvel download list 99\n" + line, complaints).empty());
  EXPECT_EQ(complaints.size(), 1u) << "another version is not read";
}

// Nothing of a damaged, huge or foreign file is lost: it moves aside whole, and the rows that
// could be read go on in a new file.
TEST(DownloadListFile, AFileThatCannotBeReadWholeIsKeptAside) {
  ScratchConfig scratch;
  const std::string path = ListFilePath();
  EXPECT_EQ(path, (scratch.folder() / "data/Quorvel/downloads.list").string());
  ListFileRead read = ReadListFile(path, "20261208-101500");
  EXPECT_TRUE(read.rows.empty());
  EXPECT_TRUE(read.complaints.empty()) << "a missing file is an empty list";
  ASSERT_TRUE(WriteListFile(path, {Row(3, "x.zip")}));
  read = ReadListFile(path, "20261208-101500");
  EXPECT_EQ(read.rows.size(), 1u);
  EXPECT_TRUE(read.keptAside.empty());
  EXPECT_TRUE(fs::exists(path));

  const std::string damaged[] = {
      ListFileText({Row(3, "x.zip"), Row(4, "y.zip")}) + "5\tbroken\n",  // a line left out
      std::string(kMaxListFileBytes + 1, '\n'),                          // too large to read
      std::string("\0\xff\xfe garbage", 11),                             // not a list
  };
  for (const std::string& bytes : damaged) {
    WriteFile(path, bytes);
    read = ReadListFile(path, "20261208-101500");
    ASSERT_FALSE(read.keptAside.empty());
    EXPECT_TRUE(read.mayWrite);
    EXPECT_EQ(ReadAll(read.keptAside), bytes) << "kept whole";
    EXPECT_FALSE(fs::exists(path)) << "the next write makes a new file";
  }
  EXPECT_TRUE(fs::exists(path + ".bad-20261208-101500-3")) << "a second one in the same second has a name of its own";
  WriteFile(path, damaged[0]);
  EXPECT_EQ(ReadListFile(path, "20261208-101501").rows.size(), 2u) << "the rows that could be read stay";
}

}  // namespace
