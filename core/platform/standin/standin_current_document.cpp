#include "standin_current_document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/inotify.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "platform.h"
#include "standin_process.h"
#include "standin_store_variable.h"
#include "vantrel_host.h"

namespace vantrel::standin {
namespace {

constexpr const char* kVariable = "VANTREL_STANDIN_STORE";

// File systems stamp modification and change times from a coarse clock (a few
// milliseconds on ext4 and tmpfs, two seconds on FAT), so a rewrite of the same
// size soon after a read can keep the same times. Until a file's times are
// this much older than our read, a cache hit is checked against the contents.
constexpr double kTimestampSlackSeconds = 3.0;

// Far beyond any calendar a test or benchmark needs (a million events are
// about 250 MB), and a document twice this size would give a snapshot longer
// than a JavaScript string can be. A larger file is refused before a byte of
// it is read, rather than exhausting memory.
constexpr off_t kLargestDocument = off_t{1} << 30;

// Which file, in which state. A file that cannot be opened is keyed on its
// error, so its warning too is written once.
struct FileIdentity {
  std::string path;
  int openError = 0;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  time_t modifiedSeconds = 0;
  long modifiedNanoseconds = 0;
  // Every rewrite moves the change time, also one that puts the modification
  // time back (cp -p, touch -r).
  time_t changedSeconds = 0;
  long changedNanoseconds = 0;

