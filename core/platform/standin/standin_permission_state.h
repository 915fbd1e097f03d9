// The answers to access requests so far: one state for the whole process,
// however many copies of the stand-in it has loaded (two copies of
// vantrel.node, say), since on macOS the permission belongs to the process.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

namespace vantrel::standin {

// What the status reads once a request was answered: `before` until `from`
// (macOS has been seen to report a grant late), then `after`.
struct AnsweredStatus {
  std::int64_t before;
  std::int64_t after;
  std::chrono::steady_clock::time_point from;

  std::int64_t at(std::chrono::steady_clock::time_point time) const {
    return time < from ? before : after;
  }
};

// Every copy reaches the same one, so its layout is fixed for a version of
// the stand-in: a change of it renames the process-wide place (its _v2).
struct PermissionState {
  std::mutex mutex;
  std::condition_variable delivered;
  std::uint64_t deliveries = 0;
  // Document identity -> the status its answer set. Keyed on the document
  // so that a late answer for an older document cannot change a newer one.
  std::unordered_map<std::string, AnsweredStatus> answered;
};

// Never destroyed: a detached delivery thread may still run while the
// process exits.
PermissionState& permissionState();

}  // namespace vantrel::standin
