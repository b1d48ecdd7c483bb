#pragma once
// quorvel-cli run as a user runs it, against the sample portal and download server on 127.0.0.1.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../../fixtures/files.h"
#include "../../fixtures/process.h"
#include "../../fixtures/sampleportal.h"
#include "../../fixtures/scratch.h"

namespace fs = std::filesystem;

inline const std::string kRelease = "/app/oem/20200202/3261/V3.2.1.zip";
inline const std::string kReleaseTorrent = "/torrent/ntorrent/app/oem/20200202/3261/V3.2.1.zip.torrent";

class CliTest : public testing::Test {
 protected:
  ScratchConfig scratch;
  SamplePortal portal;
  fs::path folder = scratch.folder() / "out";

  ProcessResult Cli(std::vector<std::string> args, int ms = 30000) {
    args.insert(args.begin(), QUORVEL_CLI);
    return RunProgram(args, {}, ms);
  }
  std::vector<std::string> Servers() { return {"--portal", portal.host(), "--download-server", portal.host()}; }
  void Write(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
};

inline std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
