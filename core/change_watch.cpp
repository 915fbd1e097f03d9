#include "change_watch.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <utility>

#include "bridge_failure.h"

namespace vantrel {

using Clock = std::chrono::steady_clock;

struct ChangeBursts {
  std::mutex mutex;
  std::condition_variable wake;
  bool stopping = false;
  bool pending = false;  // a burst has begun and not been reported yet
  Clock::time_point began;
  Clock::time_point latest;
};

namespace {

void noteChange(ChangeBursts& bursts) {
  bool began = false;
  {
    const std::lock_guard lock(bursts.mutex);
    const Clock::time_point now = Clock::now();
    if (!bursts.pending) {
      bursts.pending = true;
      bursts.began = now;
      began = true;
    }
    bursts.latest = now;
  }
  // A later notice only moves the end of the burst: the waiting thread reads
  // it when its current wait runs out.
  if (began) bursts.wake.notify_one();
}

void reportBursts(ChangeBursts& bursts, const std::function<void()>& changed) {
  std::unique_lock lock(bursts.mutex);
  for (;;) {
    bursts.wake.wait(lock, [&] { return bursts.stopping || bursts.pending; });
    if (bursts.stopping) return;
    const Clock::time_point due =
        std::min(bursts.latest + kChangeBurstQuiet, bursts.began + kChangeBurstLongest);
    if (Clock::now() < due) {
      bursts.wake.wait_until(lock, due, [&] { return bursts.stopping; });
      continue;
    }
    bursts.pending = false;
    lock.unlock();
    try {
      changed();
    } catch (...) {
      // The caller's failure is the caller's; the watch goes on.
    }
    lock.lock();
  }
}

}  // namespace

ChangeWatch::ChangeWatch(std::function<void()> changed)
    : bursts_(std::make_shared<ChangeBursts>()) {
  layerWatch_ = platform::startStoreWatch([bursts = bursts_] { noteChange(*bursts); });
  if (layerWatch_ == nullptr) throw PlatformError("Calendar changes cannot be watched.");
  try {
    // The thread owns what it uses, so that it can outlive a watch stopped
    // from inside `changed`.
    deliverer_ = std::thread([bursts = bursts_, changed = std::move(changed)] {
      reportBursts(*bursts, changed);
    });
  } catch (...) {
    platform::stopStoreWatch(layerWatch_);
    throw;
  }
}

ChangeWatch::~ChangeWatch() {
  // First, so that no notice comes in after this; never under the mutex, which
  // the layer's thread may be waiting for inside stopStoreWatch.
  platform::stopStoreWatch(layerWatch_);
  {
    const std::lock_guard lock(bursts_->mutex);
    bursts_->stopping = true;
  }
  bursts_->wake.notify_one();
  if (deliverer_.get_id() == std::this_thread::get_id()) {
    deliverer_.detach();
  } else {
    deliverer_.join();
  }
}

}  // namespace vantrel
