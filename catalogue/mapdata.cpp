#include "mapdata.h"

#include "ascii.h"
#include "safename.h"

namespace catalogue {

namespace {

using enum MapDataForm;

// Region codes are written with the digit zero; the captions show the letter O.
const MapDataKind kKinds[24] = {
    {"【CE、Android】标准图资[BT包]", "set", "", kWholeSet, nullptr},
    {"标准图资【3d_a1.ndz】", "3d_a1", "3d_a1", kStandard, nullptr},
    {"标准图资【3d_a0.ndz】", "3d_a0", "3d_a0", kStandard, nullptr},
    {"标准图资【tmc.ndz】", "tmc", "tmc", kStandard, nullptr},
    {"标准图资【pt.ndz】", "pt", "pt", kStandard, nullptr},
    {"标准图资【patches.ndz】[sp2]", "patches", "patches", kIncremental, nullptr},
    {"标准图资【dynamap.ndz】[201703001]", "dynmap", "dynmap", kIncremental, nullptr},
    {"标准图资【data1.ndz】", "data1", "data1", kStandard, nullptr},
    {"标准图资【data2.ndz】", "data2", "data2", kStandard, nullptr},
    {"标准图资【data3.ndz】", "data3", "data3", kStandard, nullptr},
    {"标准图资【data4.ndz】", "data4", "data4", kStandard, nullptr},
    {"标准图资【data5.ndz】", "data5", "data5", kStandard, nullptr},
    {"标准图资【poiex.ndz】", "poiex", "poiex", kStandard, nullptr},
    {"标准图资【copoi.ndz】", "copoi", "copoi", kStandard, nullptr},
    {"标准图资【rjv.ndz】", "rjv", "rjv", kOwnFolder, nullptr},
    {"标准图资【pro.ndz】", "pro", "pro", kStandard, nullptr},
    {"标准图资【pro1.ndz】", "pro1", "pro1", kStandard, nullptr},
    {"标准图资【pro2.ndz】", "pro2", "pro2", kStandard, nullptr},
    {"标准图资【navisub.cld】", "navisub", "navisub", kCloud, nullptr},
    {"标准图资【spedata.ndz】", "spedata", "spedata", kStandard, nullptr},
    {"分区图资【东区=OE】", "0e", "0e", kRegion,
     "【东区=0E=】在全国基础上去掉\r\n【重庆、四川、贵州、云南、西藏、陕西、甘肃、青海、宁夏、新疆】\r\n10 个省级单位"},
    {"分区图资【南区=OS】", "0s", "0s", kRegion,
     "【南区=0S=】在全国基础上去掉\r\n【 河北、 北京、 天津、 内蒙、 山西、 黑龙江、 吉林 、辽宁】\r\n8个省级单位"},
    {"分区图资【西区=OW】", "0w", "0w", kRegion,
     "【西区=0W=】在全国基础上去掉\r\n【上海、江苏、安徽、福建、江西、山东、浙江】\r\n 7 个省级单位"},
    {"分区图资【北区=ON】", "0n", "0n", kRegion,
     "【北区=0N=】在全国基础上去掉\r\n【广东、广西、海南、贵州、云南、西藏、香港、澳门】\r\n8个省级单位"},
};

const MapDataKind* KindAt(int row) { return row >= 0 && row < 24 ? &kKinds[row] : nullptr; }

// The update folder of an incremental kind: patches take the version and a lowered
// identifier, the dynamic map the identifier as typed.
std::string UpdateFolder(const std::string& package, const std::string& v, const std::string& identifier) {
  if (package == "patches") return "datazl_p_" + v + "_" + common::AsciiLower(identifier);
  return "datazl_d_" + identifier;
}

// Where a package is and what it is called.
struct DownloadOrder {
  std::string address, fileName;
};

std::optional<DownloadOrder> Address(const MapDataChoice& c, const std::string& server) {
  const MapDataKind* kind = KindAt(c.row);
  if (!kind) return std::nullopt;
  const std::string v = common::AsciiLower(c.version);
  const std::string d = server + "/data/" + v, t = server + "/torrent/ntorrent/data/" + v;
  const std::string k = kind->package;
  const DownloadOrder standard = c.btMode ? DownloadOrder{d + "/torrent/" + k + ".torrent", k + ".torrent"}
                                          : DownloadOrder{d + "/data_" + v + "/" + k + ".ndz", k + ".ndz"};
  switch (kind->form) {
    case kWholeSet: return DownloadOrder{t + "/data_" + v + ".zip", "data_" + v + ".zip"};
    case kStandard: return standard;
    case kIncremental: {
      if (c.incremental.empty()) return standard;
      const std::string file = k + (c.btMode ? ".torrent" : ".ndz");
      return DownloadOrder{d + "/" + UpdateFolder(k, v, c.incremental) + "/" + file, file};
    }
    case kOwnFolder: return c.btMode ? standard : DownloadOrder{d + "/" + k + "_" + v + "/" + k + ".ndz", k + ".ndz"};
    case kCloud: return c.btMode ? standard : DownloadOrder{d + "/data_" + v + "/" + k + ".cld", k + ".cld"};
    case kRegion: {
      const std::string set = "nvdd_" + k + "_" + v;
      if (c.btMode) return DownloadOrder{t + "/" + set + ".zip", set + ".zip"};
      const std::string file = set + (c.secondPart ? "_2.ndz" : "_1.ndz");
      return DownloadOrder{d + "/" + set + "/" + file, file};
    }
  }
  return std::nullopt;
}

}  // namespace

std::span<const MapDataKind> MapDataKinds() { return kKinds; }

std::optional<common::DownloadOrder> MapDataAddress(const MapDataChoice& c, const std::string& server) {
  const std::optional<DownloadOrder> found = Address(c, server);
  if (!found) return std::nullopt;
  common::DownloadOrder order;
  order.sources = {found->address};
  // The typed version and identifier are part of the name: it stays inside the save folder.
  order.name = common::SafeFileName(found->fileName);
  order.kind =
      order.name.ends_with(".torrent") ? common::DownloadKind::kMapDataTorrent : common::DownloadKind::kMapData;
  // A package has its torrent beside it on the server (its BT form), to be checked and repaired
  // against; the whole and regional sets' BT forms are archives themselves.
  const MapDataForm form = KindAt(c.row)->form;
  if (!c.btMode && form != kWholeSet && form != kRegion) {
    MapDataChoice bt = c;
    bt.btMode = true;
    order.torrent = Address(bt, server)->address;
  }
  return order;
}

bool TakesUpdateIdentifier(int row) {
  const MapDataKind* kind = KindAt(row);
  return kind && kind->form == kIncremental;
}

std::optional<std::string> RegionHint(int row) {
  const MapDataKind* kind = KindAt(row);
  if (!kind || !kind->hint) return std::nullopt;
  return kind->hint;
}

}  // namespace catalogue
