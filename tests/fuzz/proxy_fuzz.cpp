// The proxy rule: any value of the proxy and no_proxy variables gives either no proxy or one
// whose host and port could stand in a request line (no blank, control byte, "/" or "@").
#include <string>

#include "fuzz.h"
#include "proxy.h"

using namespace http;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  // The first line is the proxy, the rest the no_proxy list.
  const std::string proxyValue = input.substr(0, input.find('\n'));
  const std::string list = input.find('\n') == std::string::npos ? "" : input.substr(input.find('\n') + 1);
  const Environment env = [&](const char* name) -> const char* {
    const std::string n = name;
    if (n == "http_proxy") return proxyValue.c_str();
    if (n == "no_proxy") return list.c_str();
    return nullptr;
  };
  const std::optional<Proxy> proxy = EnvironmentProxy("http://portal.example:8080/a?b", env);
  if (!proxy) return 0;
  FUZZ_CHECK(!proxy->hostAndPort.empty(), "an empty proxy");
  for (unsigned char c : proxy->hostAndPort)
    FUZZ_CHECK(c > ' ' && c != 0x7F && c != '/' && c != '@', "a proxy that could break the request line");
  FUZZ_CHECK(ProxyAuthorizationLine(*proxy).find_first_of("\r\n") == std::string::npos,
             "credentials that break the header");
  return 0;
}
