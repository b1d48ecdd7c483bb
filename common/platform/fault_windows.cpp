// winsock2.h before windows.h, which would bring the old winsock.h.
#include <winsock2.h>
//
#include <windows.h>

#include "platform/fault.h"

namespace platform {

Fault LastFault() {
  switch (GetLastError()) {  // WSAGetLastError() is the same value
    case ERROR_SUCCESS: return Fault::kNone;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return Fault::kNotFound;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return Fault::kExists;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case 1295:  // ERROR_DISK_QUOTA_EXCEEDED, missing from mingw's headers
      return Fault::kDiskFull;
    case ERROR_FILE_TOO_LARGE: return Fault::kTooLarge;
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BAD_PATHNAME:
    case ERROR_NO_UNICODE_TRANSLATION: return Fault::kBadName;
    case ERROR_CANT_ACCESS_FILE:
    case ERROR_CANT_RESOLVE_FILENAME: return Fault::kPlanted;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return Fault::kNoAccess;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SAME_DEVICE: return Fault::kUnsupported;
    case WSAEINTR:
    case ERROR_OPERATION_ABORTED: return Fault::kInterrupted;
    case WSAEWOULDBLOCK:
    case WSAEINPROGRESS:
    case ERROR_IO_PENDING: return Fault::kWouldWait;
    case WSAEADDRINUSE: return Fault::kAddressInUse;
    default: return Fault::kOther;
  }
}

void SetLastFault(Fault fault) {
  DWORD code = ERROR_GEN_FAILURE;
  switch (fault) {
    case Fault::kNone: code = ERROR_SUCCESS; break;
    case Fault::kNotFound: code = ERROR_FILE_NOT_FOUND; break;
    case Fault::kExists: code = ERROR_FILE_EXISTS; break;
    case Fault::kDiskFull: code = ERROR_DISK_FULL; break;
    case Fault::kTooLarge: code = ERROR_FILE_TOO_LARGE; break;
    case Fault::kBadName: code = ERROR_INVALID_NAME; break;
    case Fault::kPlanted: code = ERROR_CANT_ACCESS_FILE; break;
    case Fault::kNoAccess: code = ERROR_ACCESS_DENIED; break;
    case Fault::kUnsupported: code = ERROR_NOT_SUPPORTED; break;
    case Fault::kInterrupted: code = ERROR_OPERATION_ABORTED; break;
    case Fault::kWouldWait: code = WSAEWOULDBLOCK; break;
    case Fault::kAddressInUse: code = WSAEADDRINUSE; break;
    case Fault::kOther: break;
  }
  SetLastError(code);
}

}  // namespace platform
