#include "standin_main_run_loop.h"

#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#if defined(__APPLE__)
#include <pthread.h>
#else
#include <sys/syscall.h>
#endif

namespace vantrel::standin {
namespace {

// Held while changes are handed over, so that a watch removed from the list
// is never called again.
struct Waiting {
  std::mutex mutex;
  std::vector<MainThreadChanges*> watches;
};

Waiting& waiting() {
  static Waiting* const list = new Waiting;  // never destroyed: watches may outlive exit
  return *list;
}

}  // namespace

bool onMainThread() {
#if defined(__APPLE__)
  return pthread_main_np() != 0;
#else
  return ::syscall(SYS_gettid) == ::getpid();
#endif
}

MainThreadChanges::MainThreadChanges(platform::StoreChanged changed)
    : changed_(std::move(changed)) {
  Waiting& list = waiting();
  const std::lock_guard lock(list.mutex);
  list.watches.push_back(this);
}

MainThreadChanges::~MainThreadChanges() {
  Waiting& list = waiting();
  const std::lock_guard lock(list.mutex);
  list.watches.erase(std::find(list.watches.begin(), list.watches.end(), this));
}

void deliverWaitingChanges() {
  Waiting& list = waiting();
  const std::lock_guard lock(list.mutex);
  for (MainThreadChanges* watch : list.watches) {
    if (watch->waiting_.exchange(false, std::memory_order_acquire)) watch->changed_();
  }
}

}  // namespace vantrel::standin
