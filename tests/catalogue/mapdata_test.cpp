#include "mapdata.h"

#include <gtest/gtest.h>

using namespace catalogue;

namespace {

const std::string S = "http://dl.test";

// Where a package is and what it is called.
struct Where {
  std::string address, fileName;
  bool operator==(const Where&) const = default;
};

Where At(int row, bool bt, bool part2 = false, const std::string& v = "3M21J27", const std::string& i = "") {
  const common::DownloadOrder order = catalogue::MapDataAddress({row, v, i, bt, part2}, S).value();
  EXPECT_EQ(order.sources.size(), 1u);
  return {order.address(), order.name};
}

// Every row in both modes: file mode, then BT mode.
TEST(MapDataCatalogue, AllRowsInBothModes) {
  const std::string d = S + "/data/3m21j27", t = S + "/torrent/ntorrent/data/3m21j27";
  auto standard = [&](const std::string& k) {
    return std::pair{Where{d + "/data_3m21j27/" + k + ".ndz", k + ".ndz"},
                     Where{d + "/torrent/" + k + ".torrent", k + ".torrent"}};
  };
  const std::pair<Where, Where> want[24] = {
      {{t + "/data_3m21j27.zip", "data_3m21j27.zip"}, {t + "/data_3m21j27.zip", "data_3m21j27.zip"}},
      standard("3d_a1"),
      standard("3d_a0"),
      standard("tmc"),
      standard("pt"),
      standard("patches"),
      standard("dynmap"),
      standard("data1"),
      standard("data2"),
      standard("data3"),
      standard("data4"),
      standard("data5"),
      standard("poiex"),
      standard("copoi"),
      {{d + "/rjv_3m21j27/rjv.ndz", "rjv.ndz"}, standard("rjv").second},
      standard("pro"),
      standard("pro1"),
      standard("pro2"),
      {{d + "/data_3m21j27/navisub.cld", "navisub.cld"}, standard("navisub").second},
      standard("spedata"),
      {{d + "/nvdd_0e_3m21j27/nvdd_0e_3m21j27_1.ndz", "nvdd_0e_3m21j27_1.ndz"},
       {t + "/nvdd_0e_3m21j27.zip", "nvdd_0e_3m21j27.zip"}},
      {{d + "/nvdd_0s_3m21j27/nvdd_0s_3m21j27_1.ndz", "nvdd_0s_3m21j27_1.ndz"},
       {t + "/nvdd_0s_3m21j27.zip", "nvdd_0s_3m21j27.zip"}},
      {{d + "/nvdd_0w_3m21j27/nvdd_0w_3m21j27_1.ndz", "nvdd_0w_3m21j27_1.ndz"},
       {t + "/nvdd_0w_3m21j27.zip", "nvdd_0w_3m21j27.zip"}},
      {{d + "/nvdd_0n_3m21j27/nvdd_0n_3m21j27_1.ndz", "nvdd_0n_3m21j27_1.ndz"},
       {t + "/nvdd_0n_3m21j27.zip", "nvdd_0n_3m21j27.zip"}},
  };
  for (int row = 0; row < 24; ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(At(row, false), want[row].first);
    EXPECT_EQ(At(row, true), want[row].second);
  }
  EXPECT_FALSE(catalogue::MapDataAddress({-1, "v", "", false, false}, S));
  EXPECT_FALSE(catalogue::MapDataAddress({24, "v", "", false, false}, S));
  // What follows a download depends on its kind: a torrent may go on with its content.
  using common::DownloadKind;
  auto kind = [](int row, bool bt) { return catalogue::MapDataAddress({row, "v", "", bt, false}, S)->kind; };
  EXPECT_EQ(kind(3, false), DownloadKind::kMapData);
  EXPECT_EQ(kind(3, true), DownloadKind::kMapDataTorrent);
  EXPECT_EQ(kind(0, true), DownloadKind::kMapData) << "the whole set's BT form is an archive";
  EXPECT_EQ(kind(20, true), DownloadKind::kMapData);
}

TEST(MapDataCatalogue, IncrementalAndRegionalForms) {
  EXPECT_EQ(At(5, true, false, "3m21j27", "SP2").address, S + "/data/3m21j27/datazl_p_3m21j27_sp2/patches.torrent");
  EXPECT_EQ(At(5, false, false, "3m21j27", "SP2"),
            (Where{S + "/data/3m21j27/datazl_p_3m21j27_sp2/patches.ndz", "patches.ndz"}));
  EXPECT_EQ(At(6, false, false, "3m21j27", "201703001").address, S + "/data/3m21j27/datazl_d_201703001/dynmap.ndz");
  EXPECT_EQ(At(6, true, false, "3m21j27", "AbC").address, S + "/data/3m21j27/datazl_d_AbC/dynmap.torrent")
      << "row 6's identifier is never lowered";
  EXPECT_EQ(At(5, false, false, "3m21j27", " ").address, S + "/data/3m21j27/datazl_p_3m21j27_ /patches.ndz")
      << "blanks count as an identifier";
  EXPECT_EQ(At(22, false, true).fileName, "nvdd_0w_3m21j27_2.ndz");
  EXPECT_EQ(At(22, true, true).fileName, "nvdd_0w_3m21j27.zip") << "the BT package has no parts";
  EXPECT_EQ(At(1, false, false, "").address, S + "/data//data_/3d_a1.ndz") << "nothing is validated";
}

// A package in file mode names its torrent beside it (its BT form) to be checked against; the
// whole and regional sets' BT forms are archives, so theirs name none.
TEST(MapDataCatalogue, APackageNamesItsTorrent) {
  auto torrentOf = [](int row, bool bt, const std::string& id = "") {
    return catalogue::MapDataAddress({row, "3m21j27", id, bt, false}, S)->torrent;
  };
  EXPECT_EQ(torrentOf(1, false), S + "/data/3m21j27/torrent/3d_a1.torrent");
  EXPECT_EQ(torrentOf(1, false), At(1, true).address);
  EXPECT_EQ(torrentOf(5, false, "SP2"), S + "/data/3m21j27/datazl_p_3m21j27_sp2/patches.torrent");
  EXPECT_EQ(torrentOf(18, false), At(18, true).address) << "the cloud package";
  EXPECT_EQ(torrentOf(1, true), "") << "a torrent is checked against nothing";
  EXPECT_EQ(torrentOf(0, false), "") << "the whole set";
  EXPECT_EQ(torrentOf(21, false), "") << "a regional set";
}

TEST(MapDataCatalogue, RegionHints) {
  EXPECT_FALSE(catalogue::RegionHint(19));
  ASSERT_TRUE(catalogue::RegionHint(20));
  EXPECT_TRUE(catalogue::RegionHint(20)->starts_with("【东区=0E=】在全国基础上去掉\r\n"));
  EXPECT_TRUE(catalogue::RegionHint(22)->ends_with("\r\n 7 个省级单位"));
  EXPECT_NE(catalogue::RegionHint(21)->find("【 河北、 北京、 天津、 内蒙、 山西、 黑龙江、 吉林 、辽宁】"),
            std::string::npos);
}

}  // namespace

namespace {

// The combo box reads its captions from the same table the addresses come from.
TEST(MapDataCatalogue, OneTableForCaptionsFormsAndHints) {
  const auto kinds = catalogue::MapDataKinds();
  ASSERT_EQ(kinds.size(), 24u);
  EXPECT_STREQ(kinds[0].caption, "【CE、Android】标准图资[BT包]");
  EXPECT_STREQ(kinds[6].caption, "标准图资【dynamap.ndz】[201703001]");
  EXPECT_STREQ(kinds[23].caption, "分区图资【北区=ON】");
  for (int row = 0; row < 24; ++row) {
    EXPECT_EQ(catalogue::TakesUpdateIdentifier(row), row == 5 || row == 6) << row;
    EXPECT_EQ(bool(kinds[size_t(row)].hint), row >= 20) << row;
  }
  EXPECT_FALSE(catalogue::TakesUpdateIdentifier(-1));
  EXPECT_FALSE(catalogue::TakesUpdateIdentifier(24));
  EXPECT_EQ(At(1, false, false, "a/../b").fileName, "3d_a1.ndz");
  EXPECT_EQ(At(0, false, false, "../x").fileName, "data_.._x.zip") << "a typed version never leaves the save folder";
}

}  // namespace
