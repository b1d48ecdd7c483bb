// quorvel-cli: what the window does, from a shell.
//   quorvel-cli search DEVICE [--json] [--download [file|bt]] [-o DIR] [--portal HOST[:PORT]] [--download-server
//   HOST[:PORT]] quorvel-cli mapdata VERSION --kind N[,N...]|all [--bt] [--id ID] [--part2] [-o DIR] [--jobs K]
//   [--download-server HOST[:PORT]] quorvel-cli verify ARCHIVE [TORRENT] [--device DEVICE [--portal HOST[:PORT]]]
// Exit status: 0 done, 1 no result / not every download completed / bad pieces, 2 failure or
// bad arguments, 130 after Ctrl-C (downloads paused; the same command resumes them).
#include <csignal>
#include <cstdio>
#include <cstring>

#include "commands.h"

namespace {

int Usage() {
  std::fputs(
      "usage: quorvel-cli search DEVICE [--json] [--download [file|bt]] [-o DIR]\n"
      "       quorvel-cli mapdata VERSION --kind N[,N...]|all [--bt] [--id ID] [--part2] [-o DIR] [--jobs K]\n"
      "       quorvel-cli verify ARCHIVE [TORRENT] [--device DEVICE]\n"
      "  --portal HOST[:PORT], --download-server HOST[:PORT]: other servers than the settings name\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  struct sigaction action {};
  action.sa_handler = [](int) { cli::gInterrupted = 1; };
  sigaction(SIGINT, &action, nullptr);
  const std::string command = argv[1];
  const cli::Arguments args(argv + 2, argv + argc);
  if (command == "search") return cli::Search(args);
  if (command == "mapdata") return cli::MapData(args);
  if (command == "verify") return cli::Verify(args);
  return Usage();
}
