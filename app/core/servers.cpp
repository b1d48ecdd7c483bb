#include "servers.h"

#include "printable.h"
#include "settingsstore.h"
#include "settingstable.h"

namespace core {

std::string ServerAddress(std::string host) {
  if (host.starts_with("http://")) host.erase(0, 7);  // written as an address: the host is meant
  while (host.ends_with("/")) host.pop_back();
  return "http://" + host;
}

std::string WhereServerIsChosen(Server server, const std::string& address, bool option) {
  const std::string name = (server == Server::kPortal ? kPortal : kDownloadServer).name;
  const std::string host = address.starts_with("http://") ? address.substr(7) : address;
  // The host and the path come from the settings file and the environment: shown, never acted on.
  std::string text = name + " " + common::Printable(host) + " 由" + SettingsPlace() + " 中的“" + name + "”值选择";
  if (option)
    text +=
        server == Server::kPortal ? "，或命令行的 --portal HOST[:PORT]" : "，或命令行的 --download-server HOST[:PORT]";
  return text;
}

catalogue::Servers ConfiguredServers() {
  return {ServerAddress(ReadSetting(kPortal)), ServerAddress(ReadSetting(kDownloadServer))};
}

}  // namespace core
