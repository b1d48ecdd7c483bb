// The engine's state file: a damaged file is refused, never trusted with ranges past the file.
#include "controlfile.h"
#include "fuzz.h"

using namespace dlcore;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto state = DecodeControl(bytes);
  if (!state) return 0;
  FUZZ_CHECK(state->total >= -1, "a size below -1");
  std::int64_t previousEnd = 0;
  for (const ByteRange& r : state->done.ranges()) {
    FUZZ_CHECK(r.begin >= previousEnd && r.end > r.begin, "ranges out of order or empty");
    FUZZ_CHECK(state->total < 0 || r.end <= state->total, "a range past the file's size");
    previousEnd = r.end;
  }
  auto again = DecodeControl(EncodeControl(*state));
  FUZZ_CHECK(again && *again == *state, "a state does not survive its own encoding");
  return 0;
}
