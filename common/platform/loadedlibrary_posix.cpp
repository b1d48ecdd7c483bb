#include <dlfcn.h>

#include "platform/loadedlibrary.h"

namespace platform {

std::string FileHoldingCode(const void* code) {
  Dl_info info{};
  if (!dladdr(code, &info) || !info.dli_fname) return {};
  return info.dli_fname;
}

}  // namespace platform
