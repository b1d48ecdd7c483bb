#pragma once
// The torrent of one archive as libtorrent reads it, shared by the check and the repair.
#include <libtorrent/torrent_info.hpp>
#include <memory>
#include <string_view>

#include "verify.h"

namespace torrent {

// The torrent of one archive with v1 piece hashes; nothing (with `v.failure`) for any other.
std::unique_ptr<lt::torrent_info> ArchiveTorrent(std::string_view torrentBytes, Verification& v);

}  // namespace torrent
