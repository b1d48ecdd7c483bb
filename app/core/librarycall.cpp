#include "librarycall.h"

#include "platform/loadedlibrary.h"

namespace core {

std::string LibraryCallErrorText(const std::string& libraryFile, const std::string& function) {
  return "无法找到指定DLL库文件“" + libraryFile + "”中的输出命令“" + function + "”";
}

LibraryBinder::LibraryBinder(LibraryCallFailure onFailure) : onFailure_(std::move(onFailure)) {}

void* LibraryBinder::Bind(const std::string& libraryPath, const std::string& function) {
  void*& handle = loaded_[libraryPath];
  if (!handle) handle = platform::LoadLibrary(libraryPath);
  void* address = handle ? platform::FindFunction(handle, function) : nullptr;
  if (!address) {
    size_t slash = libraryPath.find_last_of('/');
    onFailure_(slash == std::string::npos ? libraryPath : libraryPath.substr(slash + 1), function);
  }
  return address;
}

}  // namespace core
