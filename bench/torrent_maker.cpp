// torrent_maker FILE TORRENT [PIECE_BYTES]: a single-file v1 torrent of FILE, for the verify
// benchmark.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "verify.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: torrent_maker FILE TORRENT [PIECE_BYTES]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  const std::string name = std::string(argv[1]).substr(std::string(argv[1]).rfind('/') + 1);
  const int piece = argc > 3 ? std::atoi(argv[3]) : 1 << 20;
  std::ofstream(argv[2], std::ios::binary) << torrent::CreateTorrent(name, content.str(), piece);
  return in ? 0 : 1;
}
