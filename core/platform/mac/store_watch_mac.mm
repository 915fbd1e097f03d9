// Watches of the calendar store over EKEventStoreChangedNotification. Each
// watch has a store of its own, made when it starts and released when it stops,
// and an operation queue of its own for the observer's block. EventKit posts the
// notification on the main thread; with a queue of ours the block then runs on
// that queue, so the core hears of a change without waiting for the host's main
// thread (busy in JavaScript in Electron) to be free again.
//
// The notification itself is posted only where the main thread runs its run
// loop, as it does in Electron's main process. In a plain `node`, whose main
// thread runs libuv instead, the module turns that loop (turnMainRunLoop)
// while a watch runs.

#import <EventKit/EventKit.h>
#import <Foundation/Foundation.h>

#include <memory>
#include <mutex>
#include <new>
#include <utility>

#include "platform.h"

#if !__has_feature(objc_arc)
#error "store_watch_mac.mm is written for ARC (-fobjc-arc)"
#endif

namespace vantrel::platform {
namespace {

// Shared by the observer's block and the thread that stops the watch: a block
// already queued when the observer is removed must find the watch stopped.
struct Listener {
  std::mutex mutex;
  bool stopped = false;
  StoreChanged changed;
};

}  // namespace

// ARC releases the store, the queue and the observer when the watch is deleted,
// which happens inside a pool: nothing drains one on the thread that stops.
struct StoreWatch {
  EKEventStore* store;
  NSOperationQueue* queue;
  id<NSObject> observer;
  std::shared_ptr<Listener> listener;
};

StoreWatch* startStoreWatch(StoreChanged changed) {
  // Allocated outside the pool: unwinding through @autoreleasepool skips its drain.
  auto listener = std::make_shared<Listener>();
  listener->changed = std::move(changed);
  auto* watch = new StoreWatch{nil, nil, nil, listener};
  @autoreleasepool {
    watch->store = [[EKEventStore alloc] init];
    if (watch->store != nil) {
      // Whether EventKit tracks the changes of a store that has never loaded
      // anything is not documented; one read makes it a store in use.
      (void)[watch->store calendarsForEntityType:EKEntityTypeEvent];
      watch->queue = [[NSOperationQueue alloc] init];
      // One block at a time: the core is called from one thread at a time.
      watch->queue.maxConcurrentOperationCount = 1;
      watch->queue.name = @"Vantrel calendar changes";
      std::shared_ptr<Listener> shared = listener;
      watch->observer = [NSNotificationCenter.defaultCenter
          addObserverForName:EKEventStoreChangedNotification
                      object:watch->store
                       queue:watch->queue
                  usingBlock:^(NSNotification* notification) {
                    (void)notification;
                    const std::lock_guard lock(shared->mutex);
                    if (!shared->stopped) shared->changed();
                  }];
    }
  }
  if (watch->store == nil) {
    @autoreleasepool {
      delete watch;
    }
    return nullptr;
  }
  return watch;
}

void stopStoreWatch(StoreWatch* watch) {
  if (watch == nullptr) return;
  @autoreleasepool {
    [NSNotificationCenter.defaultCenter removeObserver:watch->observer];
    {
      const std::lock_guard lock(watch->listener->mutex);
      watch->listener->stopped = true;
    }
    // Blocks still queued now do nothing; waiting for them leaves nothing of
    // the watch behind.
    [watch->queue waitUntilAllOperationsAreFinished];
    delete watch;
  }
}

}  // namespace vantrel::platform
