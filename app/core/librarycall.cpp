#include "librarycall.h"

#include "pathtext.h"
#include "platform/loadedlibrary.h"

namespace core {

std::string LibraryCallErrorText(const std::string& libraryFile, const std::string& function) {
  return "无法找到指定DLL库文件“" + libraryFile + "”中的输出命令“" + function + "”";
}

LibraryBinder::LibraryBinder(LibraryCallFailure onFailure) : onFailure_(std::move(onFailure)) {}

void* LibraryBinder::Bind(const std::string& libraryPath, const std::string& function) {
  void*& handle = loaded_[libraryPath];
  if (!handle) handle = platform::LoadCodeLibrary(libraryPath);
  void* address = handle ? platform::FindFunction(handle, function) : nullptr;
  if (!address) {
    onFailure_(common::Utf8Of(common::PathOf(libraryPath).filename()), function);
  }
  return address;
}

}  // namespace core
