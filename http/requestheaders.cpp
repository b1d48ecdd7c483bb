#include "requestheaders.h"

#include <algorithm>

#include "bytetext.h"

namespace http {

namespace {

struct DefaultHeader {
  const char* search;  // the caller's block holding this text keeps the default out
  bool ignoreCase;
  const char* line;
  bool postOnly = false;
};

// In the order they are added. The form type is searched for with its case, as the
// Windows original did.
const DefaultHeader kDefaults[] = {
    {"User-Agent: ", true, "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"},
    {"Accept: ", true, "Accept: text/html, application/xhtml+xml, */*\r\n"},
    {"Accept-Encoding: ", true, "Accept-Encoding: gbk, GB2312\r\n"},
    {"Accept-Language: ", true, "Accept-Language: zh-cn\r\n"},
    {"Content-Type:", false, "Content-Type: application/x-www-form-urlencoded\r\n", true},
    {"Cache-Control: ", true, "Cache-Control: no-cache\r\n"},
};

}  // namespace

std::string HeaderBlock(const std::string& extraHeaders, Method method, const std::string* cookies) {
  std::string block = extraHeaders.empty() ? std::string() : extraHeaders + "\r\n";
  auto add = [&block](const char* search, bool ignoreCase, const std::string& line) {
    if (text::Find(block, search, 1, ignoreCase) == -1) block += line;
  };
  for (const DefaultHeader& d : kDefaults) {
    if (!d.postOnly || method == Method::kPost) add(d.search, d.ignoreCase, d.line);
  }
  if (cookies && !cookies->empty()) add("Cookie: ", true, "Cookie: " + *cookies + "\r\n");
  return block;
}

std::string HeaderName(std::string_view line) { return text::AsciiLower(text::Trim(line.substr(0, line.find(':')))); }

std::optional<RequestHeaders> RequestHeaderLines(const std::string& block) {
  RequestHeaders out;
  bool hasContentType = false;
  for (std::string& line : text::Split(block, "\r\n")) {
    if (line.empty()) continue;
    size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) return std::nullopt;
    // libcurl drops "Name:" with nothing after it; "Name;" sends it empty.
    if (text::Trim(std::string_view(line).substr(colon + 1)).empty()) line = line.substr(0, colon) + ";";
    std::string name = HeaderName(line.substr(0, colon));
    if (name == "cookie") {
      out.cookie = line.back() == ';' ? std::string() : text::Trim(std::string_view(line).substr(colon + 1));
      continue;
    }
    hasContentType |= name == "content-type";
    auto same = std::find_if(out.lines.begin(), out.lines.end(), [&](const std::string& l) {
      return HeaderName(l.substr(0, l.find_first_of(":;"))) == name;
    });
    if (same != out.lines.end())
      *same = line;
    else
      out.lines.push_back(line);
  }
  out.lines.push_back("Expect:");  // no "100 Continue" round trip that the Windows service never made
  if (!hasContentType) out.lines.push_back("Content-Type:");  // no form type libcurl would add by itself
  return out;
}

}  // namespace http
