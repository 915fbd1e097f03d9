// The stand-in store changes when the document that VANTREL_STANDIN_STORE
// names changes: rewritten, replaced, or another file reached by the same path
// (a directory on the way re-created or renamed, a symlink on the way swapped).
// On Linux each watch has a thread asleep in poll() on an inotify descriptor,
// on an eventfd that stopping writes to and on one that answers write to. The inotify descriptor watches
// every directory the path passes through, symlinks followed, and the
// document's own inode; whatever it hears, the path is resolved again, the
// watches moved to where it now leads, and the document it names compared
// with the one it named before. An answered access request that changes the
// status is a change too, once the status shows it (standin_status_watch.h).
// What it hears waits for the main thread's run loop, as on macOS
// (standin_main_run_loop.h). Elsewhere (the stand-in test build on macOS) the stand-in cannot watch, and
// says so.
#include "standin_store.h"

#if defined(__linux__)

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "standin_current_document.h"
#include "standin_main_run_loop.h"
#include "standin_status_watch.h"

namespace vantrel::platform::standin_store {

namespace {

// Names in a directory on the way: what can make the path lead elsewhere.
constexpr std::uint32_t kDirectoryEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                           IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// The document itself, through whichever of its names it is written.
constexpr std::uint32_t kDocumentEvents = IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB;
constexpr std::uint32_t kDocumentWritten = IN_MODIFY | IN_CLOSE_WRITE;
constexpr int kMostSymlinks = 40;  // as the kernel allows in one lookup

// Where a path leads: every directory it passes through, in order, and the
// file it ends on (empty when a part is missing or the path loops), with the
// errno of the lookup that stopped short of it.
struct PathWalk {
  std::vector<std::string> directories;
  std::string document;
  bool directoryMissing = false;
  int error = 0;
};

std::deque<std::string> partsOf(const std::string& path) {
  std::deque<std::string> parts;
  std::size_t at = 0;
  while (at <= path.size()) {
    const std::size_t slash = std::min(path.find('/', at), path.size());
    if (slash > at) parts.emplace_back(path, at, slash - at);
    at = slash + 1;
  }
  return parts;
}

std::string joined(const std::string& directory, const std::string& name) {
  return directory == "/" ? "/" + name : directory + "/" + name;
}

// Resolves an absolute path as a lookup would, noting each directory on the
// way; `at` is always a path without symlinks, so ".." is its parent.
PathWalk walkPath(const std::string& path) {
  PathWalk walk;
  std::deque<std::string> parts = partsOf(path);
  std::string at = "/";
  walk.directories.push_back(at);
  int symlinks = 0;
  while (!parts.empty()) {
    const std::string part = std::move(parts.front());
    parts.pop_front();
    if (part == ".") continue;
    if (part == "..") {
      at = at.substr(0, std::max<std::size_t>(at.rfind('/'), 1));
      continue;
    }
    const std::string next = joined(at, part);
    struct stat status;
    if (::lstat(next.c_str(), &status) != 0) {
      walk.error = errno;
      walk.directoryMissing = !parts.empty();
      return walk;
    }
    if (S_ISLNK(status.st_mode)) {
      char target[PATH_MAX];
      const ssize_t length = ::readlink(next.c_str(), target, sizeof target);
      if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target ||
          ++symlinks > kMostSymlinks) {
        return walk;
      }
      const std::string text(target, static_cast<std::size_t>(length));
      std::deque<std::string> targetParts = partsOf(text);
      parts.insert(parts.begin(), targetParts.begin(), targetParts.end());
      if (text.front() == '/') at.erase(1);  // every path here starts at the root
      continue;
    }
    if (parts.empty()) {
      walk.document = next;
      return walk;
    }
    if (!S_ISDIR(status.st_mode)) {
      walk.error = ENOTDIR;
      walk.directoryMissing = true;
      return walk;
    }
    at = next;
    walk.directories.push_back(at);
  }
  walk.document = at;
  return walk;
}

// What the path names, as far as a reader of it can tell.
struct DocumentIdentity {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  mode_t mode = 0;
  std::int64_t modifiedSeconds = 0;
  long modifiedNanoseconds = 0;
  bool operator==(const DocumentIdentity&) const = default;
};

DocumentIdentity identify(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return {};
  return {true,           status.st_dev,  status.st_ino,
          status.st_size, status.st_mode, status.st_mtim.tv_sec,
          status.st_mtim.tv_nsec};
}

[[noreturn]] void cannotWatch(const std::string& named, const std::string& why) {
  throw PlatformError("Calendar changes cannot be watched (" + named + "): " + why + ".");
}

// The text for an inotify descriptor or watch that was refused.
std::string refusal(int error) {
  switch (error) {
    case EMFILE: {
      // The same error for the user's inotify instances and for the
      // process's descriptors: a descriptor that opens tells them apart.
      const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
      if (probe < 0) return "this process has no file descriptor left";
      ::close(probe);
      return "the user's inotify instances are used up (fs.inotify.max_user_instances)";
    }
    case ENOSPC:
      return "the user's inotify watches are used up (fs.inotify.max_user_watches)";
    default:
      return std::generic_category().message(error);
  }
}

}  // namespace

