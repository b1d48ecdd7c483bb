#include "releasepage.h"

#include <cstdio>

#include "bytetext.h"
#include "regexmatcher.h"

const char* const kPortalPath = "/channel.php?in=source&mod=ManageDownload&type=t3&source=&bus=download&client=client";

std::string ReleaseFormText(std::string_view deviceNumber) {
  std::string encoded;
  for (unsigned char c : deviceNumber) {
    if (c <= 0x20 || c >= 0x7F || c == '&' || c == '=' || c == '%' || c == '+' || c == '#') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      encoded += hex;
    } else {
      encoded += char(c);
    }
  }
  return "FileName=" + encoded + "&submit=%3CSTRONG%3E%B2%E9%D1%AF%CA%FD%BE%DD%3C%2FSTRONG%3E";
}

ReleasePage ParseReleasePage(std::string_view page, const std::string& server, const EventPump& pump) {
  // The link marker holds two blanks between "<a" and "href".
  static const char* const kLinkMarker = "con ui-icon-disk z'></span><a  href='?CLD://DownFiles=";
  ReleasePage r;
  const std::string section = TextBetween(page, "<table cellpadding=\"0\" cellspacing=\"0\" class=\"dt\">",
                                          "<div class=\"mbm cl\"></div>");
  r.companionMaps = CollectParagraphs(section, pump);
  r.torrentLink = TextBetween(section, kLinkMarker, "@@fileName=");
  r.programLink = bytetext::Replace(TextBetween(section, kLinkMarker, ".torrent@@fileName="), "/torrent/ntorrent", "");
  r.mapName = TextBetween(section, "style.display='block';\" value=\"", "\" style=\"padding:3px;\"/>");
  const std::string mapFolder = r.mapName.size() >= 6 ? r.mapName.substr(5, 7) : std::string();
  r.mapLink = server + "/data/wp" + bytetext::AsciiLower(mapFolder) + "/" + r.mapName + "/DATA.zip";
  RegexMatcher cells;
  cells.Match("<td>(.*?)</td>", section);
  r.version = cells.SubMatchText(1, 1);
  r.size = cells.SubMatchText(2, 1);
  r.releaseDate = TextBetween(r.programLink, "/app/oem/", "/");
  return r;
}

namespace {

// The longest UTF-8 prefix of `text` within `bytes`, never cutting a character.
std::string_view Utf8Prefix(std::string_view text, size_t bytes) {
  if (text.size() <= bytes) return text;
  size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace

std::string SafeFileName(std::string_view name) {
  std::string out;
  for (unsigned char c : name) {
    if (c == '/' || c == '\\') out += '_';
    else if (c >= 0x20 && c != 0x7F) out += char(c);
  }
  // Never hidden, never "." or "..": ".zip" (a version of control characters) or "..zip".
  if (out.empty() || out.front() == '.') out = "_" + out;
  if (out.size() > kMaxSafeNameBytes) {
    // Too long for the file system: shorten the stem, keep a short extension.
    const size_t dot = out.rfind('.');
    const bool keepExtension = dot != std::string::npos && dot > 0 && out.size() - dot <= 16;
    const std::string extension = keepExtension ? out.substr(dot) : std::string();
    const std::string_view stem = std::string_view(out).substr(0, keepExtension ? dot : out.size());
    out = std::string(Utf8Prefix(stem, kMaxSafeNameBytes - extension.size())) + extension;
  }
  return out;
}
