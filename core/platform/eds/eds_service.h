// What the calendar store and its watch share: the library table, the reason
// the service cannot be used, the deadline of each call, the local zone.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "eds_library.h"

namespace vantrel::eds {

// No call to the service waits longer: a hung service fails a read with
// kTimedOut instead of blocking for D-Bus's 25 seconds, or forever.
constexpr std::chrono::seconds kCallDeadline{10};
inline constexpr const char* kTimedOut =
    "The calendar service (Evolution Data Server) did not answer within 10 seconds.";

// The table, or PlatformError with the reason it cannot be had.
const Library& requireLibrary();

// Why the service cannot be used now: nullopt when its bus names are
// reachable. `denied` tells a sandbox that keeps them out of reach from a
// machine without them.
struct Unavailable {
  std::string reason;
  bool denied = false;
};
std::optional<Unavailable> unavailable();

// A cancellable that cancels itself kCallDeadline after it was made, for
// every call of one read. Cancelling is all the timer thread does; it is
// joined when this ends.
class Deadline {
 public:
  explicit Deadline(const Library& library);
  ~Deadline();
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;
  GCancellable* cancellable() const { return cancellable_; }
  // Throws PlatformError: kTimedOut once the deadline passed, else the error's text.
  [[noreturn]] void fail(GError* error, const char* what) const;

 private:
  const Library& library_;
  GCancellable* cancellable_;
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
  std::thread timer_;
};

// The zone whose wall clock floating and all-day times are read in: the
// process's, TZ first, as GLib finds it. The caller unrefs it.
GTimeZone* newLocalZone(const Library& library);

// The libical zone for a client's floating times, TZ first as above, so that
// the service's range matches the wall clock the times are read in.
ICalTimezone* defaultZone(const Library& library);

}  // namespace vantrel::eds
