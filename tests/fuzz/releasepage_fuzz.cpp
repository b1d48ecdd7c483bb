// The release page of the channel portal: any page parses, and the names made of it stay one
// safe component inside the save folder.
#include "fuzz.h"
#include "releasepage.h"

using namespace text;
using namespace catalogue;
using namespace common;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view page(reinterpret_cast<const char*>(data), size);
  const ReleasePage r = ParseReleasePage(page, "http://download.test");
  for (const std::string& name : {SafeFileName(r.version + ".zip"), SafeFileName(r.version + ".torrent"),
                                  SafeFileName(r.mapName), SafeFileName(page)}) {
    FUZZ_CHECK(!name.empty() && name.front() != '.', "a hidden or empty name");
    FUZZ_CHECK(name.find('/') == std::string::npos && name.find('\\') == std::string::npos, "a name with a folder");
    FUZZ_CHECK(IsSafeFileName(name), "a name Windows would not take as one file");
    FUZZ_CHECK(name.size() <= kMaxSafeNameBytes, "a name too long for the engine's files");
    for (unsigned char c : name) FUZZ_CHECK(c >= 0x20 && c != 0x7F, "a control byte in a name");
  }
  return 0;
}
