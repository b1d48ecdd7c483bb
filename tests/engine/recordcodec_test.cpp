// Both records through the codec: what the program builds by name the engine reads by the
// field table, and back.
#include "recordcodec.h"

#include <cstring>

#include <gtest/gtest.h>

#include "../text/gbktext.h"
#include "dlcore.h"
#include "recordlayout.h"
#include "taskrecord.h"

using namespace text;
using namespace records;

// The program builds the creation record by name; the engine reads it by the field table.
TEST(RecordCodec, CreationRecordRoundTrip) {
  TaskCreateParams params;
  const std::u16string url = u"http://127.0.0.1/地图 1.zip", name = u"地图.zip", folder = u"/home/用户/下载";
  ASSERT_TRUE(params.BuildUtf16(url, name, folder, false, true, false));
  CreateRequest read = ReadCreateParams(params.Address());
  EXPECT_EQ(read.taskUrl, url);
  EXPECT_EQ(read.filename, name);
  EXPECT_EQ(read.savePath, folder);
  EXPECT_TRUE(read.disableAutoRename);
  EXPECT_FALSE(read.isResume);

  // A text that fills its field up to the last unit, and one with no zero unit at all.
  const std::u16string longest(createparams::kPathBytes / 2 - 1, u'名');
  ASSERT_TRUE(params.BuildUtf16(url, longest, folder, false, false, true));
  EXPECT_EQ(ReadCreateParams(params.Address()).filename, longest);
  EXPECT_TRUE(ReadCreateParams(params.Address()).isResume);
  std::memset(params.Address() + createparams::szSavePath, 'a', createparams::kPathBytes);
  read = ReadCreateParams(params.Address());
  EXPECT_FALSE(read.savePath) << "an unterminated text is no text";
  EXPECT_EQ(read.filename, longest);
}

// The engine writes the progress record by the field table; the program reads it by name.
TEST(RecordCodec, ProgressRecordRoundTrip) {
  TaskProgressInfo info;
  ASSERT_TRUE(info.Build());
  Progress p;
  p.stat = DL_STATE_RUNNING;
  p.failCode = DL_FAIL_TIMEOUT;
  p.name = "地图.zip";
  p.total = 5'000'000'000;
  p.downloaded = 4'999'999'999;
  p.percent = 0.5f;
  p.sources = 16;
  p.sourcesInUse = 9;
  p.speed = 1 << 30;
  WriteProgressInfo(p, info.Address());
  EXPECT_EQ(info.stat(), DL_STATE_RUNNING);
  EXPECT_EQ(info.fail_code(), DL_FAIL_TIMEOUT);
  EXPECT_EQ(info.szFilename(), G(u"地图.zip"));
  EXPECT_EQ(info.nTotalSize(), 5'000'000'000);
  EXPECT_EQ(info.nTotalDownload(), 4'999'999'999);
  EXPECT_EQ(info.fPercent(), 0.5f);
  EXPECT_EQ(info.nSrcTotal(), 16);
  EXPECT_EQ(info.nSrcUsing(), 9);
  EXPECT_EQ(info.nSpeed(), 1 << 30);
  EXPECT_TRUE(info.bIsOriginUsable());

  // A name longer than its field is cut, with the field's last unit left zero; a shorter name
  // written later leaves nothing of the longer one.
  p.name = std::string(2000, 'n');
  WriteProgressInfo(p, info.Address());
  EXPECT_EQ(info.szFilename(), std::string(progressinfo::kNameBytes / 2 - 1, 'n'));
  p.name = "b";
  WriteProgressInfo(p, info.Address());
  EXPECT_EQ(info.szFilename(), "b");
}
