#pragma once
// Whether a file found in the save folder is the package the server has now. A file of the
// right name proves nothing (an older version, a captive portal's page saved by another
// program): only the record the engine left when it completed the download does, and only
// while the file is as it was then and the server still names the same size and validators.
#include <string>

#include "downloadorder.h"
#include "eventpump.h"

namespace core {

// One HEAD request (through the environment's proxy), bounded by `timeoutSeconds`; `keepGoing`
// is asked while it waits. False whenever anything cannot be shown.
bool ProvenThere(const common::DownloadOrder& order, const common::EventPump& keepGoing, int timeoutSeconds = 15);

}  // namespace core
