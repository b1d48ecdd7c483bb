#pragma once
// The two packed records the download engine and the program exchange, as one table of
// named fields each: the records are built from the tables, and the byte offsets the engine
// and the tests use are computed from them. Little-endian numbers; texts are UTF-16LE arrays
// ending in a zero unit inside the field.
#include <cstddef>
#include <span>
#include <string_view>

#include "dlcore.h"

namespace records {

struct RecordField {
  const char* name;
  size_t bytes;
};

namespace createparams {
constexpr size_t kUrlBytes = 4168, kCookieBytes = 8192, kPathBytes = 520;
}  // namespace createparams

inline constexpr RecordField kCreateParamsFields[] = {
    {"nReserved", 4},
    {"szTaskUrl", createparams::kUrlBytes},
    {"szRefUrl", createparams::kUrlBytes},
    {"szCookies", createparams::kCookieBytes},
    {"szFilename", createparams::kPathBytes},
    {"szReserved0", createparams::kPathBytes},
    {"szSavePath", createparams::kPathBytes},
    {"hReserved", 4},
    {"bReserved", 4},
    {"szReserved1", 128},
    {"szReserved2", 128},
    {"IsOnlyOriginal", 4},
    {"nReserved1", 4},
    {"DisableAutoRename", 4},
    {"IsResume", 4},
    {"reserved", size_t(2048) * 4},
};

inline constexpr RecordField kProgressInfoFields[] = {
    {"stat", 4},           {"fail_code", 4},      {"szFilename", 520},   {"szReserved0", 520}, {"nTotalSize", 8},
    {"nTotalDownload", 8}, {"fPercent", 4},       {"nReserved0", 4},     {"nSrcTotal", 4},     {"nSrcUsing", 4},
    {"nReserved1", 4},     {"nReserved2", 4},     {"nReserved3", 4},     {"nReserved4", 4},    {"nReserved5", 8},
    {"nDonationP2P", 8},   {"nReserved6", 8},     {"nDonationOrgin", 8}, {"nDonationP2S", 8},  {"nReserved7", 8},
    {"nReserved8", 8},     {"nSpeed", 4},         {"nSpeedP2S", 4},      {"nSpeedP2P", 4},     {"bIsOriginUsable", 1},
    {"fHashPercent", 4},   {"IsCreatingFile", 4}, {"reserved", 256},
};

// Where a field starts: the sizes of the fields before it (a name not in the table does not
// compile where a constant is needed).
consteval size_t OffsetOf(std::span<const RecordField> fields, std::string_view name) {
  size_t offset = 0;
  for (const RecordField& f : fields) {
    if (name == f.name) return offset;
    offset += f.bytes;
  }
  throw "no such field";
}

consteval size_t SizeOf(std::span<const RecordField> fields) {
  size_t size = 0;
  for (const RecordField& f : fields) size += f.bytes;
  return size;
}

namespace createparams {
constexpr size_t kCapacity = 27000, kSize = SizeOf(kCreateParamsFields);
#define QV_OFFSET(name) constexpr size_t name = OffsetOf(kCreateParamsFields, #name)
QV_OFFSET(nReserved);
QV_OFFSET(szTaskUrl);
QV_OFFSET(szRefUrl);
QV_OFFSET(szCookies);
QV_OFFSET(szFilename);
QV_OFFSET(szReserved0);
QV_OFFSET(szSavePath);
QV_OFFSET(IsOnlyOriginal);
QV_OFFSET(nReserved1);
QV_OFFSET(DisableAutoRename);
QV_OFFSET(IsResume);
QV_OFFSET(reserved);
#undef QV_OFFSET
static_assert(kSize == DL_CREATE_PARAMS_SIZE);
}  // namespace createparams

namespace progressinfo {
constexpr size_t kCapacity = 1500, kSize = SizeOf(kProgressInfoFields);
constexpr size_t kNameBytes = 520;
#define QV_OFFSET(name) constexpr size_t name = OffsetOf(kProgressInfoFields, #name)
QV_OFFSET(stat);
QV_OFFSET(fail_code);
QV_OFFSET(szFilename);
QV_OFFSET(szReserved0);
QV_OFFSET(nTotalSize);
QV_OFFSET(nTotalDownload);
QV_OFFSET(fPercent);
QV_OFFSET(nReserved0);
QV_OFFSET(nSrcTotal);
QV_OFFSET(nSrcUsing);
QV_OFFSET(nSpeed);
QV_OFFSET(nSpeedP2S);
QV_OFFSET(nSpeedP2P);
QV_OFFSET(bIsOriginUsable);
QV_OFFSET(fHashPercent);
QV_OFFSET(IsCreatingFile);
QV_OFFSET(reserved);
#undef QV_OFFSET
static_assert(kSize == DL_PROGRESS_INFO_SIZE);
}  // namespace progressinfo

}  // namespace records
