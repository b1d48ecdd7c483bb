#include <windows.h>
#include <winioctl.h>

#include <random>

#include "platform/fileio.h"
#include "platform/wide_windows.h"

namespace platform {

namespace {

// Other handles may read, write, rename and delete the file meanwhile, as on POSIX: the engine
// renames its part file while it holds it open and locked.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct Way {
  DWORD access, disposition;
  bool writes;
};

Way WayOf(OpenMode mode) {
  switch (mode) {
    case OpenMode::kRead:
    case OpenMode::kReadNoWait: return {GENERIC_READ, OPEN_EXISTING, false};
    case OpenMode::kReadWrite: return {GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, true};
    case OpenMode::kReadWriteCreate: return {GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, true};
    case OpenMode::kReadWriteCreateNew: return {GENERIC_READ | GENERIC_WRITE, CREATE_NEW, true};
    case OpenMode::kWriteCreateTruncate: return {GENERIC_WRITE, OPEN_ALWAYS, true};
  }
  return {GENERIC_READ, OPEN_EXISTING, false};
}

// A symbolic link or junction: a planted name leads nowhere else.
bool IsReparsePoint(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info{};
  return GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::int64_t Combined(DWORD high, DWORD low) { return std::int64_t((std::uint64_t(high) << 32) | low); }

FileFacts FactsOfInfo(HANDLE h, const BY_HANDLE_FILE_INFORMATION& info) {
  FileFacts f;
  f.regular = GetFileType(h) == FILE_TYPE_DISK &&
              !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
  f.size = Combined(info.nFileSizeHigh, info.nFileSizeLow);
  FILE_STANDARD_INFO standard{};
  f.allocated = GetFileInformationByHandleEx(h, FileStandardInfo, &standard, sizeof standard)
                    ? standard.AllocationSize.QuadPart
                    : f.size;
  f.links = info.nNumberOfLinks;
  if (standard.DeletePending) f.links = 0;  // its last name is going
  f.device = info.dwVolumeSerialNumber;
  f.inode = std::uint64_t(Combined(info.nFileIndexHigh, info.nFileIndexLow));
  f.permissions = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0644;
  // 100-ns steps since 1601 to nanoseconds since 1970.
  const std::int64_t ticks = Combined(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
  f.modifiedNs = (ticks - 116444736000000000LL) * 100;
  return f;
}

std::optional<FileFacts> FactsOfOpened(HANDLE h) {
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  std::optional<FileFacts> facts;
  if (GetFileInformationByHandle(h, &info)) facts = FactsOfInfo(h, info);
  CloseHandle(h);
  return facts;
}

OVERLAPPED At(std::int64_t offset) {
  OVERLAPPED o{};
  o.Offset = DWORD(std::uint64_t(offset) & 0xFFFFFFFF);
  o.OffsetHigh = DWORD(std::uint64_t(offset) >> 32);
  return o;
}

}  // namespace

FileHandle OpenFile(const std::string& path, OpenMode mode, unsigned permissions) {
  const Way way = WayOf(mode);
  const DWORD attributes = (permissions & 0200) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
  HANDLE h = CreateFileW(Wide(path).c_str(), way.access, kShareAll, nullptr, way.disposition,
                         attributes | (way.writes ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
  if (h == INVALID_HANDLE_VALUE) return kNoFile;
  if (way.writes && IsReparsePoint(h)) {
    CloseHandle(h);
    SetLastError(ERROR_CANT_ACCESS_FILE);
    return kNoFile;
  }
  if (mode == OpenMode::kWriteCreateTruncate) {
    FILE_END_OF_FILE_INFO end{};
    SetFileInformationByHandle(h, FileEndOfFileInfo, &end, sizeof end);
  }
  return FromHandle(h);
}

FileHandle OpenUniqueFile(std::string& pathTemplate) {
  if (!pathTemplate.ends_with("XXXXXX")) {
    SetLastError(ERROR_INVALID_NAME);
    return kNoFile;
  }
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    for (size_t i = pathTemplate.size() - 6; i < pathTemplate.size(); ++i) pathTemplate[i] = kLetters[random() % 36];
    const FileHandle file = OpenFile(pathTemplate, OpenMode::kReadWriteCreateNew, 0600);
    if (file != kNoFile || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return kNoFile;
}

bool CloseFile(FileHandle file) { return CloseHandle(AsHandle(file)); }

FileHandle DuplicateFile(FileHandle file) {
  HANDLE copy = INVALID_HANDLE_VALUE;
  const HANDLE self = GetCurrentProcess();
  if (!DuplicateHandle(self, AsHandle(file), self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) return kNoFile;
  return FromHandle(copy);
}

std::int64_t ReadSome(FileHandle file, char* into, std::size_t size) {
  DWORD n = 0;
  if (ReadFile(AsHandle(file), into, DWORD(std::min<std::size_t>(size, 1 << 30)), &n, nullptr)) return n;
  return GetLastError() == ERROR_HANDLE_EOF || GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
}

bool ReadExactlyAt(FileHandle file, char* into, std::size_t size, std::int64_t offset) {
  while (size > 0) {
    OVERLAPPED o = At(offset);
    DWORD n = 0;
    if (!ReadFile(AsHandle(file), into, DWORD(std::min<std::size_t>(size, 1 << 30)), &n, &o) || n == 0) return false;
    into += n, size -= n, offset += n;
  }
  return true;
}

std::int64_t WriteSome(FileHandle file, const char* data, std::size_t size, std::optional<std::int64_t> offset) {
  DWORD n = 0;
  OVERLAPPED o = At(offset.value_or(0));
  const DWORD chunk = DWORD(std::min<std::size_t>(size, 1 << 30));
  if (!WriteFile(AsHandle(file), data, chunk, &n, offset ? &o : nullptr)) return -1;
  return n;
}

std::optional<FileFacts> FactsOf(FileHandle file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(AsHandle(file), &info)) return std::nullopt;
  return FactsOfInfo(AsHandle(file), info);
}

bool OnlyRegularFile(FileHandle file) {
  const std::optional<FileFacts> facts = FactsOf(file);
  return facts && facts->regular && facts->links == 1;
}

std::optional<FileFacts> FactsOfPath(const std::string& path) {
  return FactsOfOpened(
      CreateFileW(Wide(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

std::optional<FileFacts> FactsOfName(const std::string& path) {
  return FactsOfOpened(CreateFileW(Wide(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

bool TruncateFile(FileHandle file, std::int64_t size) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = size;
  return SetFileInformationByHandle(AsHandle(file), FileEndOfFileInfo, &end, sizeof end);
}

bool SetPermissions(FileHandle file, unsigned permissions) {
  FILE_BASIC_INFO basic{};
  if (!GetFileInformationByHandleEx(AsHandle(file), FileBasicInfo, &basic, sizeof basic)) return false;
  basic.FileAttributes = (permissions & 0200) ? (basic.FileAttributes & ~DWORD(FILE_ATTRIBUTE_READONLY))
                                              : (basic.FileAttributes | FILE_ATTRIBUTE_READONLY);
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(AsHandle(file), FileBasicInfo, &basic, sizeof basic);
}

Fault ReserveRoom(FileHandle file, std::int64_t size) {
  // As posix_fallocate: the file grows to `size` (never shrinks) with its clusters taken now, so
  // that a full disk shows at once. Its new bytes read as zeros.
  const std::optional<FileFacts> facts = FactsOf(file);
  if (!facts) return LastFault();
  if (size <= facts->size) return Fault::kNone;
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = size;
  if (SetFileInformationByHandle(AsHandle(file), FileEndOfFileInfo, &end, sizeof end)) return Fault::kNone;
  return LastFault();
}

void ReleaseRoom(FileHandle file, std::int64_t begin, std::int64_t size) {
  // Zeros, and the room itself back where the file is sparse.
  FILE_ZERO_DATA_INFORMATION zero{};
  zero.FileOffset.QuadPart = begin;
  zero.BeyondFinalZero.QuadPart = begin + size;
  DWORD returned = 0;
  DeviceIoControl(AsHandle(file), FSCTL_SET_ZERO_DATA, &zero, sizeof zero, nullptr, 0, &returned, nullptr);
}

void AdviseSequential(FileHandle) {}  // Windows takes the hint only when the file is opened

bool TryLockExclusive(FileHandle file) {
  // One byte far past any data: a lock on the data itself would refuse reads through other
  // handles (Windows' locks are mandatory).
  OVERLAPPED o = At(0x7FFFFFFFFFFFFFFELL);
  return LockFileEx(AsHandle(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &o);
}

bool CanWriteInFolder(const std::string& folder) {
  const std::string probe = folder + "\\.quorvel-write-check-" + std::to_string(GetCurrentProcessId());
  HANDLE h = CreateFileW(Wide(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

bool NameExists(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool MakeFolder(const std::string& path, unsigned) { return CreateDirectoryW(Wide(path).c_str(), nullptr); }

bool RenameFile(const std::string& from, const std::string& to) {
  return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING);
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
  return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), 0);  // fails with ERROR_ALREADY_EXISTS
}

bool LinkFile(const std::string& from, const std::string& to) {
  return CreateHardLinkW(Wide(to).c_str(), Wide(from).c_str(), nullptr);
}

bool RemoveFile(const std::string& path) {
  const std::wstring wide = Wide(path);
  // POSIX semantics (Windows 10 1709 and later): the name goes at once, even while the file is
  // open elsewhere, so that a new file can take it; else the classic delete, whose name stays
  // until the last handle closes.
  HANDLE h = CreateFileW(wide.c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    FILE_DISPOSITION_INFO_EX dispose{FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS |
                                     FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE};
    // FileDispositionInfoEx, which mingw's headers hide behind a mistyped version check.
    const auto dispositionEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
    const bool gone = SetFileInformationByHandle(h, dispositionEx, &dispose, sizeof dispose);
    CloseHandle(h);
    if (gone) return true;
  }
  if (DeleteFileW(wide.c_str())) return true;
  // A file we made read-only (a finished download's mode) is removed as on POSIX.
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return false;
  SetFileAttributesW(wide.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
  return DeleteFileW(wide.c_str());
}

}  // namespace platform
