#pragma once
// The two servers the program talks to: the build's hosts
// (QUORVEL_PORTAL_HOST, QUORVEL_DOWNLOAD_HOST) unless the settings file names others.
#include <string>

#include "releasesearch.h"

namespace core {

// "http://" + a host written as "host", "host:port" or as an address ("http://host/").
std::string ServerAddress(std::string host);

// The values 门户 and 下载服务器 of the settings file, else the build's hosts.
catalogue::Servers ConfiguredServers();

// The two servers by their settings value: 门户 and 下载服务器, and quorvel-cli's options for them.
enum class Server { kPortal, kDownload };
// What to change when a server cannot be reached: "门户 HOST 由设置文件 FILE 中的“门户”值选择"
// (with `option`, also "，或命令行的 --portal HOST[:PORT]").
std::string WhereServerIsChosen(Server server, const std::string& address, bool option);

}  // namespace core
