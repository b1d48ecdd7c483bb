#include "servers.h"

#include <cstdlib>

#include "registryfile.h"

namespace core {

std::string SettingsFilePath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string folder;
  if (config && *config == '/') {
    folder = config;
  } else {
    const char* home = std::getenv("HOME");
    folder = std::string(home ? home : "") + "/.config";
  }
  return folder + "/Quorvel/registry.reg";
}

std::string ServerAddress(std::string host) {
  if (host.starts_with("http://")) host.erase(0, 7);  // written as an address: the host is meant
  while (host.ends_with("/")) host.pop_back();
  return "http://" + host;
}

std::string WhereServerIsChosen(Server server, const std::string& address, bool option) {
  const std::string name = server == Server::kPortal ? "门户" : "下载服务器";
  const std::string host = address.starts_with("http://") ? address.substr(7) : address;
  std::string text = name + " " + host + " 由设置文件 " + SettingsFilePath() + " 中的“" + name + "”值选择";
  if (option)
    text +=
        server == Server::kPortal ? "，或命令行的 --portal HOST[:PORT]" : "，或命令行的 --download-server HOST[:PORT]";
  return text;
}

ServerAddresses ConfiguredServers() {
  const std::string portal = registry::ReadText(SettingsFilePath(), "Quorvel\\门户");
  const std::string download = registry::ReadText(SettingsFilePath(), "Quorvel\\下载服务器");
  return {ServerAddress(portal.empty() ? QUORVEL_PORTAL_HOST : portal),
          ServerAddress(download.empty() ? QUORVEL_DOWNLOAD_HOST : download)};
}

}  // namespace core
