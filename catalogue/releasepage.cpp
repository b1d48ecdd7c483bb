#include "releasepage.h"

#include "bytetext.h"
#include "eventpump.h"
#include "regexmatcher.h"
#include "url.h"

namespace catalogue {

const char* const kPortalPath = "/channel.php?in=source&mod=ManageDownload&type=t3&source=&bus=download&client=client";

std::string ReleaseFormText(std::string_view deviceNumber) {
  const std::string encoded = common::PercentEncoded(deviceNumber, "&=%+#");  // the form's own signs too
  return "FileName=" + encoded + "&submit=%3CSTRONG%3E%B2%E9%D1%AF%CA%FD%BE%DD%3C%2FSTRONG%3E";
}

ReleasePage ParseReleasePage(std::string_view page, const std::string& server, const common::EventPump& pump) {
  // The link marker holds two blanks between "<a" and "href".
  static const char* const kLinkMarker = "con ui-icon-disk z'></span><a  href='?CLD://DownFiles=";
  ReleasePage r;
  // A view: the page may be as large as a response may be (256 MiB).
  const std::string_view section = text::TextBetweenView(
      page, "<table cellpadding=\"0\" cellspacing=\"0\" class=\"dt\">", "<div class=\"mbm cl\"></div>");
  r.companionMaps = text::CollectParagraphs(section, pump);
  r.torrentLink = text::TextBetween(section, kLinkMarker, "@@fileName=");
  r.programLink =
      text::Replace(text::TextBetween(section, kLinkMarker, ".torrent@@fileName="), "/torrent/ntorrent", "");
  r.mapName = text::TextBetween(section, "style.display='block';\" value=\"", "\" style=\"padding:3px;\"/>");
  const std::string mapFolder = r.mapName.size() >= 6 ? r.mapName.substr(5, 7) : std::string();
  r.mapLink = server + "/data/wp" + text::AsciiLower(mapFolder) + "/" + r.mapName + "/DATA.zip";
  text::RegexMatcher cells;
  cells.Match("<td>(.*?)</td>", section);
  r.version = cells.SubMatchText(1, 1);
  r.incomplete = cells.Incomplete();
  r.size = cells.SubMatchText(2, 1);
  r.releaseDate = text::TextBetween(r.programLink, "/app/oem/", "/");
  return r;
}

}  // namespace catalogue
