// The stand-in store changes when the document that VANTREL_STANDIN_STORE
// names is rewritten or replaced. On Linux each watch has a thread asleep in
// poll() on an inotify descriptor and on an eventfd that stopping writes to:
// nothing runs until the file system or the stopper wakes it. Elsewhere (the
// stand-in test build on macOS) the stand-in cannot watch, and says so.
#include "platform.h"

#if defined(__linux__)

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "standin_current_document.h"

namespace vantrel::platform {

// A watch of an unset variable has no descriptors and no thread: a store
// without a calendar database never changes.
struct StoreWatch {
  int changes = -1;  // inotify, on the document's directory
  int stop = -1;     // eventfd, written once to end the thread
  std::thread thread;
};

namespace {

// The directory, not the file: a document replaced by a rename is another
// inode, which a watch on the old file would never hear of.
constexpr std::uint32_t kDirectoryEvents = IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE |
                                           IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR;

void closeDescriptors(const StoreWatch& watch) {
  if (watch.changes >= 0) ::close(watch.changes);
  if (watch.stop >= 0) ::close(watch.stop);
}

// True when the events read concern the document: its name, or the loss of
// the directory watch (the directory went) or of events (queue overflow).
bool concernsDocument(const char* events, std::size_t size, const std::string& name) {
  bool concerns = false;
  for (std::size_t at = 0; at + sizeof(inotify_event) <= size;) {
    inotify_event event;
    std::memcpy(&event, events + at, sizeof event);
    const char* eventName = events + at + sizeof event;
    if ((event.mask & (IN_IGNORED | IN_Q_OVERFLOW)) != 0 ||
        (event.len > 0 && name == eventName)) {
      concerns = true;
    }
    at += sizeof event + event.len;
  }
  return concerns;
}

void listen(int changes, int stop, const std::string& name, const StoreChanged& changed) {
  alignas(inotify_event) char events[4096];
  pollfd descriptors[2] = {{stop, POLLIN, 0}, {changes, POLLIN, 0}};
  for (;;) {
    if (::poll(descriptors, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (descriptors[0].revents != 0) return;
    if ((descriptors[1].revents & (POLLERR | POLLNVAL)) != 0) {
      descriptors[1].fd = -1;  // nothing more to hear; wait for the stop alone
      continue;
    }
    if ((descriptors[1].revents & POLLIN) == 0) continue;
    const ssize_t size = ::read(changes, events, sizeof events);
    if (size > 0 && concernsDocument(events, static_cast<std::size_t>(size), name)) changed();
  }
}

}  // namespace

StoreWatch* startStoreWatch(StoreChanged changed) {
  // Read on the caller's thread, as every operation reads it.
  const std::string variable = standin::currentDocumentPath();
  auto watch = std::make_unique<StoreWatch>();
  if (variable.empty()) return watch.release();

  const std::filesystem::path document(variable);
  std::string name = document.filename().string();
  std::filesystem::path directory = document.parent_path();
  if (directory.empty()) directory = ".";

  watch->changes = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  watch->stop = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (watch->changes < 0 || watch->stop < 0 ||
      ::inotify_add_watch(watch->changes, directory.c_str(), kDirectoryEvents) < 0) {
    closeDescriptors(*watch);
    return nullptr;
  }
  try {
    watch->thread = std::thread(listen, watch->changes, watch->stop, std::move(name),
                                std::move(changed));
  } catch (...) {
    closeDescriptors(*watch);
    return nullptr;
  }
  return watch.release();
}

void stopStoreWatch(StoreWatch* watch) {
  if (watch == nullptr) return;
  if (watch->thread.joinable()) {
    const std::uint64_t one = 1;
    // An eventfd write of 1 to a counter at 0 cannot fail or block.
    [[maybe_unused]] const ssize_t written = ::write(watch->stop, &one, sizeof one);
    watch->thread.join();
  }
  closeDescriptors(*watch);
  delete watch;
}

}  // namespace vantrel::platform

#else

namespace vantrel::platform {

struct StoreWatch {};

StoreWatch* startStoreWatch(StoreChanged) { return nullptr; }

void stopStoreWatch(StoreWatch* watch) { delete watch; }

}  // namespace vantrel::platform

#endif
