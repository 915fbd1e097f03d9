// On macOS a change made by another process reaches a process only through its
// main thread's run loop. The stand-in holds each watch's changes until the
// process's main thread turns a run-loop step, so that whatever turns that
// loop for a host is needed, and tested, here too.
#pragma once

#include <atomic>

#include "platform.h"

namespace vantrel::standin {

// Whether the calling thread is the process's main thread (its id is the pid).
bool onMainThread();

// One watch's changes on their way to `changed`.
class MainThreadChanges {
 public:
  explicit MainThreadChanges(platform::StoreChanged changed);
  // Once this returns, `changed` is not running and never runs again.
  ~MainThreadChanges();
  MainThreadChanges(const MainThreadChanges&) = delete;
  MainThreadChanges& operator=(const MainThreadChanges&) = delete;

  // Any thread: a change waits for the main thread's next step; changes that
  // wait together count as one.
  void note() { waiting_.store(true, std::memory_order_release); }

 private:
  friend void deliverWaitingChanges();
  platform::StoreChanged changed_;
  std::atomic<bool> waiting_{false};
};

// On the main thread, inside a run-loop step: hands every waiting change over.
void deliverWaitingChanges();

}  // namespace vantrel::standin
