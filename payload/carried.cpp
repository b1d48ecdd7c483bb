#include "carried.h"

#include <zlib.h>

#include <cstdio>

#include "carried_blobs.h"

namespace payload {

#ifdef QUORVEL_CARRIES_LIBRARIES
bool CarriesLibraries() { return true; }
CarriedFile CarriedDlcore() { return {qv_dlcore_begin, std::size_t(qv_dlcore_end - qv_dlcore_begin)}; }
CarriedFile CarriedSkinKit() { return {qv_skinkit_begin, std::size_t(qv_skinkit_end - qv_skinkit_begin)}; }
#else
bool CarriesLibraries() { return false; }
CarriedFile CarriedDlcore() { return {}; }
CarriedFile CarriedSkinKit() { return {}; }
#endif
CarriedFile CarriedIdDat() { return {qv_iddat_begin, std::size_t(qv_iddat_end - qv_iddat_begin)}; }

CarriedFile CarriedSkin(int number) {
  if (number < 1 || number > 33) return {};
  return {qv_skins[number - 1][0], std::size_t(qv_skins[number - 1][1] - qv_skins[number - 1][0])};
}

std::string CarriedLibraryName(const std::string& stem, const CarriedFile& file) {
  char hash[16];
  std::snprintf(hash, sizeof hash, "%08lx", crc32(0L, file.data, uInt(file.size)));
  return "." + stem + "-" + hash + kLibrarySuffix;
}

}  // namespace payload
