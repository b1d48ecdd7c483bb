#pragma once
// The torrent of one archive as libtorrent reads it, shared by the check and the repair.
#include <libtorrent/torrent_info.hpp>
#include <memory>
#include <string>
#include <string_view>

namespace torrent {

// The torrent of one archive with v1 piece hashes; nothing (with `failure` said, UTF-8) for any other.
std::unique_ptr<lt::torrent_info> ArchiveTorrent(std::string_view torrentBytes, std::string& failure);

}  // namespace torrent
