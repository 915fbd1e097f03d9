// A watch of the calendar store's changes as callers see it: the layer's
// notices, which come in bursts (a sync touches many events, a save writes a
// file in pieces), gathered into one call per burst on a thread of the watch's own.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "platform.h"

namespace vantrel {

// A burst ends once the store has been quiet this long.
inline constexpr std::chrono::milliseconds kChangeBurstQuiet{250};
// A store that never falls quiet is still reported, this long after the
// burst began, and again for the rest of it.
inline constexpr std::chrono::milliseconds kChangeBurstLongest{1000};

// What the layer's thread, the watch's thread and the stopping thread share.
struct ChangeBursts;

class ChangeWatch {
 public:
  // Starts watching: `changed` runs on the watch's thread, once per burst;
  // calls never overlap. Throws PlatformError when the store cannot be
  // watched, std::system_error when no thread can be had.
  explicit ChangeWatch(std::function<void()> changed);
  // Stops. Once this returns, `changed` is not running and is never called
  // again. From inside `changed` too: then the watch's thread ends as soon
  // as `changed` returns.
  ~ChangeWatch();
  ChangeWatch(const ChangeWatch&) = delete;
  ChangeWatch& operator=(const ChangeWatch&) = delete;

 private:
  std::shared_ptr<ChangeBursts> bursts_;
  platform::StoreWatch* layerWatch_ = nullptr;
  std::thread deliverer_;
};

}  // namespace vantrel
