// The address split: what it accepts is an http(s) address with a host and a port in range,
// and no part holds a byte of another part's character.
#include "crackurl.h"
#include "fuzz.h"

using namespace http;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view address(reinterpret_cast<const char*>(data), size);
  auto parts = CrackUrl(address);
  if (!parts) return 0;
  FUZZ_CHECK(!parts->host.empty(), "an address without a host");
  FUZZ_CHECK(parts->port >= 1 && parts->port <= 65535, "a port out of range");
  FUZZ_CHECK(parts->path.empty() || parts->path.front() == '/', "a path that does not start at /");
  FUZZ_CHECK(parts->extra.empty() || parts->extra.front() == '?' || parts->extra.front() == '#', "stray extra text");
  FUZZ_CHECK(parts->host.size() + parts->path.size() + parts->extra.size() <= address.size(),
             "parts longer than the address");
  return 0;
}
