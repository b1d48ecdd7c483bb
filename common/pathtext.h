#pragma once
// Our texts are UTF-8; a std::filesystem::path made from a std::string is read in the ANSI code
// page by the Windows runtime (a folder "新目录" becomes another name). Every path is made here,
// from char8_t, and read back here.
#include <filesystem>
#include <string>
#include <string_view>

namespace common {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

inline std::filesystem::path PathOf(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The folder part of a path: up to its last separator ("/", or also "\\" on Windows), "." when it
// has none.
inline std::string FolderOf(const std::string& path) {
#ifdef _WIN32
  const size_t slash = path.find_last_of("/\\");
#else
  const size_t slash = path.rfind('/');
#endif
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// "/home/x" here; "C:\\x" or "\\\\server\\share\\x" (and "\\\\?\\C:\\x") on Windows.
inline bool IsAbsolutePath(std::string_view utf8) {
#ifdef _WIN32
  const auto separator = [](char c) { return c == '\\' || c == '/'; };
  const bool drive =
      utf8.size() >= 3 && ((utf8[0] | 0x20) >= 'a' && (utf8[0] | 0x20) <= 'z') && utf8[1] == ':' && separator(utf8[2]);
  return drive || (utf8.size() >= 3 && separator(utf8[0]) && separator(utf8[1]) && !separator(utf8[2]));
#else
  return !utf8.empty() && utf8[0] == '/';
#endif
}

}  // namespace common
