// torrent_seeder FOLDER TORRENT PORT [RATE]: seeds the torrent's content from FOLDER on
// 127.0.0.1:PORT until it is stopped (or for an hour at most), for the swarm benchmarks; RATE
// (bytes a second) holds its upload to all peers together, loopback ones included.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <libtorrent/ip_filter.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/torrent_info.hpp>
#include <sstream>
#include <thread>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: torrent_seeder FOLDER TORRENT PORT\n");
    return 2;
  }
  std::ifstream in(argv[2], std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  const std::string torrent = bytes.str();
  lt::settings_pack s;
  s.set_str(lt::settings_pack::listen_interfaces, std::string("127.0.0.1:") + argv[3]);
  s.set_bool(lt::settings_pack::enable_dht, false);
  s.set_bool(lt::settings_pack::enable_lsd, false);
  s.set_bool(lt::settings_pack::enable_upnp, false);
  s.set_bool(lt::settings_pack::enable_natpmp, false);
  s.set_bool(lt::settings_pack::allow_multiple_connections_per_ip, true);
  if (argc > 4) s.set_int(lt::settings_pack::upload_rate_limit, std::atoi(argv[4]));
  lt::session session(s);
  // libtorrent exempts local peers from the limits unless they are of the global class.
  lt::ip_filter classes;
  classes.add_rule(lt::make_address("0.0.0.0"), lt::make_address("255.255.255.255"),
                   1u << static_cast<std::uint32_t>(lt::session::global_peer_class_id));
  session.set_peer_class_filter(classes);
  lt::add_torrent_params p;
  p.ti = std::make_shared<lt::torrent_info>(lt::span<const char>(torrent.data(), std::ptrdiff_t(torrent.size())),
                                            lt::from_span);
  p.save_path = argv[1];
  // Not queued: a peer that came before the session's queue started the torrent would be turned
  // away and tried again only a minute later.
  p.flags |= lt::torrent_flags::seed_mode;
  p.flags &= ~(lt::torrent_flags::paused | lt::torrent_flags::auto_managed);
  session.add_torrent(p);
  std::printf("%d\n", session.listen_port());
  std::fflush(stdout);
  std::this_thread::sleep_for(std::chrono::hours(1));
}
