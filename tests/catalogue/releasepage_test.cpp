#include "releasepage.h"

#include <gtest/gtest.h>

#include "../fixtures/sampleportal.h"
#include "../text/gbktext.h"

using namespace catalogue;
using namespace common;
using namespace text;

namespace {

const std::string S = "http://dl.test";

TEST(ReleasePage, FormText) {
  EXPECT_EQ(ReleaseFormText("3261"), "FileName=3261&submit=%3CSTRONG%3E%B2%E9%D1%AF%CA%FD%BE%DD%3C%2FSTRONG%3E");
  EXPECT_TRUE(ReleaseFormText("a&b=c d+%").starts_with("FileName=a%26b%3Dc%20d%2B%25&submit="));
  EXPECT_TRUE(ReleaseFormText(G(u"设备")).starts_with("FileName=%C9%E8%B1%B8&submit="));
}

TEST(ReleasePage, TheFirstReleaseOfASamplePage) {
  ReleasePage r = ParseReleasePage(SamplePortalPage("9000", "dl.test"), S);
  EXPECT_EQ(r.version, "V3.5.0");
  EXPECT_EQ(r.size, "401.7MB");
  EXPECT_EQ(r.torrentLink, "http://dl.test/torrent/ntorrent/app/oem/20200301/9000/V3.5.0.zip.torrent");
  EXPECT_EQ(r.programLink, "http://dl.test/app/oem/20200301/9000/V3.5.0.zip");
  EXPECT_EQ(r.releaseDate, "20200301");
  EXPECT_EQ(r.mapName, "NAVI_3M21J27_FULL");
  EXPECT_EQ(r.mapLink, S + "/data/wp3m21j27/NAVI_3M21J27_FULL/DATA.zip");
  EXPECT_EQ(r.companionMaps,
            G(u"3m21j27 全国图资\r\n3m21j27_0e 东区图资\r\n3m21j27 全国图资\r\n3m21j27_0e 东区图资\r\n"));
}

TEST(ReleasePage, NoResultAndMissingParts) {
  EXPECT_EQ(ParseReleasePage(SamplePortalPage("0000", "h"), S).version, "") << "empty first cell";
  EXPECT_EQ(ParseReleasePage(SamplePortalPage("1111", "h"), S).version, "") << "no release table";
  EXPECT_EQ(ParseReleasePage("", S).version, "");
  const std::string noMarkers =
      "<table cellpadding=\"0\" cellspacing=\"0\" class=\"dt\"><tr><td>V1</td><td>1MB</td></tr></table>"
      "<div class=\"mbm cl\"></div>";
  ReleasePage r = ParseReleasePage(noMarkers, S);
  EXPECT_EQ(r.version, "V1");
  EXPECT_EQ(r.torrentLink, "");
  EXPECT_EQ(r.releaseDate, "");
  EXPECT_EQ(r.mapLink, S + "/data/wp//DATA.zip") << "a map name under 6 bytes leaves the folder empty";
  // Markers out of order: the end marker before the table gives no section at all.
  EXPECT_EQ(ParseReleasePage("<div class=\"mbm cl\"></div>" + noMarkers.substr(0, noMarkers.find("<div")), S).version,
            "");
}

TEST(ReleasePage, HostilePages) {
  std::string huge = SamplePortalPage("3261", "h");
  huge.insert(huge.find("<table"), std::string(8 << 20, 'x'));
  EXPECT_EQ(ParseReleasePage(huge, S).version, "V3.2.1");
  std::string binary(1 << 16, '\0');
  for (size_t i = 0; i < binary.size(); ++i) binary[i] = char(i * 7919);
  EXPECT_EQ(ParseReleasePage(binary, S).version, "");
}

TEST(SafeFileName, OneComponentInsideTheFolder) {
  EXPECT_EQ(SafeFileName("V3.2.1.zip"), "V3.2.1.zip");
  EXPECT_EQ(SafeFileName("../../etc/passwd.zip"), "_.._.._etc_passwd.zip");
  EXPECT_EQ(SafeFileName("a\\b\x01\x1f\x7f.zip"), "a_b.zip");
  EXPECT_EQ(SafeFileName(".."), "_._");
  EXPECT_EQ(SafeFileName(""), "_");
  EXPECT_EQ(SafeFileName("主程序.zip"), "主程序.zip");
  EXPECT_EQ(SafeFileName("\x01\x02.zip"), "_.zip") << "never hidden";
  EXPECT_EQ(SafeFileName("..zip"), "_..zip");
  EXPECT_EQ(SafeFileName(".hidden"), "_.hidden");
}

TEST(SafeFileName, LongNamesFitWithTheEnginesFilesKeepingTheExtension) {
  std::string version;
  for (int i = 0; i < 100; ++i) version += "版";  // 300 bytes
  const std::string safe = SafeFileName(version + ".zip");
  EXPECT_LE(safe.size() + std::string(".part.ctl.tmp").size(), 255u);
  EXPECT_TRUE(safe.ends_with(".zip"));
  EXPECT_EQ(safe.size(), 79u * 3 + 4) << "79 whole characters: none cut in half";
  EXPECT_EQ(SafeFileName(std::string(400, 'v')).size(), kMaxSafeNameBytes);
  EXPECT_EQ(SafeFileName(std::string(300, 'v') + "." + std::string(40, 'e')).size(), kMaxSafeNameBytes)
      << "an extension too long to keep is cut like the rest";
  EXPECT_EQ(SafeFileName(std::string(242, 'v')), std::string(242, 'v'));
}

TEST(SafeFileName, LongNamesOfBytesThatAreNoCharactersStayNamesNeverHidden) {
  // Continuation bytes without a lead byte (a %B4 run in an address): no character to keep
  // whole, so the cut falls where the length says.
  const std::string bytes(300, '\xB4');
  EXPECT_EQ(SafeFileName(bytes + ".bin"), std::string(kMaxSafeNameBytes - 4, '\xB4') + ".bin");
  EXPECT_EQ(SafeFileName(bytes), std::string(kMaxSafeNameBytes, '\xB4'));
  // A name that is only an extension after the cut gets its "_" and still fits.
  const std::string dotted = SafeFileName("." + std::string(300, 'v'));
  EXPECT_EQ(dotted.front(), '_');
  EXPECT_EQ(dotted.size(), kMaxSafeNameBytes);
  // A lead byte cut from its continuation bytes goes with them.
  const std::string cut = SafeFileName(std::string(kMaxSafeNameBytes - 1, 'v') + "版");
  EXPECT_EQ(cut, std::string(kMaxSafeNameBytes - 1, 'v'));
}

}  // namespace
