#include <dlfcn.h>

#include "platform/loadedlibrary.h"

namespace platform {

void* LoadCodeLibrary(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

void* FindFunction(void* library, const std::string& name) { return dlsym(library, name.c_str()); }

std::string FileHoldingCode(const void* code) {
  Dl_info info{};
  if (!dladdr(code, &info) || !info.dli_fname) return {};
  return info.dli_fname;
}

}  // namespace platform
