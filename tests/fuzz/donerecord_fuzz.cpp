// A completed package's record, and a server's header block read against it: a damaged
// record is refused, and one that proves nothing (no validator, no size) is never taken.
#include "donerecord.h"
#include "fuzz.h"

using namespace records;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const DoneRecord probe{"http://h/p.ndz", 4096, "\"v1\"", "", 1};
  (void)ServerStillNames(probe, bytes);
  auto record = DecodeDoneRecord(bytes);
  if (!record) return 0;
  FUZZ_CHECK(record->total >= 0 && !record->url.empty(), "a record without a size or an address");
  FUZZ_CHECK(!record->etag.empty() || !record->lastModified.empty(), "a record without a validator");
  auto again = DecodeDoneRecord(EncodeDoneRecord(*record));
  FUZZ_CHECK(again && *again == *record, "a record does not survive its own encoding");
  return 0;
}
