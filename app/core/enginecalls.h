#pragma once
// What the download list calls, as the program binds it: the engine library's functions, each
// bound by name at its first call through the library-call binder, and the jobs the torrent
// library does for it (a torrent's content through the swarm, an archive's check).
#include <string>

#include "calls.h"
#include "librarycall.h"

namespace core {

session::EngineCalls BindEngineCalls(LibraryBinder& binder, const std::string& libraryPath);
session::JobCalls TorrentJobCalls();

}  // namespace core