  auto tied() const {
    return std::tie(path, openError, device, inode, size, modifiedSeconds, modifiedNanoseconds,
                    changedSeconds, changedNanoseconds);
  }
  bool operator==(const FileIdentity& other) const { return tied() == other.tied(); }
  bool operator<(const FileIdentity& other) const { return tied() < other.tied(); }
};

// One file's outcome: a document, or a broken one that says what is wrong.
struct Loaded {
  FileIdentity identity;
  std::size_t contentHash = 0;
  // The identity alone vouches for the contents (see kTimestampSlackSeconds).
  bool settled = false;
  std::shared_ptr<const Document> document;
};

// The states last warned about (broken documents, or ones with keys the format
// does not know): endless rewrites cannot grow the list, and a state warned
// about long ago is warned about again.
constexpr std::size_t kWarnedStates = 64;

// Only the latest file is kept: a process that moves between scenarios does
// not pile up documents, and moving back re-parses, so it starts afresh.
struct Cache {
  std::mutex mutex;
  Loaded latest;
  std::deque<std::pair<FileIdentity, std::size_t>> warned;  // identity, content hash
  // An inotify watch of the latest file's contents since they were read (on
  // Linux): while it has heard no write, a file too recent for its identity to
  // vouch for them needs no second read.
  int writes = -1;
  int watched = -1;
  bool written = true;
};

// Never destroyed: a delivery thread may still ask for the status while the
// process exits.
Cache& cache() {
  static Cache* const instance = new Cache;
  return *instance;
}

const std::shared_ptr<const Document>& unset() {
  static const auto* const instance =
      new std::shared_ptr<const Document>(std::make_shared<const Document>(unsetDocument()));
  return *instance;
}

std::string problemText(const std::string& path, const std::string& problem) {
  return "stand-in store " + validUtf8(path) + ": " + problem;
}

std::string errorMessage(int error) {
  return std::error_code(error, std::generic_category()).message();
}

// Seconds on the clock that file times come from.
double wallClock() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Reads the rest of `fd`, up to `limit` bytes and one more, so that a file
// that grew past the limit since it was measured shows it; false (with errno
// set) when a read fails.
bool readAll(int fd, std::string& into, std::size_t limit) {
  char buffer[1 << 16];
  while (into.size() <= limit) {
    const std::size_t wanted = std::min(sizeof buffer, limit + 1 - into.size());
    const ssize_t count = ::read(fd, buffer, wanted);
    if (count == 0) return true;
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    into.append(buffer, static_cast<std::size_t>(count));
  }
  return true;
}

// What a file that is not a regular one is instead.
const char* fileKind(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a named pipe";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  return "of an unknown kind";
}

std::string tooLarge(const std::string& size) {
  return "is too large: " + size + ", and the stand-in reads at most " +
         std::to_string(kLargestDocument) + " bytes";
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// The file's identity and contents as one text, which every copy of the
// stand-in in the process makes alike for the same file.
std::string documentIdentity(const FileIdentity& identity, std::size_t contentHash) {
  std::string text;
  for (const auto number :
       {static_cast<std::uintmax_t>(identity.device), static_cast<std::uintmax_t>(identity.inode),
        static_cast<std::uintmax_t>(identity.size),
        static_cast<std::uintmax_t>(identity.modifiedSeconds),
        static_cast<std::uintmax_t>(identity.modifiedNanoseconds),
        static_cast<std::uintmax_t>(identity.changedSeconds),
        static_cast<std::uintmax_t>(identity.changedNanoseconds),
        static_cast<std::uintmax_t>(contentHash)}) {
    text += std::to_string(number);
    text += ':';
  }
  return text;
}

const Loaded& remember(Cache& state, Loaded loaded) {
  state.latest = std::move(loaded);
  return state.latest;
}

Loaded failed(FileIdentity identity, std::string problem, bool settled = true) {
  Loaded loaded;
  loaded.document =
      std::make_shared<const Document>(brokenDocument(problemText(identity.path, problem)));
  loaded.identity = std::move(identity);
  loaded.settled = settled;
  return loaded;
}

// The identity of the open file of `status`.
FileIdentity identify(std::string path, const struct stat& status) {
  return {.path = std::move(path),
          .openError = 0,
          .device = status.st_dev,
          .inode = status.st_ino,
          .size = status.st_size,
          .modifiedSeconds = status.st_mtim.tv_sec,
          .modifiedNanoseconds = status.st_mtim.tv_nsec,
          .changedSeconds = status.st_ctim.tv_sec,
          .changedNanoseconds = status.st_ctim.tv_nsec};
}

// Reads the whole of the open file `identity` into `text`; what is wrong
// with it instead when it cannot be a document.
std::optional<Loaded> readDocumentFile(int fd, const struct stat& status,
                                       const FileIdentity& identity, std::string& text) {
  // A directory or a pipe would fail the read or block it.
  if (!S_ISREG(status.st_mode)) {
    return failed(identity, std::string("is not a regular file but ") + fileKind(status.st_mode));
  }
  if (status.st_size > kLargestDocument) {
    return failed(identity, tooLarge(std::to_string(status.st_size) + " bytes"));
  }
  const auto limit = static_cast<std::size_t>(kLargestDocument);
  text.reserve(static_cast<std::size_t>(status.st_size));
  if (!readAll(fd, text, limit)) {
    return failed(identity, "cannot be read (" + errorMessage(errno) + ")", false);
  }
  if (text.size() > limit) return failed(identity, tooLarge("it grew while it was read"), false);
  return std::nullopt;
}

// The document of the file `identity` whose contents are `text`.
Loaded parsed(FileIdentity identity, const std::string& text, std::size_t contentHash,
              bool settled) {
  Loaded loaded;
  try {
    Document document = parseDocument(text);
    document.identity = documentIdentity(identity, contentHash);
    document.path = identity.path;
    loaded.document = std::make_shared<const Document>(std::move(document));
  } catch (const DocumentFormatError& error) {
    loaded = failed(identity, error.what());
  }
  loaded.identity = std::move(identity);
  loaded.contentHash = contentHash;
  loaded.settled = settled;
  return loaded;
}

// Whether the latest file's contents may have been written since they were
// read: always, unless a watch of them says otherwise.
bool writtenSinceRead(Cache& state) {
#if defined(__linux__)
  alignas(inotify_event) char events[4096];
  for (ssize_t size; state.writes >= 0 && (size = ::read(state.writes, events, sizeof events)) > 0;) {
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= size;) {
      inotify_event event;
      std::memcpy(&event, events + at, sizeof event);
      if (event.wd == state.watched || (event.mask & IN_Q_OVERFLOW) != 0) state.written = true;
      at += static_cast<ssize_t>(sizeof event + event.len);
    }
  }
#endif
  return state.written;
}

// Starts hearing of writes to the open file, before its contents are read.
void watchWrites(Cache& state, int fd) {
  state.written = true;
#if defined(__linux__)
  if (state.writes < 0) state.writes = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (state.writes < 0) return;
  const int previous = state.watched;
  const std::string opened = "/proc/self/fd/" + std::to_string(fd);
  state.watched = ::inotify_add_watch(state.writes, opened.c_str(), IN_MODIFY);
  if (previous >= 0 && previous != state.watched) ::inotify_rm_watch(state.writes, previous);
  writtenSinceRead(state);  // what came before this read
  state.written = state.watched < 0;
#else
  static_cast<void>(fd);
#endif
}

// The document at `path`, from the cache when the file has not changed.
// Called with the cache locked.
const Loaded& load(Cache& state, const std::string& path) {
  const double started = wallClock();
  // Non-blocking, so that a named pipe or a device answers at once; it is
  // refused below, and for a regular file the flag changes nothing.
  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat status {};
  if (file.get() < 0 || ::fstat(file.get(), &status) != 0) {
    FileIdentity identity{path};
    identity.openError = errno;
    if (state.latest.identity == identity) return state.latest;
    const std::string reason = errorMessage(identity.openError);
    return remember(state, failed(std::move(identity), "cannot be read (" + reason + ")"));
  }
  FileIdentity identity = identify(path, status);
  const bool sameIdentity = state.latest.identity == identity;
  if (sameIdentity && (state.latest.settled || !writtenSinceRead(state))) return state.latest;
  watchWrites(state, file.get());
  std::string text;
  if (auto problem = readDocumentFile(file.get(), status, identity, text)) {
    return remember(state, std::move(*problem));
  }
  const auto seconds = [](const timespec& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) * 1e-9;
  };
  const double touched = std::max(seconds(status.st_mtim), seconds(status.st_ctim));
  const bool settled = touched < started - kTimestampSlackSeconds;
  const std::size_t contentHash = std::hash<std::string_view>{}(text);
  if (sameIdentity && state.latest.contentHash == contentHash) {
    state.latest.settled = settled;
    return state.latest;
  }
  return remember(state, parsed(std::move(identity), text, contentHash, settled));
}

// What callers on these threads handed in, each thread's latest last: the
// document of an access answer (ThreadDocument), the variable's value
// (standin_store_variable.h). Not a thread_local: in a module loaded with
// dlopen that is dynamic TLS, whose blocks the leak checker of the address
// sanitizer misreads at exit.
template <typename Value>
class ThreadOverrides {
 public:
  void push(Value value) {
    const std::lock_guard lock(mutex_);
    list_.emplace_back(std::this_thread::get_id(), std::move(value));
    size_.store(list_.size(), std::memory_order_release);
  }

