#pragma once
// What a failed transfer says about the download: which failure code it stands for, and
// whether another try may go better. Pure: a libcurl result in, a decision out.
#include <curl/curl.h>

namespace dlcore {

struct TransferFailure {
  int code = 0;       // a DL_FAIL_* code; 0 when the result is no failure of the transfer itself
  bool retry = true;  // a network fault that may pass; false for a refusal that comes back every time
};

TransferFailure ClassifyTransfer(CURLcode result);

}  // namespace dlcore
