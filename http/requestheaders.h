#pragma once
// The header lines of a request, built without touching the network: the caller's lines, the
// default lines of the names the caller did not give, and the cookie line apart.
#include <optional>
#include <string>
#include <vector>

#include "fetchterms.h"

namespace http {

// The caller's lines, then each default line (User-Agent, Accept, Accept-Encoding,
// Accept-Language, a form Content-Type for POST, Cache-Control, Cookie) whose name the
// caller's block does not hold yet.
std::string HeaderBlock(const std::string& extraHeaders, Method method, const std::string* cookies);

struct RequestHeaders {
  std::vector<std::string> lines;  // as libcurl takes them
  std::string cookie;              // the Cookie line's value, handed to libcurl apart
};

// The block's lines as libcurl takes them. Like the Windows service adding headers with
// "add or replace", a later line replaces an earlier one of the same name in its place.
// Nothing when a line is not a header. The Cookie line goes apart: libcurl puts it on one
// line with the cookies its store holds for the request.
std::optional<RequestHeaders> RequestHeaderLines(const std::string& block);

// A header line's name, trimmed and lowered.
std::string HeaderName(std::string_view line);

}  // namespace http
