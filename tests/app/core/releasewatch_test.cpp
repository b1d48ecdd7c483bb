// The day's check for a new release: when it is due, what is news, and the search in the
// background against a portal on 127.0.0.1 (also one that never answers, which a stop ends).
#include "releasewatch.h"

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "../../fixtures/rawserver.h"
#include "../../fixtures/sampleportal.h"

namespace {

using core::IsNewRelease;
using core::ReleaseCheckDue;

catalogue::ReleaseRow Row(const std::string& version, const std::string& date) {
  catalogue::ReleaseRow row;
  row.version = version;
  row.releaseDate = date;
  return row;
}

TEST(ReleaseCheck, DueOnceADayForADeviceSeenBefore) {
  const std::string seen = core::SeenText("3261", Row("V3.2.1", "2020-02-02"));
  EXPECT_EQ(seen, "3261|V3.2.1|2020-02-02");
  EXPECT_TRUE(ReleaseCheckDue(true, "3261", seen, "20261208", "20261209"));
  EXPECT_TRUE(ReleaseCheckDue(true, "3261", seen, "", "20261209"));
  EXPECT_FALSE(ReleaseCheckDue(true, "3261", seen, "20261209", "20261209")) << "once a day";
  EXPECT_FALSE(ReleaseCheckDue(false, "3261", seen, "", "20261209")) << "switched off";
  EXPECT_FALSE(ReleaseCheckDue(true, "", seen, "", "20261209"));
  EXPECT_FALSE(ReleaseCheckDue(true, "3261", "", "", "20261209")) << "nothing seen to compare with";
  EXPECT_FALSE(ReleaseCheckDue(true, "326", seen, "", "20261209")) << "another device's";

  EXPECT_FALSE(IsNewRelease(seen, "3261", Row("V3.2.1", "2020-02-02")));
  EXPECT_TRUE(IsNewRelease(seen, "3261", Row("V3.2.2", "2020-03-01")));
  EXPECT_TRUE(IsNewRelease(seen, "3261", Row("V3.2.1", "2020-03-01"))) << "the same name published again";
  EXPECT_FALSE(IsNewRelease(seen, "9000", Row("V9", "2020-03-01"))) << "another device: nothing to compare";
  EXPECT_FALSE(IsNewRelease("", "3261", Row("V3.2.2", "2020-03-01")));
}

TEST(ReleaseWatch, SearchesInTheBackgroundAndStopsWhenAsked) {
  SamplePortal portal;
  core::ReleaseWatch watch;
  EXPECT_FALSE(watch.Take().has_value()) << "nothing started";
  watch.Start("3261", {"http://" + portal.host(), "http://" + portal.host()});
  std::optional<catalogue::ReleaseSearch> found;
  for (int i = 0; i < 1000 && !found; ++i) {
    found = watch.Take();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->outcome, catalogue::ReleaseSearch::Outcome::kFound);
  EXPECT_EQ(found->row.version, "V3.2.1");
  EXPECT_FALSE(watch.Running());

  // A portal that takes the request and never answers: the stop ends the wait.
  std::atomic<bool> done{false};
  RawServer silent([&done](int, const std::string&) {
    while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  });
  const std::string host = "http://127.0.0.1:" + std::to_string(silent.port());
  watch.Start("3261", {host, host});
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(watch.Take().has_value());
  watch.Stop();
  EXPECT_FALSE(watch.Running());
  done = true;
}

}  // namespace
