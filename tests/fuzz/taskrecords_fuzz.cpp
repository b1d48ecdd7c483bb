// The task records: any bytes in a creation record give a usable order or a refused one, and
// a progress record's texts are read within it.
#include <cstring>
#include <vector>

#include "engine.h"
#include "fuzz.h"
#include "recordlayout.h"
#include "taskrecord.h"

using namespace dlcore;
using namespace records;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::uint8_t> record(createparams::kCapacity, 0);
  // The fuzz bytes land on the fields' area at the front and at the texts' ends, so that
  // unterminated texts are reached often.
  std::memcpy(record.data(), data, std::min(size, record.size()));
  if (size > record.size())
    std::memcpy(record.data() + record.size() - std::min(size - record.size(), record.size()), data + record.size(),
                std::min(size - record.size(), record.size()));
  const TaskOrder order = OrderFromRecord(record.data());
  if (!order.failure) {
    FUZZ_CHECK(!order.name.empty() && order.name != "." && order.name != "..", "an unusable name accepted");
    FUZZ_CHECK(order.name.find('/') == std::string::npos, "a name with a folder in it accepted");
    std::string scheme = order.url.substr(0, 8);
    for (char& c : scheme) c = char(std::tolower(static_cast<unsigned char>(c)));
    FUZZ_CHECK(scheme.rfind("http://", 0) == 0 || scheme.rfind("https://", 0) == 0, "an address without its scheme");
    for (unsigned char c : order.url) FUZZ_CHECK(c > 0x20 && c < 0x7F, "an unescaped byte in the address");
  }
  TaskProgressInfo info;
  if (info.Build()) {
    std::memcpy(info.Address(), data, std::min<size_t>(size, progressinfo::kCapacity));
    (void)info.szFilename();
    (void)info.stat();
  }
  return 0;
}
