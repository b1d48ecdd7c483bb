#pragma once
// What a failed transfer says about the download: which failure code it stands for, and
// whether another try may go better. Pure: a libcurl result in, a decision out.
#include <curl/curl.h>

namespace dlcore {

struct TransferFailure {
  int code = 0;       // a DL_FAIL_* code; 0 when the result is no failure of the transfer itself
  bool retry = true;  // a network fault that may pass; false for a refusal that comes back every time
};

// `status` is the last status line the transfer saw (0 for none): libcurl names a redirect to
// a scheme it may not follow and an answer that is not HTTP at all with one code.
TransferFailure ClassifyTransfer(CURLcode result, long status);

}  // namespace dlcore
