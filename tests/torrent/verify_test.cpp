#include "verify.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "../fixtures/fileserver.h"
#include "../fixtures/scratch.h"

namespace fs = std::filesystem;

namespace {

class VerifyTest : public testing::Test {
 protected:
  ScratchConfig scratch;
  const std::string content = PatternBytes(100000, 7);  // 6 pieces of 16 KiB and a short seventh
  const std::string torrent = torrent::CreateTorrent("a.zip", content, 16 << 10);

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = (scratch.folder() / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
};

TEST_F(VerifyTest, EveryBadPieceWithItsBytes) {
  torrent::Verification v = torrent::VerifyArchive(Write("a.zip", content), torrent);
  EXPECT_TRUE(v.Passed()) << v.failure;
  EXPECT_EQ(v.pieces, 7);
  EXPECT_EQ(v.name, "a.zip");
  std::string damaged = content;
  damaged[0] ^= 1;
  damaged[99999] ^= 1;  // in the short last piece
  v = torrent::VerifyArchive(Write("b.zip", damaged), torrent);
  ASSERT_TRUE(v.checked);
  ASSERT_EQ(v.bad.size(), 2u);
  EXPECT_EQ(v.bad[0].index, 0);
  EXPECT_EQ(v.bad[0].end, 16384);
  EXPECT_EQ(v.bad[1].index, 6);
  EXPECT_EQ(v.bad[1].begin, 6 * 16384);
  EXPECT_EQ(v.bad[1].end, 100000);
}

TEST_F(VerifyTest, WhatCannotBeComparedSaysWhy) {
  EXPECT_NE(torrent::VerifyArchive(Write("short.zip", content.substr(1)), torrent).failure.find("种子说是 100000 字节"),
            std::string::npos);
  EXPECT_FALSE(torrent::VerifyArchive(Write("a.zip", content), "not a torrent").checked);
  EXPECT_FALSE(torrent::VerifyArchive(Write("a.zip", content), "").checked);
  EXPECT_FALSE(torrent::VerifyArchive((scratch.folder() / "missing.zip").string(), torrent).checked);
  EXPECT_FALSE(torrent::VerifyArchive(scratch.folder().string(), torrent).checked) << "a folder";
  bool asked = false;
  const torrent::Verification stopped = torrent::VerifyArchive(Write("a.zip", content), torrent, [&](std::int64_t) {
    asked = true;
    return false;
  });
  EXPECT_TRUE(asked);
  EXPECT_EQ(stopped.failure, "已停止");
}

TEST_F(VerifyTest, TheTorrentFetchedFromTheServer) {
  FileServer server(torrent);
  const std::string archive = Write("a.zip", content);
  EXPECT_TRUE(torrent::VerifyWithTorrentFrom(archive, server.url("a.torrent"), nullptr).Passed());
  server.SetFaults({.status = 404});
  const torrent::Verification missing = torrent::VerifyWithTorrentFrom(archive, server.url("a.torrent"), nullptr);
  EXPECT_FALSE(missing.checked);
  EXPECT_EQ(missing.failure, "种子下载失败：404 Fault");
  EXPECT_EQ(torrent::VerifyWithTorrentFrom(archive, server.url("a.torrent"), [] { return false; }).failure, "已停止");
}

}  // namespace
