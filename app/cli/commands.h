#pragma once
// The four commands of quorvel-cli. Each takes its arguments after the command's name and
// returns the exit status.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "releasesearch.h"

namespace cli {

using Arguments = std::vector<std::string>;

// Set by the Ctrl-C handler: every download pauses with its resume data.
extern std::atomic<bool> gInterrupted;

int Search(const Arguments& args);
int MapData(const Arguments& args);
int Verify(const Arguments& args);
int Torrent(const Arguments& args);
// The content of a torrent file into `folder` through the swarm and its web seeds: 0 when
// every piece is checked, 1 when it failed, 130 after Ctrl-C.
int FetchContent(const std::string& torrentFile, const std::string& folder, std::int64_t limit);

// Takes --portal HOST[:PORT] and --download-server HOST[:PORT] out of `args`: they replace the
// servers of the settings file and the build; false (with a message) when one has no value.
bool TakeServerOptions(Arguments& args, catalogue::Servers& servers);
// Takes "NAME VALUE" out of `args` when present; false when NAME is last, without a value.
bool TakeValue(Arguments& args, const std::string& name, std::string& value);
bool TakeFlag(Arguments& args, const std::string& name);
// Takes --limit-rate RATE (curl's spelling: 500K, 2M) out of `args`: bytes a second, 0 when
// absent; false (with a message) when RATE is not a rate.
bool TakeLimitRate(Arguments& args, std::int64_t& rate);
// Makes the folder when missing; false (with a message) when it cannot be written.
bool UsableFolder(const std::string& folder);
int BadArguments(const std::string& message);

}  // namespace cli
