#pragma once
// Every word the program says of a download, in one place: the progress display's state texts,
// the download list's state and verdict words, and the engine's failure codes in one table
// (the window and quorvel-cli say them in Chinese, dlget in English, its documented choice; all
// three know from here whether a failure means the server could not be reached).
#include <string>

namespace records {

// The state text of a progress state code (the main window's display), or nullptr for a code
// outside 1 to 6.
const char* StateText(int stat);

// The display's text for a download that waits for a free place.
inline constexpr const char* kWaitingText = "等待下载...";

// A row of the download list: where it stands, and what the check against its torrent found.
enum class ListState { kWaiting, kRunning, kPaused, kCompleted, kFailed };
enum class CheckVerdict { kNone, kChecking, kPassed, kFailed };

// 等待, 下载中, 已暂停, 完成, 失败.
const char* StateWord(ListState state);
// 正在校验..., 校验通过, 校验失败, or "" for none.
const char* VerdictWord(CheckVerdict verdict);
// "校验失败：3 块损坏", and "无法校验：" with why nothing could be compared.
std::string CheckFailedWords(size_t badPieces);
std::string CannotCheckWords(const std::string& why);
// What the list and the main window say when a file is there already: "文件已在".
inline constexpr const char* kAlreadyThere = "文件已在";
// What the command line says of a file there that nothing shows to be the server's now.
inline constexpr const char* kNotProven = "文件已在，但无法确认与服务器上的相同：重新下载";

struct FailureWords {
  int code;             // DL_FAIL_*
  const char* chinese;  // "网络连接失败"
  // dlget's words; "{server}" is the server's host:port, "{host}" its name, "{folder}" the
  // save folder.
  const char* english;
  const char* advice;  // what the user can do (Chinese), or ""
  bool unreachable;    // the server could not be reached (its name, a connection, an answer)
  bool local;          // this machine's (the disk, the folder, the name): another server would not help
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

// Whether another server with the same file might not fail so (an HTTP status, the network, an
// answer that was not the file): false for this machine's failures.
bool AnotherServerMayHelp(int failCode);

// dlget's words for a failure, with the server, host and folder filled in.
std::string EnglishFailure(int failCode, const std::string& server, const std::string& host, const std::string& folder);

}  // namespace records
