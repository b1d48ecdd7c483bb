// quorvel-cli mapdata VERSION --kind ...: the map-data downloads of the window's combo box,
// several at a time.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "batch.h"
#include "commands.h"
#include "mapdata.h"
#include "platform/terminal.h"

namespace cli {

namespace {

// A map-data version is letters and digits ("3m21j27"): it becomes part of addresses and names.
bool ValidVersion(const std::string& v) {
  if (v.empty() || v.size() > 32) return false;
  return std::all_of(v.begin(), v.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

// A row by its number (0 to 23) or its name in the kinds' table.
std::optional<int> RowOf(const std::string& kind) {
  const auto kinds = catalogue::MapDataKinds();
  if (!kind.empty() && kind.size() <= 2 && std::all_of(kind.begin(), kind.end(), ::isdigit)) {
    const int row = std::atoi(kind.c_str());
    if (row < int(kinds.size())) return row;
    return std::nullopt;
  }
  for (size_t row = 0; row < kinds.size(); ++row)
    if (kind == kinds[row].name) return int(row);
  return std::nullopt;
}

std::string KindNames() {
  std::string names;
  for (const catalogue::MapDataKind& k : catalogue::MapDataKinds())
    names += std::string(names.empty() ? "" : ", ") + k.name;
  return names;
}

// The rows asked for; nothing (with a message) for an unknown kind.
std::optional<std::vector<int>> Rows(const std::string& list, bool haveId) {
  std::vector<int> rows;
  if (list == "all") {
    for (int row = 0; row < int(catalogue::MapDataKinds().size()); ++row) {
      if (catalogue::TakesUpdateIdentifier(row) && !haveId) {
        std::printf("跳过 %s：需要增量更新编号（--id）\n", catalogue::MapDataKinds()[size_t(row)].name);
        continue;
      }
      rows.push_back(row);
    }
    return rows;
  }
  size_t start = 0;
  while (start <= list.size()) {
    const size_t comma = std::min(list.find(',', start), list.size());
    const std::string kind = list.substr(start, comma - start);
    const std::optional<int> row = RowOf(kind);
    if (!row) {
      BadArguments("没有这种图资：“" + kind + "”（用 0 到 23 的编号、all，或以下名称之一：" + KindNames() + "）");
      return std::nullopt;
    }
    if (catalogue::TakesUpdateIdentifier(*row) && !haveId) {  // as `all` skips them: never an address without it
      BadArguments(std::string(catalogue::MapDataKinds()[size_t(*row)].name) + " 需要增量更新编号（--id）");
      return std::nullopt;
    }
    if (std::find(rows.begin(), rows.end(), *row) == rows.end()) rows.push_back(*row);  // each kind once
    start = comma + 1;
  }
  return rows;
}

}  // namespace

int MapData(const Arguments& given) {
  Arguments args = given;
  catalogue::Servers servers;
  if (!TakeServerOptions(args, servers)) return 2;
  std::string kinds, id, folder = ".", jobsText = "2";
  if (!TakeValue(args, "--kind", kinds) || !TakeValue(args, "--id", id) || !TakeValue(args, "-o", folder) ||
      !TakeValue(args, "--jobs", jobsText))
    return BadArguments("--kind、--id、-o 和 --jobs 需要一个值");
  std::int64_t limit = 0;
  if (!TakeLimitRate(args, limit)) return 2;
  const bool bt = TakeFlag(args, "--bt"), part2 = TakeFlag(args, "--part2"), content = TakeFlag(args, "--content");
  if (content && !bt) return BadArguments("--content 与 --bt 一起用：种子的内容");
  if (args.size() != 1) return BadArguments("mapdata 需要一个图资版本，如 3m21j27");
  const std::string& version = args[0];
  if (!ValidVersion(version)) return BadArguments("不是图资版本：“" + version + "”（字母和数字，如 3m21j27）");
  if (kinds.empty()) return BadArguments("缺少 --kind（0 到 23 的编号、列表或 all）");
  if (!ValidVersion(id) && !id.empty()) return BadArguments("不是增量更新编号：“" + id + "”");
  const int parallel = std::atoi(jobsText.c_str());
  if (parallel < 1 || parallel > 8) return BadArguments("--jobs 取 1 到 8");
  const std::optional<std::vector<int>> rows = Rows(kinds, !id.empty());
  if (!rows) return 2;
  if (!UsableFolder(folder)) return 2;
  std::vector<common::DownloadOrder> orders;
  for (int row : *rows) {
    common::DownloadOrder order = *catalogue::MapDataAddress({row, version, id, bt, part2}, servers.download);
    order.folder = folder;
    orders.push_back(std::move(order));
  }
  Display display(platform::IsTerminal(stdout));
  const BatchResult result = RunBatch(orders, parallel, limit, display, gInterrupted);
  PrintSummary(result, servers.download);
  if (result.interrupted) return 130;
  if (!content || !result.AllDone()) return result.AllDone() ? 0 : 1;
  // Then each torrent's content, one after the other (the BT forms that are archives already
  // are content themselves).
  int status = 0;
  for (const common::DownloadOrder& order : orders) {
    if (!order.IsTorrent()) continue;
    const int fetched = FetchContent(order.folder + "/" + order.name, order.folder, limit);
    if (fetched == 130) return 130;
    if (fetched != 0) status = 1;
  }
  return status;
}

}  // namespace cli
