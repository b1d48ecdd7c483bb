#include "mapdata.h"

#include "bytetext.h"

namespace {

// The package name of each row of the standard form (rows 0, 20 to 23 have their own forms).
const char* const kPackages[24] = {
    "", "3d_a1", "3d_a0", "tmc", "pt", "patches", "dynmap", "data1", "data2", "data3", "data4", "data5",
    "poiex", "copoi", "rjv", "pro", "pro1", "pro2", "navisub", "spedata", "", "", "", ""};

// Region codes are written with the digit zero.
const char* const kRegions[4] = {"0e", "0s", "0w", "0n"};

const char* const kHints[4] = {
    "【东区=0E=】在全国基础上去掉\r\n【重庆、四川、贵州、云南、西藏、陕西、甘肃、青海、宁夏、新疆】\r\n10 个省级单位",
    "【南区=0S=】在全国基础上去掉\r\n【 河北、 北京、 天津、 内蒙、 山西、 黑龙江、 吉林 、辽宁】\r\n8个省级单位",
    "【西区=0W=】在全国基础上去掉\r\n【上海、江苏、安徽、福建、江西、山东、浙江】\r\n 7 个省级单位",
    "【北区=0N=】在全国基础上去掉\r\n【广东、广西、海南、贵州、云南、西藏、香港、澳门】\r\n8个省级单位",
};

}  // namespace

std::optional<MapDataDownload> MapDataAddress(const MapDataChoice& c, const std::string& server) {
  if (c.row < 0 || c.row > 23) return std::nullopt;
  const std::string v = bytetext::AsciiLowerUtf8(c.version);
  const std::string d = server + "/data/" + v, t = server + "/torrent/ntorrent/data/" + v;
  const std::string k = kPackages[c.row];
  auto standard = [&](const std::string& name) {
    return c.btMode ? MapDataDownload{d + "/torrent/" + name + ".torrent", name + ".torrent"}
                    : MapDataDownload{d + "/data_" + v + "/" + name + ".ndz", name + ".ndz"};
  };
  auto incremental = [&](const std::string& folder, const std::string& name) {
    const std::string file = name + (c.btMode ? ".torrent" : ".ndz");
    return MapDataDownload{d + "/" + folder + "/" + file, file};
  };
  switch (c.row) {
    case 0: return MapDataDownload{t + "/data_" + v + ".zip", "data_" + v + ".zip"};
    case 5:
      if (c.incremental.empty()) return standard(k);
      return incremental("datazl_p_" + v + "_" + bytetext::AsciiLowerUtf8(c.incremental), "patches");
    case 6:
      if (c.incremental.empty()) return standard(k);
      return incremental("datazl_d_" + c.incremental, "dynmap");
    case 14:
      return c.btMode ? standard(k) : MapDataDownload{d + "/rjv_" + v + "/rjv.ndz", "rjv.ndz"};
    case 18:
      return c.btMode ? standard(k) : MapDataDownload{d + "/data_" + v + "/navisub.cld", "navisub.cld"};
    case 20: case 21: case 22: case 23: {
      const std::string set = std::string("nvdd_") + kRegions[c.row - 20] + "_" + v;
      if (c.btMode) return MapDataDownload{t + "/" + set + ".zip", set + ".zip"};
      const std::string file = set + (c.secondPart ? "_2.ndz" : "_1.ndz");
      return MapDataDownload{d + "/" + set + "/" + file, file};
    }
    default: return standard(k);
  }
}

std::optional<std::string> RegionHint(int row) {
  if (row < 20 || row > 23) return std::nullopt;
  return kHints[row - 20];
}
