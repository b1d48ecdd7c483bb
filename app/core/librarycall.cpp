#include "librarycall.h"

#include <dlfcn.h>

namespace core {

std::string LibraryCallErrorText(const std::string& libraryFile, const std::string& function) {
  return "无法找到指定DLL库文件“" + libraryFile + "”中的输出命令“" + function + "”";
}

LibraryBinder::LibraryBinder(LibraryCallFailure onFailure) : onFailure_(std::move(onFailure)) {}

void* LibraryBinder::Bind(const std::string& libraryPath, const std::string& function) {
  void*& handle = loaded_[libraryPath];
  if (!handle) handle = ::dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  void* address = handle ? ::dlsym(handle, function.c_str()) : nullptr;
  if (!address) {
    size_t slash = libraryPath.find_last_of('/');
    onFailure_(slash == std::string::npos ? libraryPath : libraryPath.substr(slash + 1), function);
  }
  return address;
}

}  // namespace core
