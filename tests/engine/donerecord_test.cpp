// The record a completed package leaves beside its file, and what a server's answer must name
// for it to hold.
#include <gtest/gtest.h>

#include "donerecord.h"

using namespace records;

namespace {

const DoneRecord kRecord{"http://h/data/3m22a01/data_3m22a01/pro.ndz", 4096, "\"v1\"", "Mon, 07 Dec 2026 08:00:00 GMT",
                         1765094400123456789};

TEST(DoneRecord, ReadsBackOnlyWhatItWrote) {
  const std::string bytes = EncodeDoneRecord(kRecord);
  ASSERT_EQ(DecodeDoneRecord(bytes), kRecord);
  EXPECT_EQ(DoneRecordPath("/d", "pro.ndz"), "/d/.pro.ndz.quorvel-done");
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string b = bytes;
    b.replace(b.find(from), from.size(), to);
    return b;
  };
  for (const std::string& damaged : {
           bytes.substr(0, bytes.size() - 1),                     // cut
           bytes + "extra 1\n",                                   // more than it wrote
           replaced("quorvel-done 1", "quorvel-done 2"),          // another kind
           replaced("total 4096", "total -1"),                    // no size
           replaced("total 4096", "total 4096x"),                 //
           replaced("modified 1765094400123456789", "modified"),  //
           replaced("url http", "url \x1b[2Jhttp"),               // control bytes
           replaced("etag \"v1\"\nlast-modified Mon, 07 Dec 2026 08:00:00 GMT",
                    "etag \nlast-modified "),  // no validator proves nothing
           replaced("url http://h/data/3m22a01/data_3m22a01/pro.ndz", "url "),
           std::string(),
       })
    EXPECT_FALSE(DecodeDoneRecord(damaged)) << damaged;
}

TEST(DoneRecord, HoldsOnlyWhileTheServerNamesTheSameFile) {
  const std::string same =
      "HTTP/1.1 200 OK\r\nContent-Length: 4096\r\nETag: \"v1\"\r\nLast-Modified: Mon, 07 Dec 2026 08:00:00 GMT\r\n\r\n";
  EXPECT_TRUE(ServerStillNames(kRecord, same));
  EXPECT_TRUE(ServerStillNames(kRecord, "HTTP/1.1 302 Found\r\nETag: \"old\"\r\nContent-Length: 5\r\n\r\n" + same))
      << "a redirect's headers are not the file's";
  DoneRecord etagOnly = kRecord;
  etagOnly.lastModified.clear();
  EXPECT_TRUE(ServerStillNames(etagOnly, "HTTP/1.1 200 OK\nContent-Length: 4096\nETag: \"v1\"\n"));
  for (
      const char* other : {
          "HTTP/1.1 200 OK\r\nContent-Length: 4097\r\nETag: \"v1\"\r\nLast-Modified: Mon, 07 Dec 2026 08:00:00 GMT\r\n",
          "HTTP/1.1 200 OK\r\nContent-Length: 4096\r\nETag: \"v2\"\r\nLast-Modified: Mon, 07 Dec 2026 08:00:00 GMT\r\n",
          "HTTP/1.1 200 OK\r\nContent-Length: 4096\r\nETag: W/\"v1\"\r\nLast-Modified: Mon, 07 Dec 2026 08:00:00 "
          "GMT\r\n",
          "HTTP/1.1 200 OK\r\nContent-Length: 4096\r\nETag: \"v1\"\r\nLast-Modified: Tue, 08 Dec 2026 08:00:00 GMT\r\n",
          "HTTP/1.1 200 OK\r\nContent-Length: 4096\r\nContent-Length: 10\r\nETag: \"v1\"\r\nLast-Modified: Mon, 07 Dec "
          "2026 08:00:00 GMT\r\n",
          "HTTP/1.1 404 Not Found\r\nContent-Length: 4096\r\nETag: \"v1\"\r\nLast-Modified: Mon, 07 Dec 2026 08:00:00 "
          "GMT\r\n",
          "HTTP/1.1 200 OK\r\nContent-Length: 4096\r\n",
          "",
      })
    EXPECT_FALSE(ServerStillNames(kRecord, other)) << other;
}

}  // namespace
