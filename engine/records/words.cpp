#include "words.h"

#include "dlcore.h"

namespace records {

const char* StateText(int stat) {
  switch (stat) {
    case DL_STATE_CANCELLED: return "取消下载！";
    case DL_STATE_STOPPED: return "暂停下载...";
    case DL_STATE_RUNNING: return "正在下载...";
    case DL_STATE_COMPLETE: return "下载完毕！";
    case DL_STATE_REQUESTING: return "发送请求...";
    case DL_STATE_STOPPING: return "结束请求...";
    default: return nullptr;
  }
}

const char* StateWord(ListState state) {
  switch (state) {
    case ListState::kWaiting: return "等待";
    case ListState::kRunning: return "下载中";
    case ListState::kPaused: return "已暂停";
    case ListState::kCompleted: return "完成";
    case ListState::kFailed: return "失败";
  }
  return "";
}

const char* VerdictWord(CheckVerdict verdict) {
  switch (verdict) {
    case CheckVerdict::kChecking: return "正在校验...";
    case CheckVerdict::kPassed: return "校验通过";
    case CheckVerdict::kFailed: return "校验失败";
    case CheckVerdict::kNone: break;
  }
  return "";
}

std::string CheckFailedWords(size_t badPieces) {
  return std::string(VerdictWord(CheckVerdict::kFailed)) + "：" + std::to_string(badPieces) + " 块损坏";
}

std::string CannotCheckWords(const std::string& why) { return "无法校验：" + why; }

namespace {

const char* const kCheckNetwork = "请检查网络连接，然后重新开始下载：已下载的部分会保留。";
const char* const kUnusableAnswer = "服务器的回应无法使用，请稍后再试或联系服务器的管理员。";
const char* const kCheckFolder = "请确认保存目录存在并且可以写入，或选择另一个保存目录。";
const char* const kShorterName = "请改短文件名或选择较短的保存目录。";

const FailureWords kFailures[] = {
    {DL_FAIL_NETWORK, "网络连接失败", "the connection to {server} kept breaking off", kCheckNetwork, true, false},
    {DL_FAIL_DISK_WRITE, "写入文件失败", "the file could not be written", kCheckFolder, false, true},
    {DL_FAIL_DISK_FULL, "磁盘空间不足", "no space left on the disk",
     "请清理磁盘空间或选择另一个保存目录，然后重新开始下载。", false, true},
    {DL_FAIL_FOLDER, "无法写入保存目录", "the save folder cannot be written: {folder}", kCheckFolder, false, true},
    {DL_FAIL_BAD_TASK, "下载地址、文件名或保存目录无效", "the address, name or folder cannot be used", kShorterName,
     false, true},
    {DL_FAIL_UNSTABLE, "服务器上的文件不断变化", "the file kept changing on the server",
     "服务器上的文件正在更新，请稍后再试。", false, false},
    {DL_FAIL_TARGET_BUSY, "同一文件正在下载", "another download writes to the same file", "请等待正在进行的下载结束。",
     false, true},
    {DL_FAIL_BAD_NAME, "文件名无效或过长", "the file system refuses the name (too long, or not valid there)",
     kShorterName, false, true},
    {DL_FAIL_FOREIGN, "服务器返回的不是该文件",
     "the server answered with something else than the file (a network login page?)",
     "可能需要先登录所用的网络（如酒店或机场的网络），然后重新开始下载：已下载的部分会保留。", false, false},
    {DL_FAIL_CERTIFICATE, "服务器的证书不受信任", "the server's certificate is not trusted: {server}",
     "服务器的证书不受信任：请确认网络没有被拦截（如酒店或公司的代理），或联系服务器的管理员。", false, false},
    {DL_FAIL_REDIRECT, "服务器转向了不能使用的地址",
     "the server redirected to an address that is not followed (another scheme, or too many)", kUnusableAnswer, false,
     false},
    {DL_FAIL_PROTOCOL, "服务器的回应不是有效的 HTTP", "the server's answer is not usable HTTP: {server}",
     kUnusableAnswer, false, false},
    {DL_FAIL_RESOLVE, "找不到服务器（域名解析失败）", "cannot resolve host {host}", kCheckNetwork, true, false},
    {DL_FAIL_REFUSED, "服务器拒绝连接", "connection refused by {server}", kCheckNetwork, true, false},
    {DL_FAIL_TIMEOUT, "服务器没有回应", "no answer from {server}", kCheckNetwork, true, false},
    {DL_FAIL_PAGE, "服务器返回的是网页，不是该文件",
     "the server answered with a web page instead of the file (a network login page?)",
     "请先登录所用的网络（如酒店或机场的网络，打开浏览器即可看到登录页），然后重新开始下载：已下载的部分会保留。",
     false, false},
};

void ReplaceAll(std::string& text, const std::string& mark, const std::string& with) {
  for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + with.size()))
    text.replace(at, mark.size(), with);
}

}  // namespace

const FailureWords* FindFailure(int failCode) {
  for (const FailureWords& f : kFailures)
    if (f.code == failCode) return &f;
  return nullptr;
}

std::string FailureText(int failCode) {
  if (const FailureWords* f = FindFailure(failCode)) return std::string("下载失败：") + f->chinese;
  return std::string("下载失败：") + (failCode > 0 && failCode < 1000 ? "服务器返回 " : "错误代码 ") +
         std::to_string(failCode);
}

std::string FailureAdvice(int failCode) {
  if (const FailureWords* f = FindFailure(failCode)) return f->advice;
  if (failCode == 404) return "服务器上没有这个文件，请确认版本号或图资版本。";
  return failCode >= 500 && failCode < 600 ? "服务器暂时出错，请稍后再试。" : "";
}

bool UnreachableServer(int failCode) {
  const FailureWords* f = FindFailure(failCode);
  return f && f->unreachable;
}

bool AnotherServerMayHelp(int failCode) {
  const FailureWords* f = FindFailure(failCode);
  return failCode != 0 && !(f && f->local);
}

std::string EnglishFailure(int failCode, const std::string& server, const std::string& host,
                           const std::string& folder) {
  const FailureWords* f = FindFailure(failCode);
  if (!f)
    return failCode > 0 && failCode < 1000 ? "the server answered HTTP " + std::to_string(failCode)
                                           : "error " + std::to_string(failCode);
  std::string words = f->english;
  ReplaceAll(words, "{server}", server);
  ReplaceAll(words, "{host}", host);
  ReplaceAll(words, "{folder}", folder);
  return words;
}

}  // namespace records