// The path as the variable named it (made absolute where the watch started),
// and what the inotify descriptor watches for it. Read and changed by the
// watch's thread alone once it runs.
struct StoreWatch {
  std::string named;
  std::string path;
  int changes = -1;  // inotify
  int stop = -1;     // eventfd, written once to end the thread
  standin::StatusWatch status;  // registered while the thread runs
  std::vector<int> watched;
  int documentWatch = -1;
  DocumentIdentity identity;
  std::thread thread;
  std::unique_ptr<standin::MainThreadChanges> heard;

  ~StoreWatch() {
    if (changes >= 0) ::close(changes);
    if (stop >= 0) ::close(stop);
    if (status.wake >= 0) ::close(status.wake);
  }

  // Watches what the path leads through and to now, and lets go of what it
  // no longer does. Fails with the errno of a refusal for lack of room
  // (0 otherwise); parts that vanish meanwhile are heard of by their parents.
  int follow(const PathWalk& walk) {
    std::vector<int> now;
    int failure = 0;
    const auto add = [&](const std::string& path, std::uint32_t events) {
      const int added = ::inotify_add_watch(changes, path.c_str(), events);
      const int error = added >= 0 ? 0 : errno;
      if (added >= 0) now.push_back(added);
      if (error == ENOSPC || error == ENOMEM) failure = error;
      return added >= 0 ? added : -error;
    };
    // A part this process may not read cannot be watched, nor a directory it
    // may not search be walked through: the directory above hears it change
    // mode (IN_ATTRIB of an entry), and the path is walked again then.
    const auto parentHearsModes = [&](std::size_t part) {
      if (part > 0) add(walk.directories[part - 1], kDirectoryEvents | IN_ATTRIB);
    };
    for (std::size_t i = 0; i < walk.directories.size(); ++i) {
      if (add(walk.directories[i], kDirectoryEvents) == -EACCES) parentHearsModes(i);
    }
    if (walk.error == EACCES && !walk.directories.empty()) {
      parentHearsModes(walk.directories.size() - 1);
    }
    const int document = walk.document.empty() ? -1 : add(walk.document, kDocumentEvents);
    if (document == -EACCES) parentHearsModes(walk.directories.size());
    documentWatch = std::max(document, -1);
    std::sort(now.begin(), now.end());
    now.erase(std::unique(now.begin(), now.end()), now.end());
    for (const int old : watched) {
      if (!std::binary_search(now.begin(), now.end(), old)) ::inotify_rm_watch(changes, old);
    }
    watched = std::move(now);
    return failure;
  }
};

