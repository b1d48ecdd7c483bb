// Which libcurl results are refusals (failed at once) and which a line that may recover.

#include <gtest/gtest.h>

#include "dlcore.h"
#include "failures.h"

using namespace dlcore;

namespace {

// Which libcurl results are refusals (failed at once) and which are a line that may recover.
TEST(ClassifyTransfer, RefusalsAreNotRetried) {
  struct Case {
    CURLcode result;
    long status;
    int code;
    bool retry;
  };
  const Case cases[] = {
      {CURLE_OK, 200, 0, true},
      {CURLE_WRITE_ERROR, 206, 0, true},  // the engine ended it itself
      {CURLE_PEER_FAILED_VERIFICATION, 0, DL_FAIL_CERTIFICATE, false},
      {CURLE_UNSUPPORTED_PROTOCOL, 302, DL_FAIL_REDIRECT, false},  // a redirect to file:
      {CURLE_UNSUPPORTED_PROTOCOL, 0, DL_FAIL_PROTOCOL, false},    // not HTTP at all
      {CURLE_TOO_MANY_REDIRECTS, 301, DL_FAIL_REDIRECT, false},
      {CURLE_WEIRD_SERVER_REPLY, 0, DL_FAIL_PROTOCOL, false},
      {CURLE_COULDNT_RESOLVE_HOST, 0, DL_FAIL_RESOLVE, true},
      {CURLE_COULDNT_CONNECT, 0, DL_FAIL_REFUSED, true},
      {CURLE_OPERATION_TIMEDOUT, 0, DL_FAIL_TIMEOUT, true},
      {CURLE_RECV_ERROR, 206, DL_FAIL_NETWORK, true},
      {CURLE_PARTIAL_FILE, 206, DL_FAIL_NETWORK, true},
  };
  for (const Case& c : cases) {
    const TransferFailure f = ClassifyTransfer(c.result, c.status);
    EXPECT_EQ(f.code, c.code) << curl_easy_strerror(c.result);
    EXPECT_EQ(f.retry, c.retry) << curl_easy_strerror(c.result);
  }
}

}  // namespace
