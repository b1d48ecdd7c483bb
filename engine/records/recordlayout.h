#pragma once
// Byte offsets of the two packed records the download engine and the program exchange.
// Little-endian numbers; texts are UTF-16LE arrays ending in a zero unit inside the field.
#include <cstddef>

#include "dlcore.h"

namespace createparams {
constexpr size_t kCapacity = 27000, kSize = DL_CREATE_PARAMS_SIZE;
constexpr size_t nReserved = 0, szTaskUrl = 4, szRefUrl = 4172, szCookies = 8340, szFilename = 16532,
                 szReserved0 = 17052, szSavePath = 17572, hReserved = 18092, bReserved = 18096,
                 szReserved1 = 18100, szReserved2 = 18228, IsOnlyOriginal = 18356, nReserved1 = 18360,
                 DisableAutoRename = 18364, IsResume = 18368, reserved = 18372;
constexpr size_t kUrlBytes = 4168, kCookieBytes = 8192, kPathBytes = 520;
}  // namespace createparams

namespace progressinfo {
constexpr size_t kCapacity = 1500, kSize = DL_PROGRESS_INFO_SIZE;
constexpr size_t stat = 0, fail_code = 4, szFilename = 8, szReserved0 = 528, nTotalSize = 1048,
                 nTotalDownload = 1056, fPercent = 1064, nReserved0 = 1068, nSrcTotal = 1072, nSrcUsing = 1076,
                 nSpeed = 1152, nSpeedP2S = 1156, nSpeedP2P = 1160, bIsOriginUsable = 1164, fHashPercent = 1165,
                 IsCreatingFile = 1169, reserved = 1173;
constexpr size_t kNameBytes = 520;
}  // namespace progressinfo
