// quorvel-cli run as a user runs it, against the sample portal and download server.
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "../../fixtures/files.h"
#include "../../fixtures/loggingproxy.h"
#include "../../fixtures/process.h"
#include "../../fixtures/rawserver.h"
#include "../../fixtures/sampleportal.h"
#include "../../fixtures/scratch.h"
#include "clifixture.h"
#include "mapdata.h"
#include "verify.h"

namespace {

TEST_F(CliTest, SearchPrintsTheRowAndTellsByItsStatus) {
  ProcessResult r = Cli(std::vector<std::string>{"search", "3261"} + Servers());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("version      V3.2.1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("maps         3m21j27 全国图资\n             3m21j27_0e 东区图资\n"), std::string::npos)
      << r.out;
  r = Cli(std::vector<std::string>{"search", "3261", "--json"} + Servers());
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\"version\": \"V3.2.1\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"maps\": \"3m21j27 全国图资\\u000d\\u000a"), std::string::npos) << "controls escaped";
  EXPECT_EQ(Cli(std::vector<std::string>{"search", "0000"} + Servers()).status, 1) << "no result";
  r = Cli({"search", "3261", "--portal", "127.0.0.1:1"});
  EXPECT_EQ(r.status, 2) << "the portal down";
  EXPECT_NE(r.err.find("搜索失败：711"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("门户 127.0.0.1:1 由设置文件 "), std::string::npos) << "names the host and what chooses it";
  EXPECT_NE(r.err.find("“门户”值选择，或命令行的 --portal"), std::string::npos) << r.err;
  r = Cli({"search", "3261", "--portal", "127.0.0.1:1\x1b]0;owned\x07\x1b[2J"});
  EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << "a host from the settings never reaches the terminal raw";
  EXPECT_NE(r.err.find("\\x1b[2J"), std::string::npos) << r.err;
  EXPECT_EQ(Cli({"search"}).status, 2);
  for (const char* command : {"search", "mapdata", "verify", "torrent"}) {
    r = Cli({command, "--help"});
    EXPECT_EQ(r.status, 0) << command << " takes --help";
    EXPECT_TRUE(r.out.starts_with("用法：quorvel-cli search DEVICE")) << r.out;
  }
  EXPECT_EQ(Cli({"search", "3261", "--portal"}).status, 2);
}

// Ctrl-C ends a search that waits on the portal at once, as it ends a download.
TEST_F(CliTest, CtrlCEndsASearchAtOnce) {
  RawServer* self = nullptr;
  RawServer silent([&self](int, const std::string&) { self->Stall(std::chrono::milliseconds(20000)); });
  self = &silent;
  Process search({QUORVEL_CLI, "search", "3261", "--portal", "127.0.0.1:" + std::to_string(silent.port())});
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const auto start = std::chrono::steady_clock::now();
  search.Signal(SIGINT);
  const ProcessResult r = search.Finish(15000);
  EXPECT_EQ(r.status, 130) << r.err;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << "not the request's 30 s";
}

TEST_F(CliTest, SearchShowsThePagesControlsEscaped) {
  // A portal whose row holds terminal controls: a title, a cleared screen, a colour.
  std::string page = SamplePortalPage("3261", portal.host());
  page.replace(page.find("V3.2.1</td>"), 6, "V3\x1b]0;owned\x07\x1b[2J");
  page.replace(page.find("3m21j27 "), 7, "3m\x1b[31m21j27");
  FileServer hostile(
      [](const std::string&) { return std::string(); },
      [&](const std::string&) { return HttpAnswer("HTTP/1.1 200 OK", "Content-Type: text/html\r\n", page); });
  const std::string at = "127.0.0.1:" + std::to_string(hostile.port());
  const ProcessResult r = Cli({"search", "3261", "--portal", at, "--download-server", at});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << "nothing a terminal acts on";
  EXPECT_EQ(r.out.find('\x07'), std::string::npos);
  EXPECT_NE(r.out.find("version      V3\\x1b]0;owned\\x07\\x1b[2J\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("3m\\x1b[31m21j27 全国图资\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\n             3m21j27_0e"), std::string::npos) << "the second map on its own line";
}

TEST_F(CliTest, SearchDownloadsTheReleaseOrItsTorrent) {
  ProcessResult r = Cli(std::vector<std::string>{"search", "3261", "--download", "-o", folder.string()} + Servers());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadAll(folder / "V3.2.1.zip"), SampleFileFor(kRelease));
  r = Cli(std::vector<std::string>{"search", "3261", "--download", "bt", "-o", folder.string()} + Servers());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadAll(folder / "V3.2.1.torrent"), SampleFileFor(kReleaseTorrent, portal.host()));
  // The pair the window leaves behind verifies, the torrent found beside the archive.
  r = Cli({"verify", (folder / "V3.2.1.zip").string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("校验通过：129 块"), std::string::npos) << r.out;
}

// One proxy rule for every request: the portal's form, the size probe of the torrent, the
// engine's download and the torrent fetched for a check all go through http_proxy.
TEST_F(CliTest, EveryRequestOfASearchAndDownloadGoesThroughTheProxy) {
  LoggingProxy proxy;
  setenv("http_proxy", ("http://" + proxy.address()).c_str(), 1);
  setenv("no_proxy", "", 1);
  setenv("NO_PROXY", "", 1);
  ProcessResult r = Cli(std::vector<std::string>{"search", "3261", "--download", "-o", folder.string()} + Servers());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadAll(folder / "V3.2.1.zip"), SampleFileFor(kRelease));
  r = Cli(std::vector<std::string>{"verify", (folder / "V3.2.1.zip").string(), "--device", "3261"} + Servers());
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string base = "http://" + portal.host();
  std::vector<std::string> seen = proxy.seen();
  auto count = [&](const std::string& start) {
    return std::count_if(seen.begin(), seen.end(), [&](const std::string& s) { return s.starts_with(start); });
  };
  std::string all;
  for (const std::string& s : seen) all += s + "\n";
  EXPECT_EQ(count("POST " + base + "/channel.php?"), 2) << all;  // two searches
  EXPECT_GE(count("GET " + base + kReleaseTorrent), 3) << all;   // two probes, one check
  EXPECT_GE(count("GET " + base + kRelease), 1) << all;          // the engine
  for (const std::string& s : seen) EXPECT_TRUE(s.find(" " + base + "/") != std::string::npos) << s;

  // A host the no_proxy list names goes direct.
  setenv("no_proxy", "localhost, 127.0.0.1", 1);
  const size_t before = proxy.seen().size();
  r = Cli(std::vector<std::string>{"search", "3261"} + Servers());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(proxy.seen().size(), before);
}

TEST_F(CliTest, MapDataRefusesBadInputAndDownloadsNothing) {
  auto md = [&](std::vector<std::string> args) { return Cli(std::vector<std::string>{"mapdata"} + args + Servers()); };
  EXPECT_EQ(md({"3m21/j27", "--kind", "1", "-o", folder.string()}).status, 2);
  ProcessResult r = md({"3m21j27", "--kind", "1,nope", "-o", folder.string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("没有这种图资：“nope”"), std::string::npos) << r.err;
  EXPECT_EQ(md({"3m21j27", "--kind", "24", "-o", folder.string()}).status, 2);
  EXPECT_EQ(md({"3m21j27", "-o", folder.string()}).status, 2) << "no kind";
  EXPECT_EQ(md({"3m21j27", "--kind", "1", "--jobs", "0", "-o", folder.string()}).status, 2);
  r = md({"3m21j27", "--kind", "1,5", "-o", folder.string()});
  EXPECT_EQ(r.status, 2) << "a kind that needs an id, named without one";
  EXPECT_NE(r.err.find("patches 需要增量更新编号（--id）"), std::string::npos) << r.err;
  r = md({"3m21j27", "--kind", "1", "--limit-rate", "2MB", "-o", folder.string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--limit-rate 取每秒字节数"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(folder)) << "nothing downloaded, not even the folder made";
  fs::create_directories(scratch.folder() / "ro");
  fs::permissions(scratch.folder() / "ro", fs::perms::owner_read | fs::perms::owner_exec);
  if (access((scratch.folder() / "ro").c_str(), W_OK) != 0) {  // root writes anywhere
    r = md({"3m21j27", "--kind", "1", "-o", (scratch.folder() / "ro").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot be written"), std::string::npos);
  }
  fs::permissions(scratch.folder() / "ro", fs::perms::owner_all);
}

TEST_F(CliTest, MapDataFailuresAreListedWithTheirReason) {
  RawServer missing(
      [](int fd, const std::string&) { RawServer::Send(fd, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"); });
  ProcessResult r = Cli({"mapdata", "3m21j27", "--kind", "tmc,pt", "-o", folder.string(), "--download-server",
                         "127.0.0.1:" + std::to_string(missing.port())});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("服务器返回 404"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("由设置文件"), std::string::npos) << "a 404 is no unreachable server";
  r = Cli({"mapdata", "3m21j27", "--kind", "tmc", "-o", folder.string(), "--download-server", "127.0.0.1:1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("下载服务器 127.0.0.1:1 由设置文件 "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("--download-server"), std::string::npos) << r.out;
}

// Two downloads at once share one limit: 4 MB at 2 MiB/s take about two seconds.
TEST_F(CliTest, MapDataDownloadsShareOneSpeedLimit) {
  const auto started = std::chrono::steady_clock::now();
  ProcessResult r = Cli(std::vector<std::string>{"mapdata", "3m21j27", "--kind", "tmc,pt", "--jobs", "2",
                                                 "--limit-rate", "2M", "-o", folder.string()} +
                        Servers());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const double bytes = double(fs::file_size(folder / "tmc.ndz") + fs::file_size(folder / "pt.ndz"));
  EXPECT_GE(seconds, 0.9 * bytes / double(2 << 20)) << "faster than the limit";
}

// Ctrl-C pauses every download with its resume data (130); the same command resumes them and
// skips what is complete.
TEST_F(CliTest, AnInterruptedMapDataAllResumes) {
  portal.files().SetFaults({.bytesPerSecond = 1 << 20});
  const std::vector<std::string> args = {QUORVEL_CLI,  "mapdata", "3m21j27", "--kind",        "all",
                                         "--jobs",     "3",       "-o",      folder.string(), "--download-server",
                                         portal.host()};
  Process first(args);
  // The fourth kind starts once one of the first three has completed.
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(folder / "tmc.ndz.part"); }, 20000)) << "one completed";
  first.Signal(SIGINT);
  ProcessResult r = first.Finish(20000);
  ASSERT_EQ(r.status, 130) << r.out << r.err;
  EXPECT_NE(r.out.find("已暂停"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("跳过 patches：需要增量更新编号（--id）"), std::string::npos);
  int parts = 0;
  for (const auto& e : fs::directory_iterator(folder)) parts += e.path().extension() == ".part";
  EXPECT_GE(parts, 1) << "resume data kept";

  portal.files().SetFaults({});
  const size_t before = portal.files().bytesServed();
  r = RunProgram(args, {}, 60000);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("文件已在，跳过"), std::string::npos) << "the completed one is skipped";
  const auto kinds = catalogue::MapDataKinds();
  size_t total = 0;
  for (int row = 0; row < int(kinds.size()); ++row) {
    if (catalogue::TakesUpdateIdentifier(row)) continue;
    const auto order = catalogue::MapDataAddress({row, "3m21j27", "", false, false}, "");
    const std::string want = SampleFileFor(order->address());
    total += want.size();
    EXPECT_EQ(ReadAll(folder / order->name), want) << order->name;
  }
  EXPECT_LT(portal.files().bytesServed() - before, total) << "the second run fetched less than everything";
}

// A file of the right name is kept only when the record of its download still holds and the
// server names the same size and validators; any other is fetched again.
TEST_F(CliTest, MapDataKeepsOnlyWhatIsProvenTheServersFile) {
  auto md = [&](const char* version) {
    return Cli(std::vector<std::string>{"mapdata", version, "--kind", "pro,tmc", "-o", folder.string()} + Servers());
  };
  const std::string newPro = SampleFileFor("/data/3m22a01/data_3m22a01/pro.ndz");
  ProcessResult r = md("3m21j27");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  size_t before = portal.files().bytesServed();
  r = md("3m21j27");
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("文件已在，跳过"), std::string::npos) << r.out;
  EXPECT_EQ(portal.files().bytesServed(), before) << "proven by one HEAD each";

  r = md("3m22a01");  // another version: the old files of the same names are no proof
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("无法确认与服务器上的相同"), std::string::npos) << r.out;
  EXPECT_EQ(ReadAll(folder / "pro.ndz"), newPro);

  portal.files().SetContent("", "\"v2\"");  // the server's file changed under the same address
  before = portal.files().bytesServed();
  ASSERT_EQ(md("3m22a01").status, 0);
  EXPECT_GT(portal.files().bytesServed(), before + newPro.size()) << "fetched again";

  Write(folder / "pro.ndz", "<html>login</html>");  // a file that another program left
  ASSERT_EQ(md("3m22a01").status, 0);
  EXPECT_EQ(ReadAll(folder / "pro.ndz"), newPro);
}

// A captive portal's page is never saved as a package, nor skipped as one by the next run.
TEST_F(CliTest, MapDataNeverTakesACaptivePageForAPackage) {
  portal.files().SetFaults({.loginPage = true});
  ProcessResult r =
      Cli(std::vector<std::string>{"mapdata", "3m21j27", "--kind", "pro", "-o", folder.string()} + Servers());
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("服务器返回的是网页，不是该文件"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(folder / "pro.ndz"));
  Write(folder / "V3.2.1.zip", "<html>login</html>");
  r = Cli(std::vector<std::string>{"search", "3261", "--download", "-o", folder.string()} + Servers());
  EXPECT_EQ(r.status, 2) << r.out << r.err;
  EXPECT_EQ(ReadAll(folder / "V3.2.1.zip"), "<html>login</html>") << "the old file stays as it was";
  portal.files().SetFaults({});
  r = Cli(std::vector<std::string>{"search", "3261", "--download", "-o", folder.string()} + Servers());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(ReadAll(folder / "V3.2.1.zip"), SampleFileFor(kRelease));
}

// The BT forms, then their content from the download server named in them as a web seed.
TEST_F(CliTest, MapDataTorrentsAndThenTheirContent) {
  ProcessResult r = Cli(
      std::vector<std::string>{"mapdata", "3m21j27", "--kind", "tmc,0e", "--bt", "--content", "-o", folder.string()} +
      Servers());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(ReadAll(folder / "tmc.ndz"), SampleFileFor("/data/3m21j27/data_3m21j27/tmc.ndz"));
  EXPECT_TRUE(fs::exists(folder / "nvdd_0e_3m21j27.zip")) << "a BT form that is an archive is content already";
  EXPECT_EQ(Cli({"mapdata", "3m21j27", "--kind", "tmc", "--content"}).status, 2) << "--content without --bt";
}

// The content of a torrent from its web seed, by file and by address; 0 only when complete.
TEST_F(CliTest, TorrentFetchesTheContentThroughItsWebSeed) {
  const std::string content = PatternBytes(1 << 20, 51);
  FileServer seed(content);
  fs::create_directories(folder);
  Write(folder / "m.torrent", torrent::CreateTorrent("m.ndz", content, 32 << 10, seed.url("m.ndz")));
  ProcessResult r = Cli({"torrent", (folder / "m.torrent").string(), "-o", (folder / "content").string()});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(ReadAll(folder / "content" / "m.ndz"), content);
  EXPECT_NE(r.out.find("完成：每一块都已校验"), std::string::npos) << r.out;
  FileServer torrentServer(torrent::CreateTorrent("m.ndz", content, 32 << 10, seed.url("m.ndz")));
  r = Cli({"torrent", torrentServer.url("m.torrent"), "-o", (folder / "again").string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Cli({"torrent", (folder / "missing.torrent").string()}).status, 2);
  EXPECT_EQ(Cli({"torrent", (folder / "m.torrent").string(), "--port", "70000"}).status, 2);
  // The help lists the server options for the commands that ask a server; torrent says why not.
  r = Cli({"torrent", (folder / "m.torrent").string(), "--download-server", "127.0.0.1:1"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("torrent 不用 --download-server"), std::string::npos) << r.err;
  // Anything about the torrent file itself is the argument's fault, as the README's table says.
  Write(folder / "junk.torrent", "d4:infoi1ee");
  r = Cli({"torrent", (folder / "junk.torrent").string(), "-o", (folder / "x").string()});
  EXPECT_EQ(r.status, 2) << "not a torrent";
  EXPECT_NE(r.err.find("不是可用的种子"), std::string::npos) << r.err;
  Write(folder / "huge.torrent", std::string((64 << 20) + 1, 'd'));
  EXPECT_EQ(Cli({"torrent", (folder / "huge.torrent").string(), "-o", (folder / "x").string()}).status, 2)
      << "too large to be a torrent";
  EXPECT_FALSE(fs::exists(folder / "x")) << "nothing made for it";
}

}  // namespace
