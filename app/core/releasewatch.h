#pragma once
// 检查新版本: once a day at most, at start, the saved device number is searched on a thread of
// its own; a release row other than the one last seen for that device is news. The search is
// bounded like every search, and asked to stop when the program ends.
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "releasesearch.h"

namespace core {

// Whether a check is due: switched on, a release seen for the device before (else there is
// nothing to compare with), and none yet on `today` ("20261209").
bool ReleaseCheckDue(bool enabled, const std::string& device, const std::string& lastSeen,
                     const std::string& lastCheckDay, const std::string& today);

// What is kept of the last release seen for a device (the settings value 最近主程序).
std::string SeenText(const std::string& device, const catalogue::ReleaseRow& row);
// A found row is news when a release of the same device was seen before and it was another.
bool IsNewRelease(const std::string& lastSeen, const std::string& device, const catalogue::ReleaseRow& row);

class ReleaseWatch {
 public:
  ReleaseWatch() = default;
  ~ReleaseWatch() { Stop(); }
  ReleaseWatch(const ReleaseWatch&) = delete;
  ReleaseWatch& operator=(const ReleaseWatch&) = delete;

  // Searches `device` on a thread of its own; nothing while one runs.
  void Start(const std::string& device, const catalogue::Servers& servers);
  // The search's end once it has come (then it is forgotten); nothing before.
  std::optional<catalogue::ReleaseSearch> Take();
  bool Running() const { return thread_.joinable(); }
  // Asks the search to stop and waits for it (its next network wait ends it).
  void Stop();

 private:
  struct Shared {
    std::atomic<bool> stop{false}, done{false};
    catalogue::ReleaseSearch result;
  };
  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

}  // namespace core
