// quorvel-cli: what the window does, from a shell.
// The commands, options and exit statuses are in kHelp, which is also its manual page.
#include <csignal>
#include <cstdio>
#include <cstring>

#include "commands.h"

namespace {

const char* const kHelp =
    "Usage: quorvel-cli search DEVICE [OPTION]...\n"
    "  or:  quorvel-cli mapdata VERSION --kind KINDS [OPTION]...\n"
    "  or:  quorvel-cli verify ARCHIVE [TORRENT] [OPTION]...\n"
    "  or:  quorvel-cli torrent FILE.torrent|URL [OPTION]...\n"
    "What the Quorvel window does, from a shell: ask the channel portal for a device's release,\n"
    "download it or map data through the Quorvel engine, and check archives against torrents.\n"
    "\n"
    "search DEVICE: print the release row of the device number.\n"
    "  --json                 print it as JSON\n"
    "  --download [file|bt]   download the release (file, the default) or its torrent (bt)\n"
    "  -o DIR                 save into DIR (default: the current folder)\n"
    "\n"
    "mapdata VERSION: download map data of a map-data version (e.g. 3m21j27).\n"
    "  --kind KINDS           rows of the window's list, by number (0 to 23) or name (set, 3d_a1,\n"
    "                         ..., 0e, 0s, 0w, 0n), separated by commas; or all\n"
    "  --bt                   the torrents instead of the files\n"
    "  --id ID                the incremental update identifier of patches and dynmap\n"
    "  --part2                part 2 of the regional sets (part 1 otherwise)\n"
    "  -o DIR                 save into DIR (default: the current folder)\n"
    "  --jobs K               at most K downloads at a time (1 to 8, default 2)\n"
    "  --content              with --bt: then each torrent's content, as quorvel-cli torrent does\n"
    "\n"
    "verify ARCHIVE [TORRENT]: check the archive against the torrent's piece hashes; without\n"
    "TORRENT, the torrent beside the archive under the version's name.\n"
    "  --device DEVICE        fetch the torrent from the device's release row instead\n"
    "\n"
    "torrent FILE.torrent|URL: the torrent's content through the BitTorrent swarm and the\n"
    "torrent's web seeds; every piece is checked, resume data is kept beside the content.\n"
    "  -o DIR                 save into DIR (default: the current folder)\n"
    "  --peer HOST:PORT       a peer to connect to (may be given several times)\n"
    "  --dht                  also find peers through the DHT (off by default)\n"
    "  --max-upload-rate N    upload at most N bytes a second\n"
    "  --seed-ratio R         seed until R times the content is uploaded (default: stop when complete)\n"
    "  --port P               listen on port P (default: one the system chooses)\n"
    "  --stall SECONDS        give up when no data came for SECONDS (default 300; at once when\n"
    "                         every tracker and web seed failed and no peer is left)\n"
    "\n"
    "Every command that downloads (search --download, mapdata, torrent):\n"
    "  --limit-rate RATE      at most RATE bytes a second for all its downloads together; K, M or\n"
    "                         G after the number for 1024, 1024^2, 1024^3 (500K, 2M)\n"
    "\n"
    "Every command:\n"
    "  --portal HOST[:PORT]   the channel portal (default: the settings file, else the build's)\n"
    "  --download-server HOST[:PORT]\n"
    "                         the download server (likewise)\n"
    "  --help                 show this help and exit\n"
    "  --version              show the version and exit\n"
    "\n"
    "Every request (portal, size probe, downloads, torrents) goes through the proxy that\n"
    "http_proxy, https_proxy or all_proxy names, except for the hosts that no_proxy lists.\n"
    "\n"
    "Exit status: 0 done; 1 no result, not every download completed, or bad pieces; 2 a failure\n"
    "or bad arguments; 130 after Ctrl-C, which pauses every download with its resume data (the\n"
    "same command resumes them).\n";

int Usage() {
  std::fputs("Usage: quorvel-cli search|mapdata|verify|torrent ... (quorvel-cli --help tells more)\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  if (std::strcmp(argv[1], "--help") == 0) return std::fputs(kHelp, stdout) < 0;
  if (std::strcmp(argv[1], "--version") == 0) return std::printf("quorvel-cli %s\n", QUORVEL_VERSION) < 0;
  struct sigaction action {};
  action.sa_handler = [](int) { cli::gInterrupted = 1; };
  sigaction(SIGINT, &action, nullptr);
  const std::string command = argv[1];
  const cli::Arguments args(argv + 2, argv + argc);
  if (command == "search") return cli::Search(args);
  if (command == "mapdata") return cli::MapData(args);
  if (command == "verify") return cli::Verify(args);
  if (command == "torrent") return cli::Torrent(args);
  return Usage();
}
