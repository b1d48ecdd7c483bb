#include "packagestate.h"

#include <filesystem>
#include <system_error>

#include "downloadlist.h"
#include "pathtext.h"
#include "safename.h"

namespace session {

namespace {

// The newest row of the same file.
const ListedDownload* RowOf(const common::DownloadOrder& order, const std::vector<ListedDownload>& rows) {
  for (auto d = rows.rbegin(); d != rows.rend(); ++d)
    if (d->order.folder == order.folder && d->order.name == order.name && !d->Swarm()) return &*d;
  return nullptr;
}

}  // namespace

PackageInFolder StateInFolder(const common::DownloadOrder& order, const std::vector<ListedDownload>& rows) {
  PackageInFolder p;
  if (order.folder.empty() || !common::IsSafeFileName(order.name)) return p;
  const ListedDownload* d = RowOf(order, rows);
  std::error_code ec;
  const std::filesystem::path file = common::PathOf(order.folder) / common::PathOf(order.name);
  if (IsCompleteFile(order.folder, order.name)) {
    // The row's check holds only for the file it checked: the same size.
    const bool checked = d && d->state == ListState::kCompleted && d->verdict == CheckVerdict::kPassed &&
                         std::int64_t(std::filesystem::file_size(file, ec)) == d->total && !ec;
    p.state = checked ? PackageState::kChecked : PackageState::kComplete;
  } else if (std::filesystem::exists(common::PathOf(order.folder) / common::PathOf(order.name + ".part"), ec)) {
    p.state = PackageState::kPartial;
    if (d && d->state != ListState::kCompleted && d->total > 0)
      p.percent = int(std::min<std::int64_t>(d->done * 100 / d->total, 99));
  }
  return p;
}

std::string PackageWords(const PackageInFolder& p) {
  switch (p.state) {
    case PackageState::kChecked: return "已完成，校验通过";
    case PackageState::kComplete: return "已完成";
    case PackageState::kPartial: return p.percent >= 0 ? "未完成 " + std::to_string(p.percent) + "%" : "未完成";
    case PackageState::kMissing: break;
  }
  return "没有";
}

}  // namespace session
