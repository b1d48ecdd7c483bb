// The address value: what it accepts has a lower-case scheme, a host, a port that is 0 (none)
// or in range, parts that come from the address, and a host:port that reads back the same.
#include "fuzz.h"
#include "url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view address(reinterpret_cast<const char*>(data), size);
  const std::optional<common::Url> url = common::ParseUrl(address);
  const std::string encoded = common::PercentEncoded(address, "%");
  FUZZ_CHECK(common::PercentDecoded(encoded) == address, "percent encoding does not decode back");
  if (!url) return 0;
  FUZZ_CHECK(!url->host.empty() && !url->scheme.empty(), "an address without a host or scheme");
  FUZZ_CHECK(url->port >= 0 && url->port <= 65535, "a port out of range");
  FUZZ_CHECK(url->path.empty() || url->path.front() == '/', "a path that does not start at /");
  FUZZ_CHECK(url->scheme.size() + url->userInfo.size() + url->host.size() + url->path.size() + url->query.size() +
                     url->fragment.size() <=
                 address.size(),
             "parts longer than the address");
  const std::optional<common::Url> again = common::ParseUrl("http://" + url->HostAndPort() + "/");
  FUZZ_CHECK(!again || (again->host == url->host && again->PortOrDefault() == url->PortOrDefault()),
             "host:port reads back as another server");
  return 0;
}
