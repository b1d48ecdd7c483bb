// The size probe's parsers: an address it accepts gives exactly one request of three lines
// (nothing smuggled), and any answer gives a length that is a plain non-negative number.
#include "fuzz.h"
#include "sizeprobe.h"

using namespace text;
using namespace http;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (auto target = ParseProbeAddress(bytes)) {
    const std::string request = ProbeRequestText(*target);
    FUZZ_CHECK(target->port >= 1 && target->port <= 65535, "a port out of range");
    size_t lineEnds = 0;
    for (size_t at = request.find("\r\n"); at != std::string::npos; at = request.find("\r\n", at + 2)) ++lineEnds;
    FUZZ_CHECK(lineEnds == 4 && request.ends_with("\r\n\r\n"), "a request of other than three lines");
    for (unsigned char c : request) FUZZ_CHECK(c >= 0x20 || c == '\r' || c == '\n', "a control byte in the request");
    for (size_t i = 0; i < request.size(); ++i)
      if (request[i] == '\r' || request[i] == '\n')
        FUZZ_CHECK(request.compare(request[i] == '\r' ? i : i - 1, 2, "\r\n") == 0, "a bare CR or LF in the request");
  }
  FUZZ_CHECK(ProbeDataArrived(bytes) >= 0, "a negative length");
  (void)FormatProbedSize(ProbeDataArrived(bytes));
  return 0;
}
