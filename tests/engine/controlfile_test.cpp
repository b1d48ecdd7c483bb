// The state file beside a download's data: what comes back is what was written, and any
// damage is refused, never trusted.

#include <gtest/gtest.h>

#include "controlfile.h"

using namespace dlcore;

namespace {

ControlState SampleState() {
  ControlState s;
  s.url = "http://dl.test/3m21j27.zip";
  s.total = 10 << 20;
  s.rangeable = true;
  s.etag = "\"abc\"";
  s.lastModified = "Mon, 07 Dec 2026 08:00:00 GMT";
  s.done.Add({0, 1 << 20});
  s.done.Add({5 << 20, 6 << 20});
  return s;
}

TEST(ControlFile, RoundTripAndEveryDamageIsRefused) {
  const ControlState s = SampleState();
  const std::string bytes = EncodeControl(s);
  auto back = DecodeControl(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, s);

  EXPECT_FALSE(DecodeControl(""));
  EXPECT_FALSE(DecodeControl(bytes.substr(0, bytes.size() / 2))) << "torn";
  EXPECT_FALSE(DecodeControl(std::string(bytes.size(), '\0'))) << "zero-filled";
  for (size_t i = 0; i < bytes.size(); i += 7) {
    std::string flipped = bytes;
    flipped[i] ^= 0x20;
    EXPECT_FALSE(DecodeControl(flipped)) << "byte " << i;
  }
  ControlState beyond = s;
  beyond.done.Add({(10 << 20) - 5, (10 << 20) + 5});
  EXPECT_FALSE(DecodeControl(EncodeControl(beyond))) << "ranges past the size";
}

}  // namespace
