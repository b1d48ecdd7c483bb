// The download list file (this version and the first): every row kept names an absolute folder
// and a plain file name (they are used to delete temporary files and open folders), a content
// row's torrent is a plain name too, and every row survives its own writing.
#include "downloadlistfile.h"
#include "fuzz.h"

using namespace session;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> complaints;
  const std::vector<ListedDownload> rows = ParseListFile(text, complaints);
  FUZZ_CHECK(rows.size() <= kMaxListedDownloads, "more rows than the list keeps");
  for (const ListedDownload& d : rows) {
    const common::DownloadOrder& o = d.order;
    FUZZ_CHECK(o.folder.starts_with('/'), "a folder that is not absolute");
    FUZZ_CHECK(!o.name.empty() && o.name != "." && o.name != ".." && o.name.find('/') == std::string::npos,
               "a name that is not one path component");
    FUZZ_CHECK(!d.Swarm() || (!o.torrent.empty() && o.torrent.find('/') == std::string::npos && o.torrent != ".."),
               "a content's torrent that is not one path component");
    FUZZ_CHECK(o.name.find('\0') == std::string::npos && o.folder.find('\0') == std::string::npos, "a NUL in a path");
    FUZZ_CHECK(!o.sources.empty(), "a row without a source");
  }
  std::vector<std::string> again;
  const std::vector<ListedDownload> back = ParseListFile(ListFileText(rows), again);
  FUZZ_CHECK(again.empty() && back.size() == rows.size(), "rows do not survive their own writing");
  for (size_t i = 0; i < rows.size(); ++i)
    FUZZ_CHECK(back[i].order == rows[i].order && back[i].verdictText == rows[i].verdictText &&
                   back[i].alreadyThere == rows[i].alreadyThere,
               "a row changed on its way through the file");
  return 0;
}
