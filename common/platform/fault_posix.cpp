#include <cerrno>

#include "platform/fault.h"

namespace platform {

Fault LastFault() {
  switch (errno) {
    case 0: return Fault::kNone;
    case ENOENT:
    case ENOTDIR: return Fault::kNotFound;
    case EEXIST: return Fault::kExists;
    case ENOSPC:
    case EDQUOT: return Fault::kDiskFull;
    case EFBIG: return Fault::kTooLarge;
    case ENAMETOOLONG:
    case EILSEQ:
    case EINVAL: return Fault::kBadName;
    case ELOOP:
    case ENXIO: return Fault::kPlanted;  // O_NOFOLLOW met a link; O_NONBLOCK a FIFO with no reader
    case EACCES:
    case EPERM:
    case EROFS: return Fault::kNoAccess;
    case ENOSYS:
    case EOPNOTSUPP: return Fault::kUnsupported;
    case EINTR: return Fault::kInterrupted;
    case EAGAIN:
    case EINPROGRESS: return Fault::kWouldWait;
    case EADDRINUSE: return Fault::kAddressInUse;
    default: return Fault::kOther;
  }
}

void SetLastFault(Fault fault) {
  switch (fault) {
    case Fault::kNone: errno = 0; break;
    case Fault::kNotFound: errno = ENOENT; break;
    case Fault::kExists: errno = EEXIST; break;
    case Fault::kDiskFull: errno = ENOSPC; break;
    case Fault::kTooLarge: errno = EFBIG; break;
    case Fault::kBadName: errno = ENAMETOOLONG; break;
    case Fault::kPlanted: errno = ELOOP; break;
    case Fault::kNoAccess: errno = EACCES; break;
    case Fault::kUnsupported: errno = ENOSYS; break;
    case Fault::kInterrupted: errno = EINTR; break;
    case Fault::kWouldWait: errno = EAGAIN; break;
    case Fault::kAddressInUse: errno = EADDRINUSE; break;
    case Fault::kOther: errno = EIO; break;
  }
}

}  // namespace platform
