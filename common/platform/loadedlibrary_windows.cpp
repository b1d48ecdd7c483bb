#include <windows.h>

#include <vector>

#include "platform/loadedlibrary.h"
#include "platform/wide_windows.h"

namespace platform {

void* LoadCodeLibrary(const std::string& path) {
  // The libraries it needs are looked for beside it first, not in the current folder.
  return reinterpret_cast<void*>(LoadLibraryExW(Wide(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

void* FindFunction(void* library, const std::string& name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name.c_str()));
}

std::string FileHoldingCode(const void* code) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCWSTR>(code), &module))
    return {};
  std::vector<wchar_t> path(32768);
  const DWORD n = GetModuleFileNameW(module, path.data(), DWORD(path.size()));
  return n == 0 || n >= path.size() ? std::string() : Narrow(std::wstring_view(path.data(), n));
}

}  // namespace platform
