// The download list file: every row kept names an absolute folder and a plain file name (they
// are used to delete temporary files and open folders), and survives its own writing.
#include "downloadlistfile.h"
#include "fuzz.h"

using namespace session;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> complaints;
  const std::vector<ListedDownload> rows = ParseListFile(text, complaints);
  FUZZ_CHECK(rows.size() <= kMaxListedDownloads, "more rows than the list keeps");
  for (const ListedDownload& d : rows) {
    FUZZ_CHECK(d.folder.starts_with('/'), "a folder that is not absolute");
    FUZZ_CHECK(!d.name.empty() && d.name != "." && d.name != ".." && d.name.find('/') == std::string::npos,
               "a name that is not one path component");
    FUZZ_CHECK(d.name.find('\0') == std::string::npos && d.folder.find('\0') == std::string::npos, "a NUL in a path");
  }
  std::vector<std::string> again;
  const std::vector<ListedDownload> back = ParseListFile(ListFileText(rows), again);
  FUZZ_CHECK(again.empty() && back.size() == rows.size(), "rows do not survive their own writing");
  for (size_t i = 0; i < rows.size(); ++i)
    FUZZ_CHECK(back[i].name == rows[i].name && back[i].url == rows[i].url && back[i].verdictText == rows[i].verdictText,
               "a row changed on its way through the file");
  return 0;
}
