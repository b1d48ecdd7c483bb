#pragma once
// The settings store: a typed text file in Wine's registry syntax, standing in for the
// current user's registry. Values are addressed by "key\name" paths, as the settings code
// names them ("Quorvel\设备号").
//
//   WINE REGISTRY Version 2
//
//   [Quorvel]
//   "设备号"="3261"                 text (REG_SZ)
//   "保存目录"=str(2):"%HOME%/dl"    expandable text (REG_EXPAND_SZ), expanded on read
//   "x"=dword:0000000a              any other type: not text
//
// The file is UTF-8. Reading never fails: a missing or unreadable file, a malformed line and
// any type other than the two text types read as empty text. Writing changes only the line of
// the value written and keeps every other line byte for byte, so values of other keys, other
// types, comments and even lines this reader cannot make sense of survive; the new file
// replaces the old one atomically. Known gap: text stored in hex(1)/hex(2) form reads as empty.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace core {

namespace registry {

// The text of value `path` ("key\name") in `file`, expanded when it is REG_EXPAND_SZ; empty
// text when the file, the key or the value is missing or the value is not text.
std::string ReadText(const std::string& file, std::string_view path);

// Stores `text` as REG_SZ under `path`, creating the folder, file and key when missing.
// Returns false, leaving the old file untouched, when anything fails, or when the path or text
// could not be read back as written (not UTF-8, a NUL or line break in the path, "]" in the
// key, a NUL in the text): SetText then returns the content as it was.
bool WriteText(const std::string& file, std::string_view path, std::string_view text);

// The same two operations on the content of a registry file, for the file functions above.
std::string FindText(std::string_view content, std::string_view path,
                     const std::function<const char*(const char*)>& getEnv = nullptr);
std::string SetText(std::string_view content, std::string_view path, std::string_view text);

// Replaces %NAME% by the environment variable NAME; references to unset variables stay as written.
std::string ExpandEnvironment(std::string_view text, const std::function<const char*(const char*)>& getEnv);

}  // namespace registry

}  // namespace core
