#pragma once
// The content of a torrent through the swarm, from the window: one job per swarm row of the
// download list, each on a thread of its own, with the download server as the torrent's web
// seed, every piece checked, no seeding. The list tick starts waiting swarm rows and reads
// the running ones' figures; pause keeps the resume data, cancel deletes what is unfinished.

class MainWindow;

namespace ui {

// A completed torrent file of row `id` (a BT-mode download): a swarm row for its content,
// waiting to start. False when the row is no readable torrent (said in the list window).
bool ContinueThroughSwarm(MainWindow& w, int id);
// Starts waiting swarm rows and brings the running jobs' figures and ends into their rows.
void FollowSwarms(MainWindow& w);
// Stops the job of row `id` (its resume data kept); with `discard` its unfinished files go too.
void StopSwarm(MainWindow& w, int id, bool discard);
// Every job stops, and is waited for (the window is closing).
void StopAllSwarms(MainWindow& w);

}  // namespace ui
