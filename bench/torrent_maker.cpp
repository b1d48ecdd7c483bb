// torrent_maker FILE TORRENT [PIECE_BYTES [TRACKER [WEBSEED]]]: a single-file v1 torrent of FILE,
// for the verify, swarm and fault benchmarks; a TRACKER of "-" names none.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "verify.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: torrent_maker FILE TORRENT [PIECE_BYTES [TRACKER [WEBSEED]]]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  const std::string name = std::string(argv[1]).substr(std::string(argv[1]).rfind('/') + 1);
  const int piece = argc > 3 ? std::atoi(argv[3]) : 1 << 20;
  std::string t = torrent::CreateTorrent(name, content.str(), piece, argc > 5 ? argv[5] : "");
  // The announce key sorts before "info": it goes first in the dictionary.
  if (argc > 4 && std::strcmp(argv[4], "-") != 0)
    t = "d8:announce" + std::to_string(std::strlen(argv[4])) + ":" + argv[4] + t.substr(1);
  std::ofstream(argv[2], std::ios::binary) << t;
  return in ? 0 : 1;
}