  // Ends this thread's latest value: they nest.
  void pop() {
    const std::lock_guard lock(mutex_);
    if (const auto entry = own(); entry != list_.rend()) list_.erase(std::next(entry).base());
    size_.store(list_.size(), std::memory_order_release);
  }

  // This thread's latest value; nullopt when it has none.
  std::optional<Value> latest() {
    if (size_.load(std::memory_order_acquire) == 0) return std::nullopt;
    const std::lock_guard lock(mutex_);
    const auto entry = own();
    return entry != list_.rend() ? std::optional<Value>(entry->second) : std::nullopt;
  }

 private:
  auto own() {
    return std::find_if(list_.rbegin(), list_.rend(), [](const auto& entry) {
      return entry.first == std::this_thread::get_id();
    });
  }

  std::mutex mutex_;
  std::vector<std::pair<std::thread::id, Value>> list_;
  std::atomic<std::size_t> size_{0};
};

// Never destroyed: an answering thread may still run while the process exits.
ThreadOverrides<std::shared_ptr<const Document>>& threadDocuments() {
  static auto* const instance = new ThreadOverrides<std::shared_ptr<const Document>>;
  return *instance;
}

ThreadOverrides<std::optional<std::string>>& threadVariables() {
  static auto* const instance = new ThreadOverrides<std::optional<std::string>>;
  return *instance;
}

std::string variablePath() {
  if (const auto handedIn = threadVariables().latest()) return handedIn->value_or(std::string());
  const char* environment = std::getenv(kVariable);
  return environment == nullptr ? std::string() : std::string(environment);
}

// Unset, every answer is a refusal ("restricted"), which alone looks like one
// from a real store; so the first says why, once per process.
void warnUnsetOnce() {
  static std::atomic<bool> warned{false};
  if (warned.exchange(true)) return;
  constexpr std::string_view kLine =
      "stand-in store: VANTREL_STANDIN_STORE is unset or empty, so every answer is that of a "
      "store with no calendars whose access is restricted; set it to the path of a stand-in "
      "store document.\n";
  std::fwrite(kLine.data(), 1, kLine.size(), stderr);
}

// What is wrong with the latest document, or what it holds that the format
// does not use, on standard error once per state of the file. Called with the
// cache locked.
void warnOnce(Cache& state, const Loaded& loaded) {
  const Document& document = *loaded.document;
  std::vector<std::string> problems = document.notices.lines();
  if (document.problem) problems = {*document.problem};
  if (problems.empty()) return;
  const auto warning = std::pair(loaded.identity, loaded.contentHash);
  if (std::find(state.warned.begin(), state.warned.end(), warning) != state.warned.end()) return;
  if (state.warned.size() == kWarnedStates) state.warned.pop_front();
  state.warned.push_back(warning);
  std::string lines;
  for (const std::string& problem : problems) {
    std::string line = document.problem ? problem : problemText(loaded.identity.path, problem);
    // One line, even for a path with a line break in it.
    for (char& c : line) {
      if (c == '\n' || c == '\r') c = ' ';
    }
    lines += line;
    lines += '\n';
  }
  std::fwrite(lines.data(), 1, lines.size(), stderr);
}

// The document this thread should see. A broken one throws its problem where
// the caller can fail, and is answered as it is (the default status), after a
// line on standard error, where it cannot: status queries.
std::shared_ptr<const Document> resolveDocument(bool throwOnProblem) {
  std::shared_ptr<const Document> document = threadDocuments().latest().value_or(nullptr);
  if (!document) {
    const std::string path = variablePath();
    if (path.empty()) {
      warnUnsetOnce();
      return unset();
    }
    Cache& state = cache();
    const std::lock_guard lock(state.mutex);
    const Loaded& loaded = load(state, path);
    document = loaded.document;
    // A failing read hands its text to the caller, whose error output (the
    // command's) carries that text alone.
    if (!(throwOnProblem && document->problem)) warnOnce(state, loaded);
  }
  if (throwOnProblem && document->problem) throw PlatformError(*document->problem);
  return document;
}

}  // namespace

std::shared_ptr<const Document> currentDocument() { return resolveDocument(true); }

std::shared_ptr<const Document> currentDocumentOrUnset() { return resolveDocument(false); }

std::string currentDocumentPath() { return variablePath(); }

bool variableHandedIn() { return threadVariables().latest().has_value(); }

ThreadDocument::ThreadDocument(std::shared_ptr<const Document> document) {
  threadDocuments().push(std::move(document));
}

ThreadDocument::~ThreadDocument() { threadDocuments().pop(); }

}  // namespace vantrel::standin

extern "C" int vantrel_standin_variable_begin(const char* value) {
  try {
    vantrel::standin::threadVariables().push(value != nullptr ? std::optional<std::string>(value)
                                                              : std::nullopt);
    return 1;
  } catch (...) {
    return 0;
  }
}

extern "C" void vantrel_standin_variable_end(void) { vantrel::standin::threadVariables().pop(); }

extern "C" const vantrel_layer_variable_hook* vantrel_layer_variable(void) {
  static constexpr vantrel_layer_variable_hook hook{
      vantrel::standin::kVariable, vantrel_standin_variable_begin, vantrel_standin_variable_end};
  return &hook;
}
