// What the engine takes from its surroundings: the connection cap from the environment, the
// partner and version from id.dat.
#include <cstdlib>

#include <gtest/gtest.h>

#include "engine.h"
#include "platform/process.h"

using namespace dlcore;

namespace {

TEST(ConnectionCap, FromTheEnvironmentWithinOneToSixteen) {
  const std::pair<const char*, int> cases[] = {{"4", 4},  {"1", 1},  {"16", 16}, {"0", 8},
                                               {"17", 8}, {"3x", 8}, {"", 8},    {"-2", 8}};
  for (auto [text, want] : cases) {
    platform::SetEnvironment(kConnectionsVariable, text);
    EXPECT_EQ(ConnectionCapFromEnvironment(8), want) << text;
  }
  platform::SetEnvironment(kConnectionsVariable, "");
  EXPECT_EQ(ConnectionCapFromEnvironment(8), 8);
}

TEST(IdDat, NamesThePartnerAndVersionTowardsServers) {
  EXPECT_EQ(UserAgentFromIdDat("[partner]\r\nid=80000000\r\nver = 3.2.1.26\r\n"),
            "Quorvel-dlcore/3.2.1.26 (partner 80000000)");
  EXPECT_EQ(UserAgentFromIdDat(""), "Quorvel-dlcore");
  EXPECT_EQ(UserAgentFromIdDat("[partner]\r\nid=1\r\n"), "Quorvel-dlcore");
}

}  // namespace
