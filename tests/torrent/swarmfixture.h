#pragma once
// What the swarm's tests share: a fixture with a scratch folder, 3 MiB of content and the
// download's options into "in/".
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "../fixtures/files.h"
#include "../fixtures/scratch.h"
#include "swarm.h"

inline bool Never() { return false; }

class SwarmTest : public testing::Test {
 protected:
  ScratchConfig scratch;
  const std::string content = PatternBytes(3 << 20, 41);
  torrent::SwarmOptions Options() {
    torrent::SwarmOptions o;
    o.folder = (scratch.folder() / "in").string();
    o.stallSeconds = 20;
    std::filesystem::create_directories(o.folder);
    return o;
  }
};
