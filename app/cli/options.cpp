#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "commands.h"
#include "pathtext.h"
#include "platform/fileio.h"
#include "servers.h"
#include "sizes.h"

namespace cli {

std::atomic<bool> gInterrupted = false;

int BadArguments(const std::string& message) {
  std::fprintf(stderr, "quorvel-cli: %s\n", message.c_str());
  return 2;
}

bool TakeValue(Arguments& args, const std::string& name, std::string& value) {
  auto at = std::find(args.begin(), args.end(), name);
  if (at == args.end()) return true;
  if (at + 1 == args.end()) return false;
  value = *(at + 1);
  args.erase(at, at + 2);
  return true;
}

bool TakeFlag(Arguments& args, const std::string& name) {
  auto at = std::find(args.begin(), args.end(), name);
  if (at == args.end()) return false;
  args.erase(at);
  return true;
}

bool TakeLimitRate(Arguments& args, std::int64_t& rate) {
  std::string text;
  rate = 0;
  if (!TakeValue(args, "--limit-rate", text)) return BadArguments("--limit-rate 需要一个速度，如 500K 或 2M"), false;
  if (text.empty()) return true;
  const std::optional<std::int64_t> parsed = common::ParseRate(text);
  if (!parsed) return BadArguments("--limit-rate 取每秒字节数，如 500K 或 2M：" + text), false;
  rate = *parsed;
  return true;
}

bool TakeServerOptions(Arguments& args, catalogue::Servers& servers) {
  const catalogue::Servers configured = core::ConfiguredServers();
  std::string portal, download;
  if (!TakeValue(args, "--portal", portal) || !TakeValue(args, "--download-server", download)) {
    BadArguments("--portal 和 --download-server 取 HOST[:PORT]");
    return false;
  }
  servers.portal = portal.empty() ? configured.portal : core::ServerAddress(portal);
  servers.download = download.empty() ? configured.download : core::ServerAddress(download);
  return true;
}

bool UsableFolder(const std::string& folder) {
  std::error_code ec;
  std::filesystem::create_directories(common::PathOf(folder), ec);
  if (!std::filesystem::is_directory(common::PathOf(folder), ec) || !platform::CanWriteInFolder(folder)) {
    BadArguments("保存目录无法写入：" + folder);
    return false;
  }
  return true;
}

}  // namespace cli
