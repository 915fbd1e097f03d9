// What the store watches hear of access answers: on macOS a change of
// permission posts the store's change notification, so an answered request
// that changes the status is a change of the store, once the status shows it
// (after the answer's lag).
#pragma once

#include <chrono>
#include <vector>

namespace vantrel::standin {

// A running watch, as the process-wide access state holds it: `due` (guarded
// by that state) holds when announced changes take effect, and `wake`, an
// eventfd, is written for each. Shared by every copy of the stand-in in a
// process, so its layout is part of that state's.
struct StatusWatch {
  int wake = -1;
  std::vector<std::chrono::steady_clock::time_point> due;
};

void addStatusWatch(StatusWatch& watch);
void removeStatusWatch(StatusWatch& watch);
// Milliseconds until the next announced change takes effect; -1 when none is.
int millisecondsUntilStatusChange(StatusWatch& watch);
// Whether an announced change has taken effect since the last call.
bool statusChanged(StatusWatch& watch);

}  // namespace vantrel::standin
