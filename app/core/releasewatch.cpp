#include "releasewatch.h"

#include "utf8.h"

namespace core {

bool ReleaseCheckDue(bool enabled, const std::string& device, const std::string& lastSeen,
                     const std::string& lastCheckDay, const std::string& today) {
  return enabled && !device.empty() && lastSeen.starts_with(device + "|") && lastCheckDay != today;
}

std::string SeenText(const std::string& device, const catalogue::ReleaseRow& row) {
  return device + "|" + row.version + "|" + row.releaseDate;
}

bool IsNewRelease(const std::string& lastSeen, const std::string& device, const catalogue::ReleaseRow& row) {
  return lastSeen.starts_with(device + "|") && lastSeen != SeenText(device, row);
}

void ReleaseWatch::Start(const std::string& device, const catalogue::Servers& servers) {
  if (thread_.joinable()) return;
  shared_ = std::make_shared<Shared>();
  thread_ = std::thread([shared = shared_, unit = common::Utf8ToUtf16(device), servers] {
    shared->result = catalogue::SearchRelease(unit, servers, [&shared] { return !shared->stop.load(); });
    shared->done = true;
  });
}

std::optional<catalogue::ReleaseSearch> ReleaseWatch::Take() {
  if (!thread_.joinable() || !shared_->done) return std::nullopt;
  thread_.join();
  return std::move(shared_->result);
}

void ReleaseWatch::Stop() {
  if (!thread_.joinable()) return;
  shared_->stop = true;
  thread_.join();
}

}  // namespace core