namespace {

// Every change reaches the watch's caller through here.
void handOver(standin::MainThreadChanges& heard) { heard.note(); }

// True when the events read say the document itself was written (or that
// some were lost).
bool documentWritten(const char* events, std::size_t size, int documentWatch) {
  bool written = false;
  for (std::size_t at = 0; at + sizeof(inotify_event) <= size;) {
    inotify_event event;
    std::memcpy(&event, events + at, sizeof event);
    if ((event.mask & IN_Q_OVERFLOW) != 0 ||
        (event.wd == documentWatch && (event.mask & kDocumentWritten) != 0)) {
      written = true;
    }
    at += sizeof event + event.len;
  }
  return written;
}

void listen(StoreWatch& watch) {
  alignas(inotify_event) char events[4096];
  pollfd descriptors[3] = {
      {watch.stop, POLLIN, 0}, {watch.changes, POLLIN, 0}, {watch.status.wake, POLLIN, 0}};
  for (;;) {
    if (::poll(descriptors, 3, standin::millisecondsUntilStatusChange(watch.status)) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (descriptors[0].revents != 0) return;
    bool change = standin::statusChanged(watch.status);
    if ((descriptors[1].revents & (POLLERR | POLLNVAL)) != 0) {
      descriptors[1].fd = -1;  // the file system is heard no more
    } else if ((descriptors[1].revents & POLLIN) != 0) {
      for (;;) {
        const ssize_t size = ::read(watch.changes, events, sizeof events);
        if (size <= 0) break;
        change |= documentWritten(events, static_cast<std::size_t>(size), watch.documentWatch);
      }
      // Out of room for a watch, the path is followed as far as there was room.
      watch.follow(walkPath(watch.path));
      const DocumentIdentity identity = identify(watch.path);
      change |= identity != watch.identity;
      watch.identity = identity;
    }
    if (change) handOver(*watch.heard);
  }
}

}  // namespace

StoreWatch* startStoreWatch(StoreChanged changed) {
  // Read on the caller's thread, as every operation reads it.
  const std::string variable = standin::currentDocumentPath();
  auto watch = std::make_unique<StoreWatch>();
  if (variable.empty()) return watch.release();
  watch->named = variable;
  std::error_code ignored;
  watch->path = std::filesystem::absolute(variable, ignored).string();
  if (watch->path.empty()) cannotWatch(variable, "its path cannot be made absolute");

  const PathWalk walk = walkPath(watch->path);
  if (walk.directoryMissing) {
    cannotWatch(variable, walk.error == EACCES ? "a directory on its path may not be searched (" +
                                                     std::generic_category().message(EACCES) + ")"
                                               : std::string("its directory does not exist"));
  }
  watch->stop = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (watch->stop < 0) cannotWatch(variable, refusal(errno));
  watch->changes = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watch->changes < 0) cannotWatch(variable, refusal(errno));
  if (const int failure = watch->follow(walk); failure != 0) cannotWatch(variable, refusal(failure));
  watch->identity = identify(watch->path);
  watch->status.wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (watch->status.wake < 0) cannotWatch(variable, refusal(errno));
  watch->heard = std::make_unique<standin::MainThreadChanges>(std::move(changed));
  standin::addStatusWatch(watch->status);
  try {
    watch->thread = std::thread(listen, std::ref(*watch));
  } catch (const std::system_error&) {
    standin::removeStatusWatch(watch->status);
    cannotWatch(variable, "no thread could be started");
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
    standin::removeStatusWatch(watch->status);
  }
  delete watch;
}

}  // namespace vantrel::platform::standin_store

#else

namespace vantrel::platform::standin_store {

struct StoreWatch {};

StoreWatch* startStoreWatch(StoreChanged) { return nullptr; }

void stopStoreWatch(StoreWatch* watch) { delete watch; }

}  // namespace vantrel::platform::standin_store

#endif
