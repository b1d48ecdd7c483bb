#include "failures.h"

#include "dlcore.h"

namespace dlcore {

TransferFailure ClassifyTransfer(CURLcode result, long status) {
  switch (result) {
    // Ended by the engine itself (a range cut short, an answer refused before its body):
    // the task knows why.
    case CURLE_OK:
    case CURLE_WRITE_ERROR: return {0, true};
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return {DL_FAIL_RESOLVE, true};
    case CURLE_COULDNT_CONNECT: return {DL_FAIL_REFUSED, true};
    case CURLE_OPERATION_TIMEDOUT: return {DL_FAIL_TIMEOUT, true};
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE: return {DL_FAIL_CERTIFICATE, false};
    case CURLE_UNSUPPORTED_PROTOCOL:
      return {status >= 300 && status < 400 ? DL_FAIL_REDIRECT : DL_FAIL_PROTOCOL, false};
    case CURLE_TOO_MANY_REDIRECTS: return {DL_FAIL_REDIRECT, false};
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP2:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP_RETURNED_ERROR:
    case CURLE_RANGE_ERROR:
    case CURLE_URL_MALFORMAT: return {DL_FAIL_PROTOCOL, false};
    default: return {DL_FAIL_NETWORK, true};
  }
}

}  // namespace dlcore
