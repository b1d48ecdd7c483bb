#pragma once
// One libcurl transfer of a request: what its callbacks learn, running it with bounded waits
// while the caller's events run, and which failure text a broken transfer gets.
#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "eventpump.h"
#include "platform/sockets.h"

namespace http {

using Clock = std::chrono::steady_clock;

struct CurlDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// What one transfer knows; libcurl's callbacks write it.
struct Transfer {
  std::string headers;  // header block of the latest response, every line ended by CR LF
  std::string body;
  int status = 0;
  bool headersDone = false;  // the blank line after a final (non-1xx) header block
  bool tooBig = false;
  bool conflictingLength = false;  // two Content-Length lines that disagree
  std::optional<std::string> contentLength;
  Clock::time_point lastActivity = Clock::now();
  curl_off_t uploaded = 0;
  std::vector<platform::SocketHandle> sockets;  // the transfer's open sockets
  std::uint64_t received = 0;                   // bytes the kernel received on them, as last seen
};

// Points the handle's header, body, progress and socket callbacks at `t`; false when libcurl
// refuses.
bool SetTransferCallbacks(CURL* easy, Transfer& t);

// Runs one request to its end, pumping events at least every 50 ms. The timeout is the
// longest silence allowed, connecting included; the deadline bounds the whole call, so a
// server that trickles a byte now and then cannot hold it for ever. Nothing when either ran
// out or the pump asked to stop.
std::optional<CURLcode> Perform(CURL* easy, Transfer& t, Clock::duration timeout, Clock::time_point deadline,
                                const common::EventPump& pump);

// Which stage a transfer broke off in: before the request was out (711), waiting for an
// answer (712), or reading the body (713). An answer that is not HTTP at all (HTTP/0.9, a
// garbage status line) or a redirect to a refused scheme is no answer: 712.
int FailureOf(CURL* easy, const Transfer& t, CURLcode rc, bool secure, bool redirected);

}  // namespace http
