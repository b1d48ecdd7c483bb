#pragma once
// Why a call of the seam failed, in the seam's own words: each system's error numbers are
// mapped in its implementation. Read at once after the failed call, on the same thread (it is the
// system's own last error underneath: errno, or Windows' GetLastError).

namespace platform {

enum class Fault {
  kNone,
  kNotFound,      // no such file or folder
  kExists,        // something has the name already
  kDiskFull,      // no room left, or the user's quota
  kTooLarge,      // larger than the file system's largest file
  kBadName,       // a name the file system cannot hold (too long, or bytes it refuses)
  kPlanted,       // a link or a FIFO where a plain file was expected
  kNoAccess,      // not allowed, or a read-only disk
  kUnsupported,   // this file system cannot do it (a rename that never replaces)
  kInterrupted,   // a signal came first: call again
  kWouldWait,     // a non-blocking call would have to wait
  kAddressInUse,  // a local address another socket holds
  kOther,
};

Fault LastFault();
// For a failure the seam's caller finds itself (a write that takes nothing), or to keep the
// first failure across the cleanup after it.
void SetLastFault(Fault fault);

// The failure for a user, in the program's language.
inline const char* FaultWords(Fault fault) {
  switch (fault) {
    case Fault::kNone: return "没有错误";
    case Fault::kNotFound: return "文件或目录不存在";
    case Fault::kExists: return "已有同名文件";
    case Fault::kDiskFull: return "磁盘空间不足";
    case Fault::kTooLarge: return "文件太大";
    case Fault::kBadName: return "文件名无效";
    case Fault::kPlanted: return "不是普通文件";
    case Fault::kNoAccess: return "没有权限";
    case Fault::kUnsupported: return "文件系统不支持";
    case Fault::kInterrupted: return "被中断";
    case Fault::kWouldWait: return "需要等待";
    case Fault::kAddressInUse: return "地址已被占用";
    case Fault::kOther: break;
  }
  return "系统错误";
}

}  // namespace platform
