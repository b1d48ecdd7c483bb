// Torrent files from anywhere: any bytes give a verdict or a clear failure, never a crash,
// and a verdict names only pieces the archive has.
#include <unistd.h>

#include <fstream>

#include "fuzz.h"
#include "verify.h"

namespace {

// 40000 bytes of i % 251, the archive every seed's torrent describes (16 KiB pieces); removed
// when the run ends.
struct ArchiveFile {
  ArchiveFile() {
    std::string bytes(40000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i % 251);
    std::ofstream(path, std::ios::binary) << bytes;
  }
  ~ArchiveFile() { unlink(path.c_str()); }
  const std::string path = "/tmp/quorvel-fuzz-archive-" + std::to_string(getpid());
};

const std::string& Archive() {
  static const ArchiveFile file;
  return file.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const torrent::Verification v =
      torrent::VerifyArchive(Archive(), std::string_view(reinterpret_cast<const char*>(data), size));
  FUZZ_CHECK(v.checked || !v.failure.empty(), "neither a verdict nor a reason");
  if (v.checked) {
    FUZZ_CHECK(v.size == 40000, "a verdict on an archive of another size");
    FUZZ_CHECK(v.bad.size() <= size_t(v.pieces), "more bad pieces than pieces");
    for (const torrent::BadPiece& b : v.bad)
      FUZZ_CHECK(b.begin < b.end && b.end <= v.size, "a piece outside the archive");
  }
  return 0;
}
