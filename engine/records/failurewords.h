#pragma once
// The engine's failure codes in words, in one table: the window and quorvel-cli say them in
// Chinese, dlget in English (its documented choice), and all three know from here whether a
// failure means the server could not be reached.
#include <string>

namespace records {

struct FailureWords {
  int code;             // DL_FAIL_*
  const char* chinese;  // "网络连接失败"
  // dlget's words; "{server}" is the server's host:port, "{host}" its name, "{folder}" the
  // save folder.
  const char* english;
  const char* advice;  // what the user can do (Chinese), or ""
  bool unreachable;    // the server could not be reached (its name, a connection, an answer)
};

// The row of an engine failure code; nullptr for any other code (an HTTP status, a code this
// engine does not have).
const FailureWords* FindFailure(int failCode);

// Why a task failed, for the state text: "下载失败：…", an HTTP status or an unknown code too.
std::string FailureText(int failCode);

// What the user can do about a failure, or empty text where there is nothing to do.
std::string FailureAdvice(int failCode);

// Whether a failure means the server could not be reached.
bool UnreachableServer(int failCode);

// dlget's words for a failure, with the server, host and folder filled in.
std::string EnglishFailure(int failCode, const std::string& server, const std::string& host, const std::string& folder);

}  // namespace records
