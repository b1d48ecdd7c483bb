#pragma once
// The list's ticks until `done` holds (bounded by WaitUntil's wait), and every event they told.
#include <functional>
#include <vector>

#include "../../fixtures/scratch.h"
#include "downloadlist.h"

inline std::vector<session::DownloadEvent> TickUntil(session::DownloadList& list, const std::function<bool()>& done) {
  std::vector<session::DownloadEvent> events;
  WaitUntil([&] {
    for (const session::DownloadEvent& e : list.Tick()) events.push_back(e);
    return done();
  });
  return events;
}
