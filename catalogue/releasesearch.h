#pragma once
// The release search, without any window: a device number and the two servers in, the
// release row (as the release list shows it) and its download out. The caller's event pump
// runs while the portal and the download server are asked.
#include <string>
#include <string_view>

#include "downloadorder.h"
#include "eventpump.h"

namespace catalogue {

struct Servers {
  std::string portal;    // "http://" + the channel portal's host
  std::string download;  // "http://" + the download server's host
};

// One row of the release list, UTF-8 texts, in the order of its columns (the row number, the
// first column, is the list's to give).
struct ReleaseRow {
  std::string version, releaseDate, size, torrentSize, programLink, torrentLink, companionMaps, mapName, mapLink;
};

// The release file, or its torrent, of a row: the row's link and the version as the file name;
// the archive carries its torrent's link to be checked against. The folder is the caller's.
common::DownloadOrder DownloadOf(const ReleaseRow& row, bool torrent);

struct ReleaseSearch {
  enum class Outcome {
    kFound,     // `row` holds the release
    kNoResult,  // the portal answered its page without a release
    kTooSlow,   // no release found before the page's search gave up: it was too large or too slow
    kFailed,    // the portal could not be asked, or answered an error or something else
    kStopped,   // the pump asked to stop while the portal was asked: nothing more happened
  } outcome = Outcome::kNoResult;
  std::string versionLine;  // "version size" as the hidden version box takes it (UTF-8)
  std::string status;       // the portal's status line, or the failure text (UTF-8)
  ReleaseRow row;
};

// What the window and quorvel-cli say of kTooSlow, instead of "查无结果".
inline constexpr const char* kTooSlowWords = "页面太大/太慢：门户的页面没能在时限内读完，请稍后再试。";

// `deviceNumber` as the device box holds it (UTF-16); sent as code page 936 bytes.
ReleaseSearch SearchRelease(std::u16string_view deviceNumber, const Servers& servers, const common::EventPump& pump);

}  // namespace catalogue
