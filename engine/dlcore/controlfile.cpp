#include "controlfile.h"
#include "files.h"

#include <zlib.h>

#include <cstring>

namespace dlcore {

namespace {

constexpr char kMagic[8] = {'Q', 'V', 'D', 'L', 'C', 'T', 'L', '\n'};
constexpr std::uint32_t kVersion = 1;

template <typename T>
void Put(std::string& out, T value) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  out.append(bytes, sizeof(T));
}

void PutText(std::string& out, const std::string& text) {
  Put<std::uint32_t>(out, std::uint32_t(text.size()));
  out += text;
}

struct Reader {
  std::string_view in;
  bool ok = true;
  template <typename T>
  T Get() {
    T value{};
    if (in.size() < sizeof(T)) {
      ok = false;
      return value;
    }
    std::memcpy(&value, in.data(), sizeof(T));
    in.remove_prefix(sizeof(T));
    return value;
  }
  std::string GetText() {
    std::uint32_t n = Get<std::uint32_t>();
    if (!ok || n > in.size()) {
      ok = false;
      return {};
    }
    std::string text(in.substr(0, n));
    in.remove_prefix(n);
    return text;
  }
};

std::uint32_t Crc(std::string_view bytes) {
  return std::uint32_t(crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size())));
}

}  // namespace

std::string EncodeControl(const ControlState& s) {
  std::string out(kMagic, sizeof kMagic);
  Put(out, kVersion);
  PutText(out, s.url);
  Put<std::int64_t>(out, s.total);
  Put<std::uint8_t>(out, s.rangeable ? 1 : 0);
  PutText(out, s.etag);
  PutText(out, s.lastModified);
  Put<std::uint32_t>(out, std::uint32_t(s.done.ranges().size()));
  for (const ByteRange& r : s.done.ranges()) {
    Put<std::int64_t>(out, r.begin);
    Put<std::int64_t>(out, r.end);
  }
  Put<std::uint32_t>(out, Crc(out));
  return out;
}

std::optional<ControlState> DecodeControl(std::string_view bytes) {
  if (bytes.size() < sizeof kMagic + 8 || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) return std::nullopt;
  std::uint32_t stored;
  std::memcpy(&stored, bytes.data() + bytes.size() - 4, 4);
  if (stored != Crc(bytes.substr(0, bytes.size() - 4))) return std::nullopt;
  Reader r{bytes.substr(sizeof kMagic, bytes.size() - sizeof kMagic - 4)};
  if (r.Get<std::uint32_t>() != kVersion) return std::nullopt;
  ControlState s;
  s.url = r.GetText();
  s.total = r.Get<std::int64_t>();
  s.rangeable = r.Get<std::uint8_t>() != 0;
  s.etag = r.GetText();
  s.lastModified = r.GetText();
  std::uint32_t count = r.Get<std::uint32_t>();
  std::int64_t previousEnd = 0;
  for (std::uint32_t i = 0; r.ok && i < count; ++i) {
    ByteRange range{r.Get<std::int64_t>(), r.Get<std::int64_t>()};
    // Sorted, disjoint and inside the file, or the state is not to be trusted.
    if (range.begin < previousEnd || range.end <= range.begin || (s.total >= 0 && range.end > s.total))
      return std::nullopt;
    s.done.Add(range);
    previousEnd = range.end;
  }
  if (!r.ok || !r.in.empty() || s.total < -1) return std::nullopt;
  return s;
}

bool WriteControlFile(const std::string& path, const ControlState& state) {
  // One writer at a time (the part file's lock), so the temporary name is fixed: a crash
  // leaves it where DL_DelTempFile finds it.
  return common::WriteFileAtomically(path, EncodeControl(state), {.mode = 0644, .tempSuffix = ".tmp"});
}

std::optional<ControlState> ReadControlFile(const std::string& path) {
  // A few kilobytes even for a file of many pieces: a larger one is not ours, and the download
  // starts over.
  const std::optional<std::string> bytes = common::ReadFileUpTo(path, 16 << 20);
  return bytes ? DecodeControl(*bytes) : std::nullopt;
}

}  // namespace dlcore
