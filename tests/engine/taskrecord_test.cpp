#include "taskrecord.h"

#include <cstring>

#include <gtest/gtest.h>

#include "../text/gbktext.h"
#include "recordlayout.h"

using namespace text;
using namespace records;

namespace {

template <typename T>
T At(const std::uint8_t* block, size_t offset) {
  T v;
  std::memcpy(&v, block + offset, sizeof v);
  return v;
}

std::u16string UnitsAt(const std::uint8_t* block, size_t offset) {
  std::u16string s;
  for (char16_t u; (u = At<char16_t>(block, offset + 2 * s.size())) != 0;) s += u;
  return s;
}

TEST(TaskRecord, FieldsByNameWithinTheBlock) {
  TaskRecord r;
  EXPECT_EQ(r.Address(), nullptr);
  ASSERT_NE(r.Create(1, 0xCC, 16), nullptr);
  EXPECT_TRUE(r.AddField("a", 4, "\x01\x02\x03\x04\x05"));  // initial bytes cut to the field
  EXPECT_FALSE(r.AddField("a", 2)) << "a name is added once";
  EXPECT_TRUE(r.AddField("b", 12));
  EXPECT_FALSE(r.AddField("c", 1)) << "a field never ends past the capacity";
  EXPECT_EQ(r.UsedSize(), 16);
  EXPECT_EQ(r.FindField("b"), 2);
  EXPECT_EQ(r.FindField("zz"), 0);
  EXPECT_EQ(r.ReadField("a"), "\x01\x02\x03\x04");
  EXPECT_EQ(r.ReadField("zz"), "");
  EXPECT_FALSE(r.WriteField("zz", "x"));
  EXPECT_TRUE(r.WriteField("a", "\x09"));
  EXPECT_EQ(r.ReadField("a"), "\x09\x02\x03\x04") << "bytes past the written ones stay";

  ASSERT_NE(r.Create(4, 0xCC, 16), nullptr);
  EXPECT_EQ(r.FindField("a"), 0) << "Create starts from nothing";
  EXPECT_TRUE(r.AddField("odd", 3));
  EXPECT_EQ(r.UsedSize(), 4);
  EXPECT_EQ(r.Address()[3], 0xCC) << "padding takes the fill byte";
  r.Release();
  EXPECT_EQ(r.Address(), nullptr);
  EXPECT_EQ(r.UsedSize(), 0);
}

// The offsets come from the field tables; the engine, stored records and other programs know
// them as numbers, so the numbers are pinned here.
TEST(RecordLayout, TheOffsetsOfTheContract) {
  EXPECT_EQ(createparams::szTaskUrl, 4u);
  EXPECT_EQ(createparams::szCookies, 8340u);
  EXPECT_EQ(createparams::szFilename, 16532u);
  EXPECT_EQ(createparams::szSavePath, 17572u);
  EXPECT_EQ(createparams::IsOnlyOriginal, 18356u);
  EXPECT_EQ(createparams::IsResume, 18368u);
  EXPECT_EQ(createparams::reserved, 18372u);
  EXPECT_EQ(progressinfo::szFilename, 8u);
  EXPECT_EQ(progressinfo::nTotalSize, 1048u);
  EXPECT_EQ(progressinfo::fPercent, 1064u);
  EXPECT_EQ(progressinfo::nSpeed, 1152u);
  EXPECT_EQ(progressinfo::bIsOriginUsable, 1164u);
  EXPECT_EQ(progressinfo::IsCreatingFile, 1169u);
  EXPECT_EQ(progressinfo::reserved, 1173u);
}

TEST(TaskCreateParams, PackedLayout) {
  TaskCreateParams p;
  ASSERT_TRUE(p.Build("http://dl.test/a.zip", {}, {}, G(u"主程序.zip"), G(u"/home/u/下载")));
  const std::uint8_t* b = p.Address();
  using namespace createparams;
  EXPECT_EQ(p.record().UsedSize(), int(kSize));
  EXPECT_EQ(UnitsAt(b, szTaskUrl), u"http://dl.test/a.zip");
  EXPECT_EQ(UnitsAt(b, szFilename), u"主程序.zip");
  EXPECT_EQ(UnitsAt(b, szSavePath), u"/home/u/\u4E0B\u8F7D") << "the GBK text of the folder as UTF-16";
  for (size_t i = szRefUrl; i < szFilename; ++i) ASSERT_EQ(b[i], 0) << "referrer and cookies stay empty";
  EXPECT_EQ(At<std::int32_t>(b, nReserved1), 5);
  EXPECT_EQ(At<std::int32_t>(b, IsResume), 1);
  EXPECT_EQ(At<std::int32_t>(b, IsOnlyOriginal), 0);
  EXPECT_EQ(At<std::int32_t>(b, DisableAutoRename), 0);
  for (size_t i = kSize; i < kCapacity; ++i) ASSERT_EQ(b[i], 0);
  // A text of n units takes 2n + 2 bytes; the rest of the field stays zero.
  EXPECT_EQ(At<char16_t>(b, szTaskUrl + 2 * 20), 0);
  for (size_t i = szTaskUrl + 42; i < szRefUrl; ++i) ASSERT_EQ(b[i], 0);

  EXPECT_EQ(p.szFilename(), G(u"主程序.zip"));
  EXPECT_TRUE(p.IsResume());
  EXPECT_TRUE(p.DisableAutoRename(true));
  EXPECT_EQ(At<std::int32_t>(b, DisableAutoRename), 1);
  EXPECT_TRUE(p.szFilename("b.zip"));
  EXPECT_EQ(UnitsAt(b, szFilename), u"b.zip");

  const std::uint8_t* first = p.Address();
  ASSERT_TRUE(p.Build("http://x/y", {}, {}, "n", "/d", true, true, false));
  EXPECT_EQ(p.record().UsedSize(), int(kSize));
  EXPECT_EQ(p.record().FindField("IsResume"), 15);
  EXPECT_EQ(At<std::int32_t>(p.Address(), IsOnlyOriginal), 1);
  EXPECT_EQ(At<std::int32_t>(p.Address(), IsResume), 0);
  (void)first;
}

TEST(TaskCreateParams, TextsThatDoNotFitAreRefusedNeverCut) {
  TaskCreateParams p;
  const std::string longest(259, 'n'), tooLong(260, 'n');
  ASSERT_TRUE(p.Build("http://x/", {}, {}, longest, "/d"));
  EXPECT_EQ(p.szFilename(), longest);
  EXPECT_FALSE(p.szFilename(tooLong));
  EXPECT_EQ(p.szFilename(), longest) << "a refused write changes nothing";
  EXPECT_FALSE(p.Build("http://x/", {}, {}, tooLong, "/d"));
  EXPECT_EQ(p.Address(), nullptr) << "no block that names a cut path";
  EXPECT_FALSE(p.Build("http://x/" + std::string(2080, 'u')));
  EXPECT_TRUE(p.Build("http://x/" + std::string(2074, 'u')));
  EXPECT_FALSE(p.Build({}, {}, std::string(4096, 'c')));
}

TEST(TaskProgressInfo, PackedLayoutAndAccessors) {
  TaskProgressInfo info;
  ASSERT_TRUE(info.Build());
  const std::uint8_t* b = info.Address();
  using namespace progressinfo;
  EXPECT_EQ(info.record().UsedSize(), int(kSize));
  EXPECT_EQ(info.stat(), 2);
  EXPECT_EQ(At<std::int32_t>(b, progressinfo::stat), 2);
  EXPECT_EQ(info.fail_code(), 0);
  EXPECT_TRUE(info.nTotalSize(10485760));
  EXPECT_TRUE(info.nTotalDownload(1572864));
  EXPECT_TRUE(info.fPercent(0.5f));
  EXPECT_TRUE(info.nSpeed(1023));
  EXPECT_TRUE(info.nSrcUsing(3));
  EXPECT_TRUE(info.szFilename(G(u"地图.ndz")));
  EXPECT_EQ(At<std::int64_t>(b, nTotalSize), 10485760);
  EXPECT_EQ(At<std::int64_t>(b, nTotalDownload), 1572864);
  EXPECT_EQ(At<float>(b, fPercent), 0.5f);
  EXPECT_EQ(At<std::int32_t>(b, nSpeed), 1023);
  EXPECT_EQ(At<std::int32_t>(b, nSrcUsing), 3);
  EXPECT_EQ(UnitsAt(b, szFilename), u"地图.ndz");
  EXPECT_EQ(info.szFilename(), G(u"地图.ndz"));
  // The one-byte boolean, and fHashPercent right after it at an odd offset.
  EXPECT_TRUE(info.record().WriteField("fHashPercent", std::string("\xAA\xBB\xCC\xDD", 4)));
  EXPECT_TRUE(info.bIsOriginUsable(true));
  EXPECT_EQ(b[bIsOriginUsable], 1);
  EXPECT_EQ(b[fHashPercent], 0xAA);
  EXPECT_EQ(b[IsCreatingFile - 1], 0xDD);
  EXPECT_TRUE(info.IsCreatingFile(7));
  EXPECT_EQ(At<std::int32_t>(b, IsCreatingFile), 7);
}

}  // namespace
