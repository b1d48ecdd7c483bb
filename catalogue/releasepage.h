#pragma once
// The channel portal's answer to a device number: the form that asks, and the first listed
// release cut out of the page. Qt-free; all texts are GBK byte text, as the page is.
#include <string>
#include <string_view>

#include "eventpump.h"
#include "safename.h"
#include "texthelpers.h"

namespace catalogue {

// "/channel.php?in=source&mod=ManageDownload&type=t3&source=&bus=download&client=client"
extern const char* const kPortalPath;

// "FileName=" + the device number + the fixed submit value. Characters that would change the
// form's meaning ("&", "=", "%", "+", blanks, controls, bytes of 0x80 and more) are
// percent-encoded; digits and letters go as they are.
std::string ReleaseFormText(std::string_view deviceNumber);

struct ReleasePage {
  std::string companionMaps;  // paragraph texts, each followed by CR LF
  std::string torrentLink;
  std::string programLink;
  std::string mapName;
  std::string mapLink;
  std::string version;  // first table cell; empty: no result
  std::string size;     // second table cell
  std::string releaseDate;
  bool incomplete = false;  // the cells' search gave up before the page's end (too large, too slow)
};

// `server` is "http://" + the download server's host.
ReleasePage ParseReleasePage(std::string_view page, const std::string& server, const common::EventPump& pump = nullptr);

}  // namespace catalogue
