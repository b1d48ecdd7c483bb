// The content of torrents through a seeding libtorrent session the test starts (found through a
// tracker the test serves) and through web seeds, all on 127.0.0.1.
#include "swarm.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <libtorrent/session.hpp>
#include <libtorrent/torrent_info.hpp>
#include <thread>

#include <gtest/gtest.h>

#include "../fixtures/files.h"
#include "../fixtures/fileserver.h"
#include "../fixtures/rawserver.h"
#include "../fixtures/scratch.h"
#include "contentfolder.h"
#include "sources.h"
#include "swarmfixture.h"
#include "verify.h"

namespace fs = std::filesystem;

namespace {

// A tracker that names one peer in every announce answer (compact form).
class Tracker {
 public:
  explicit Tracker(int peerPort)
      : server_([peerPort](int fd, const std::string&) {
          const char peer[6] = {127, 0, 0, 1, char(peerPort >> 8), char(peerPort & 0xFF)};
          const std::string body = "d8:intervali5e5:peers6:" + std::string(peer, 6) + "e";
          RawServer::Send(fd, HttpAnswer("HTTP/1.1 200 OK", "Content-Type: text/plain\r\n", body));
        }) {}
  std::string url() const { return server_.url("/announce"); }

 private:
  RawServer server_;
};

// A libtorrent session seeding `content` from a folder of its own.
class Seeder {
 public:
  // A seeder that does not check what it sends (`checked` false) sends bad content as it is.
  Seeder(const fs::path& folder, const std::string& name, const std::string& content, const std::string& torrentBytes,
         bool checked = true) {
    fs::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary) << content;
    lt::settings_pack s;
    s.set_str(lt::settings_pack::listen_interfaces, "127.0.0.1:0");
    s.set_bool(lt::settings_pack::enable_dht, false);
    s.set_bool(lt::settings_pack::enable_lsd, false);
    s.set_bool(lt::settings_pack::enable_upnp, false);
    s.set_bool(lt::settings_pack::enable_natpmp, false);
    s.set_bool(lt::settings_pack::allow_multiple_connections_per_ip, true);
    s.set_bool(lt::settings_pack::disable_hash_checks, !checked);
    session_ = std::make_unique<lt::session>(s);
    lt::add_torrent_params p;
    p.ti = std::make_shared<lt::torrent_info>(
        lt::span<const char>(torrentBytes.data(), std::ptrdiff_t(torrentBytes.size())), lt::from_span);
    p.save_path = folder.string();
    // Added paused and auto-managed (libtorrent's default), a torrent is started by the session's
    // queue a moment later, and a peer that comes before that is turned away and tried again
    // only a minute later: the seeder runs at once.
    p.flags |= lt::torrent_flags::seed_mode;
    p.flags &= ~(lt::torrent_flags::paused | lt::torrent_flags::auto_managed);
    session_->add_torrent(p);
    // add_torrent is asynchronous too: seed before anyone is told of us.
    for (int i = 0; i < 1000; ++i) {
      const std::vector<lt::torrent_handle> torrents = session_->get_torrents();
      if (!torrents.empty() && torrents[0].status().is_seeding && !(torrents[0].flags() & lt::torrent_flags::paused))
        break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  int port() const { return session_->listen_port(); }
  std::int64_t Uploaded() const {
    std::int64_t total = 0;
    for (const lt::torrent_handle& h : session_->get_torrents()) total += h.status().total_payload_upload;
    return total;
  }

 private:
  std::unique_ptr<lt::session> session_;
};

// A port nobody listens on now, for a session of ours to take.
int FreePort() {
  RawServer probe([](int, const std::string&) {});
  return probe.port();
}

// A peer dialling in from 127.0.0.1: sends the BitTorrent handshake for `infoHash` and says
// whether the other side answered with its own (it took the connection) within 2 s.
bool HandshakeAnswered(int port, const std::string& infoHash) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(std::uint16_t(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const timeval wait{2, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  std::string answer;
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    const std::string hello = std::string(
                                  "\x13"
                                  "BitTorrent protocol") +
                              std::string(8, '\0') + infoHash + "-QT0001-dialsbackin1";
    if (send(fd, hello.data(), hello.size(), MSG_NOSIGNAL) == ssize_t(hello.size())) {
      char buffer[68];
      for (ssize_t n; answer.size() < 68 && (n = recv(fd, buffer, 68 - answer.size(), 0)) > 0;)
        answer.append(buffer, size_t(n));
    }
  }
  close(fd);
  return answer.size() == 68 && answer.substr(28, 20) == infoHash;
}

// A tracker counts as failed after two real failures in a row; an announce that one of our own
// listening sockets skipped (an IPv6 one and an IPv4 tracker) is no failure of the tracker. It
// once ended a download whose tracker had answered on the other socket.
TEST(SwarmSources, ASkippedAnnounceIsNoFailureOfTheTracker) {
  const std::string url = "http://127.0.0.1:1/announce";
  const std::string plain = torrent::CreateTorrent("a", "abc", 16 << 10);
  const std::string t = "d8:announce" + std::to_string(url.size()) + ":" + url + plain.substr(1);
  const lt::torrent_info info(lt::span<const char>(t.data(), std::ptrdiff_t(t.size())), lt::from_span);
  torrent::Sources s(info, /*others=*/false);
  EXPECT_FALSE(s.NoneLeft(0));
  s.TrackerFailed(url, 2, /*skipped=*/true, "skipping tracker announce (unreachable)");
  s.TrackerFailed(url, 3, /*skipped=*/true, "skipping tracker announce (unreachable)");
  EXPECT_FALSE(s.NoneLeft(0)) << s.Errors();
  s.TrackerFailed(url, 1, /*skipped=*/false, "connection refused");
  EXPECT_FALSE(s.NoneLeft(0)) << "once may be a dropped packet";
  s.TrackerFailed(url, 2, /*skipped=*/false, "connection refused");
  EXPECT_TRUE(s.NoneLeft(0));
  EXPECT_FALSE(s.NoneLeft(1)) << "a connected peer is a source";
  EXPECT_EQ(s.Errors(), "tracker " + url + " 出错（connection refused）");
}

TEST_F(SwarmTest, FromASeederFoundThroughTheTracker) {
  const std::string plain = torrent::CreateTorrent("map.ndz", content, 64 << 10);
  Seeder seeder(scratch.folder() / "seed", "map.ndz", content, plain);
  Tracker tracker(seeder.port());
  // The same torrent with the tracker: a new torrent (the announce is outside the info part,
  // so the seeder's info hash is the same).
  const std::string withTracker =
      "d8:announce" + std::to_string(tracker.url().size()) + ":" + tracker.url() + plain.substr(1);
  // The tracker's answer can come late on a loaded machine (libtorrent retries its announce):
  // the stall bound is a minute here.
  torrent::SwarmOptions o = Options();
  o.stallSeconds = 60;
  const torrent::SwarmResult r = torrent::DownloadContent(withTracker, o, nullptr, Never);
  ASSERT_EQ(r.end, torrent::SwarmEnd::kComplete) << r.failure;
  EXPECT_EQ(ReadAll(scratch.folder() / "in" / "map.ndz"), content);
}

// A seeder that sends bad pieces is banned, and a peer from its address that dials back in is
// not taken (one connection an address when no peer is given by hand).
TEST_F(SwarmTest, ABannedPeerCannotDialBackIn) {
  const std::string plain = torrent::CreateTorrent("map.ndz", content, 64 << 10);
  std::string bad = content;
  for (size_t i = 0; i < bad.size(); i += 4096) bad[i] = char(bad[i] ^ 0x5A);  // every piece is bad
  const std::string infoHash =
      lt::torrent_info(lt::span<const char>(plain.data(), std::ptrdiff_t(plain.size())), lt::from_span)
          .info_hashes()
          .v1.to_string();
  // On a loaded machine the two sessions may not meet within the wait (libtorrent backs off
  // after a failed announce or connection): then nothing was banned and nothing can be judged,
  // and the meeting is tried once more with new sessions.
  for (int attempt = 0; attempt < 2; ++attempt) {
    Seeder seeder(scratch.folder() / ("seed" + std::to_string(attempt)), "map.ndz", bad, plain, false);
    ASSERT_NE(seeder.port(), 0);
    Tracker tracker(seeder.port());
    const std::string t = "d8:announce" + std::to_string(tracker.url().size()) + ":" + tracker.url() + plain.substr(1);
    torrent::SwarmOptions o = Options();
    o.port = FreePort();
    o.stallSeconds = 60;  // ended below, once the dial-back is tried (a loaded machine is slow)
    std::atomic<bool> done{false};
    torrent::SwarmResult r;
    std::thread download([&] { r = torrent::DownloadContent(t, o, nullptr, [&] { return done.load(); }); });
    bool sent = false;  // the seeder's first bad piece is out: its address is banned
    for (int i = 0; i < 600 && !(sent = seeder.Uploaded() >= (64 << 10)); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (sent) std::this_thread::sleep_for(std::chrono::seconds(1));
    const bool taken = sent && HandshakeAnswered(o.port, infoHash);
    done = true;
    download.join();
    if (!sent && attempt == 0) continue;
    EXPECT_TRUE(sent) << "the seeder never sent a piece, twice";
    EXPECT_FALSE(taken) << "a peer from the banned address was taken again";
    EXPECT_NE(r.end, torrent::SwarmEnd::kComplete);
    EXPECT_FALSE(fs::exists(scratch.folder() / "in" / "map.ndz")) << "no bad content under its name";
    return;
  }
}

TEST_F(SwarmTest, AnInterruptedDownloadResumes) {
  FileServer server(content);
  server.SetFaults({.bytesPerSecond = 512 << 10});
  const std::string t = torrent::CreateTorrent("map.ndz", content, 64 << 10, server.url("map.ndz"));
  bool stop = false;
  torrent::SwarmResult r = torrent::DownloadContent(
      t, Options(),
      [&](const torrent::SwarmStatus& s) {
        if (s.progress > 0.3f) stop = true;
      },
      [&] { return stop; });
  ASSERT_EQ(r.end, torrent::SwarmEnd::kInterrupted) << r.failure;
  const std::string folder = (scratch.folder() / "in").string();
  EXPECT_TRUE(fs::exists(torrent::ResumeFilePath(folder, "map.ndz"))) << "resume data beside the content";
  EXPECT_FALSE(fs::exists(scratch.folder() / "in" / "map.ndz")) << "an incomplete file never has its own name";
  EXPECT_TRUE(fs::exists(scratch.folder() / "in" / "map.ndz.part"));
  server.SetFaults({});
  const size_t before = server.bytesServed();
  r = torrent::DownloadContent(t, Options(), nullptr, Never);
  ASSERT_EQ(r.end, torrent::SwarmEnd::kComplete) << r.failure;
  EXPECT_EQ(ReadAll(scratch.folder() / "in" / "map.ndz"), content);
  EXPECT_LT(server.bytesServed() - before, content.size() - (content.size() / 4)) << "the first part is kept";
  EXPECT_FALSE(fs::exists(scratch.folder() / "in" / "map.ndz.part"));
}

TEST_F(SwarmTest, ADiscardedDownloadLeavesNothingButCompleteFiles) {
  FileServer server(content);
  server.SetFaults({.bytesPerSecond = 512 << 10});
  const std::string t = torrent::CreateTorrent("map.ndz", content, 64 << 10, server.url("map.ndz"));
  EXPECT_EQ(torrent::ContentName(t), "map.ndz");
  EXPECT_FALSE(torrent::ContentName("d4:junke"));
  bool stop = false;
  const auto r = torrent::DownloadContent(
      t, Options(), [&](const torrent::SwarmStatus& s) { stop = s.progress > 0.1f; }, [&] { return stop; });
  ASSERT_EQ(r.end, torrent::SwarmEnd::kInterrupted) << r.failure;
  const fs::path in = scratch.folder() / "in";
  std::ofstream(in / "other.bin") << "mine";
  torrent::DiscardContent(t, in.string());
  EXPECT_FALSE(fs::exists(in / "map.ndz.part"));
  EXPECT_FALSE(fs::exists(torrent::ResumeFilePath(in.string(), "map.ndz")));
  EXPECT_TRUE(fs::exists(in / "other.bin"));
}

TEST_F(SwarmTest, NoSourceEndsBoundedWithItsResumeData) {
  torrent::SwarmOptions o = Options();
  o.stallSeconds = 300;
  const torrent::SwarmResult r =
      torrent::DownloadContent(torrent::CreateTorrent("alone.bin", content), o, nullptr, Never);
  EXPECT_EQ(r.end, torrent::SwarmEnd::kFailed);
  EXPECT_NE(r.failure.find("没有可用的来源：种子里没有 tracker 也没有网络种子"), std::string::npos)
      << "at once, not after the stall time: " << r.failure;
  o.dht = true;  // a source that may yet bring peers: the stall time holds
  o.stallSeconds = 1;
  const torrent::SwarmResult waited =
      torrent::DownloadContent(torrent::CreateTorrent("alone.bin", content), o, nullptr, Never);
  EXPECT_NE(waited.failure.find("没有对端或网络种子提供数据（1 秒）"), std::string::npos) << waited.failure;
}

// A tracker that is down and a web seed that answers 404: the download ends once both have
// failed (not after the stall time), and says what each answered.
TEST_F(SwarmTest, SourcesThatFailAreNamedAndEndTheDownload) {
  int closedPort;
  {
    RawServer gone([](int, const std::string&) {});
    closedPort = gone.port();
  }
  FileServer missing(content);
  missing.SetFaults({.status = 404});
  const std::string tracker = "http://127.0.0.1:" + std::to_string(closedPort) + "/announce";
  const std::string plain = torrent::CreateTorrent("map.ndz", content, 64 << 10, missing.url("map.ndz"));
  const std::string t = "d8:announce" + std::to_string(tracker.size()) + ":" + tracker + plain.substr(1);
  torrent::SwarmOptions o = Options();
  o.stallSeconds = 300;
  const torrent::SwarmResult r = torrent::DownloadContent(t, o, nullptr, Never);
  ASSERT_EQ(r.end, torrent::SwarmEnd::kFailed);
  EXPECT_NE(r.failure.find("没有可用的来源"), std::string::npos) << r.failure;
  EXPECT_NE(r.failure.find("tracker " + tracker + " 出错（"), std::string::npos) << r.failure;
  EXPECT_NE(r.failure.find("网络种子 " + missing.url("map.ndz") + " 出错（"), std::string::npos) << r.failure;
  EXPECT_TRUE(fs::exists(torrent::ResumeFilePath((scratch.folder() / "in").string(), "map.ndz")));
}

TEST_F(SwarmTest, WhatCannotBeDownloadedSaysWhy) {
  EXPECT_EQ(torrent::DownloadContent("junk", Options(), nullptr, Never).end, torrent::SwarmEnd::kFailed);
  torrent::SwarmOptions o = Options();
  for (const char* bad : {"not-a-peer", "127.0.0.1", "127.0.0.1:12x", "127.0.0.1:0", "127.0.0.1:80/x", "[::1:80",
                          "u@127.0.0.1:80", "localhost:80"}) {
    o.peers = {bad};
    const torrent::SwarmResult r = torrent::DownloadContent(torrent::CreateTorrent("a", content), o, nullptr, Never);
    EXPECT_EQ(r.end, torrent::SwarmEnd::kFailed) << bad;
    EXPECT_NE(r.failure.find("HOST:PORT"), std::string::npos) << bad;
  }
  // Names that on Windows would open a stream or a device, or name another file.
  for (const char* name : {"a:b.ndz", "NUL", "lpt1.ndz", "trail."}) {
    const torrent::SwarmResult r =
        torrent::DownloadContent(torrent::CreateTorrent(name, content), Options(), nullptr, Never);
    EXPECT_EQ(r.end, torrent::SwarmEnd::kFailed) << name;
    EXPECT_NE(r.failure.find("Windows"), std::string::npos) << name << ": " << r.failure;
  }
}

// The content's place is held for the whole download: a second download of the same content into
// the same folder fails at once and writes nothing (two runs 0.5 s apart once both said done with
// zeros in the file).
TEST_F(SwarmTest, ASecondDownloadOfTheSameContentFailsAndWritesNothing) {
  FileServer server(content);
  const std::string t = torrent::CreateTorrent("map.ndz", content, 64 << 10, server.url("map.ndz"));
  const fs::path in = scratch.folder() / "in";
  {
    fs::create_directories(in);
    const torrent::ContentLock first(in.string(), "map.ndz");  // a download of it under way
    ASSERT_TRUE(first.held());
    const torrent::SwarmResult second = torrent::DownloadContent(t, Options(), nullptr, Never);
    EXPECT_EQ(second.end, torrent::SwarmEnd::kFailed);
    EXPECT_NE(second.failure.find("另一个下载正在写入同一内容：map.ndz"), std::string::npos) << second.failure;
    EXPECT_FALSE(fs::exists(in / "map.ndz.part")) << "nothing written";
    EXPECT_EQ(server.bytesServed(), 0u);
  }
  ASSERT_EQ(torrent::DownloadContent(t, Options(), nullptr, Never).end, torrent::SwarmEnd::kComplete);
  EXPECT_FALSE(fs::exists(in / ".map.ndz.quorvel-lock")) << "the lock goes with the download";
}

// A file of the content's name is never written in place: an unfinished new one is "NAME.part"
// beside it, and it is replaced once every piece is checked; one that is complete already is
// taken as it is, checked, and nothing is fetched.
TEST_F(SwarmTest, AFileOfTheSameNameIsNeverWrittenInPlace) {
  FileServer server(content);
  server.SetFaults({.bytesPerSecond = 512 << 10});
  const std::string t = torrent::CreateTorrent("map.ndz", content, 64 << 10, server.url("map.ndz"));
  const fs::path in = scratch.folder() / "in";
  fs::create_directories(in);
  const std::string old = PatternBytes(content.size(), 99);
  WriteFile(in / "map.ndz", old);
  bool stop = false;
  torrent::SwarmResult r = torrent::DownloadContent(
      t, Options(), [&](const torrent::SwarmStatus& s) { stop = s.progress > 0.2f; }, [&] { return stop; });
  ASSERT_EQ(r.end, torrent::SwarmEnd::kInterrupted) << r.failure;
  EXPECT_EQ(ReadAll(in / "map.ndz"), old) << "the old file is untouched";
  EXPECT_TRUE(fs::exists(in / "map.ndz.part"));
  server.SetFaults({});
  ASSERT_EQ(torrent::DownloadContent(t, Options(), nullptr, Never).end, torrent::SwarmEnd::kComplete);
  EXPECT_EQ(ReadAll(in / "map.ndz"), content) << "replaced once complete";
  const size_t before = server.bytesServed();
  ASSERT_EQ(torrent::DownloadContent(t, Options(), nullptr, Never).end, torrent::SwarmEnd::kComplete);
  EXPECT_EQ(server.bytesServed(), before) << "complete already: checked, not fetched";
  EXPECT_FALSE(fs::exists(in / "map.ndz.part"));
}

// A name planted where the content goes (a link to a file elsewhere) is refused before anything
// is opened; too little room is said before anything is allocated.
TEST_F(SwarmTest, PlantedNamesAndTooLittleRoomAreRefusedFirst) {
  FileServer server(content);
  const std::string t = torrent::CreateTorrent("map.ndz", content, 64 << 10, server.url("map.ndz"));
  const fs::path in = scratch.folder() / "in", outside = scratch.folder() / "outside";
  fs::create_directories(in);
  WriteFile(outside, "keep");
  fs::create_symlink(outside, in / "map.ndz.part");
  const torrent::SwarmResult r = torrent::DownloadContent(t, Options(), nullptr, Never);
  EXPECT_EQ(r.end, torrent::SwarmEnd::kFailed);
  EXPECT_NE(r.failure.find("map.ndz.part 不是普通文件"), std::string::npos) << r.failure;
  EXPECT_EQ(ReadAll(outside), "keep");
  EXPECT_FALSE(torrent::NoRoomFor(in.string(), 1));
  const auto noRoom = torrent::NoRoomFor(in.string(), std::int64_t(1) << 60);
  ASSERT_TRUE(noRoom);
  EXPECT_TRUE(noRoom->starts_with("磁盘空间不足")) << *noRoom;
}

}  // namespace
