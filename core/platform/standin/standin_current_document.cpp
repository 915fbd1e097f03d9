#include "standin_current_document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "layer_variable.h"
#include "platform.h"
#include "standin_process.h"
#include "standin_store_variable.h"

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

// One file's outcome: a document, or the full text of what is wrong with it.
struct Loaded {
  FileIdentity identity;
  std::size_t contentHash = 0;
  // The identity alone vouches for the contents (see kTimestampSlackSeconds).
  bool settled = false;
  std::shared_ptr<const Document> document;
  std::string problem;
};

// Only the latest file is kept: a process that moves between scenarios does
// not pile up documents, and moving back re-parses, so it starts afresh.
struct Cache {
  std::mutex mutex;
  Loaded latest;
  std::set<std::pair<FileIdentity, std::size_t>> warned;  // identity, content hash
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
  const std::string& path = identity.path;
  loaded.problem = problemText(path, problem);
  loaded.identity = std::move(identity);
  loaded.settled = settled;
  return loaded;
}

// The document at `path`, from the cache when the file has not changed.
// Called with the cache locked.
const Loaded& load(Cache& state, const std::string& path) {
  const double started = wallClock();
  FileIdentity identity{path};
  // Non-blocking, so that a named pipe or a device answers at once; it is
  // refused below, and for a regular file the flag changes nothing.
  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat status {};
  if (file.get() < 0 || ::fstat(file.get(), &status) != 0) {
    identity.openError = errno;
    if (state.latest.identity == identity) return state.latest;
    const std::string reason = errorMessage(identity.openError);
    return remember(state, failed(std::move(identity), "cannot be read (" + reason + ")"));
  }
  identity.device = status.st_dev;
  identity.inode = status.st_ino;
  identity.size = status.st_size;
  identity.modifiedSeconds = status.st_mtim.tv_sec;
  identity.modifiedNanoseconds = status.st_mtim.tv_nsec;
  identity.changedSeconds = status.st_ctim.tv_sec;
  identity.changedNanoseconds = status.st_ctim.tv_nsec;
  const bool sameIdentity = state.latest.identity == identity;
  if (sameIdentity && state.latest.settled) return state.latest;

  // A directory or a pipe would fail the read or block it.
  if (!S_ISREG(status.st_mode)) {
    const std::string problem =
        std::string("is not a regular file but ") + fileKind(status.st_mode);
    return remember(state, failed(std::move(identity), problem));
  }
  if (status.st_size > kLargestDocument) {
    const std::string problem = tooLarge(std::to_string(status.st_size) + " bytes");
    return remember(state, failed(std::move(identity), problem));
  }
  const auto limit = static_cast<std::size_t>(kLargestDocument);
  std::string text;
  text.reserve(static_cast<std::size_t>(status.st_size));
  if (!readAll(file.get(), text, limit)) {
    const std::string reason = errorMessage(errno);
    return remember(state, failed(std::move(identity), "cannot be read (" + reason + ")", false));
  }
  if (text.size() > limit) {
    const std::string problem = tooLarge("it grew while it was read");
    return remember(state, failed(std::move(identity), problem, false));
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

  Loaded loaded;
  try {
    Document document = parseDocument(text);
    document.identity = documentIdentity(identity, contentHash);
    loaded.document = std::make_shared<const Document>(std::move(document));
  } catch (const DocumentFormatError& error) {
    loaded = failed(identity, error.what());
  }
  loaded.identity = std::move(identity);
  loaded.contentHash = contentHash;
  loaded.settled = settled;
  return remember(state, std::move(loaded));
}

// The documents of the threads that are answering an access request now. Not
// a thread_local: in a module loaded with dlopen that is dynamic TLS, whose
// blocks the leak checker of the address sanitizer misreads at exit.
struct ThreadDocuments {
  std::mutex mutex;
  std::vector<std::pair<std::thread::id, std::shared_ptr<const Document>>> list;
  std::atomic<std::size_t> size{0};
};

// Never destroyed: an answering thread may still run while the process exits.
ThreadDocuments& threadDocuments() {
  static ThreadDocuments* const instance = new ThreadDocuments;
  return *instance;
}

std::shared_ptr<const Document> threadDocument() {
  ThreadDocuments& documents = threadDocuments();
  if (documents.size.load(std::memory_order_acquire) == 0) return nullptr;
  const std::lock_guard lock(documents.mutex);
  const auto own = std::this_thread::get_id();
  for (const auto& [thread, document] : documents.list) {
    if (thread == own) return document;
  }
  return nullptr;
}

// The variable's values that callers on these threads handed in
// (standin_store_variable.h); std::nullopt: unset.
struct ThreadVariables {
  std::mutex mutex;
  std::vector<std::pair<std::thread::id, std::optional<std::string>>> list;
  std::atomic<std::size_t> size{0};
};

ThreadVariables& threadVariables() {
  static ThreadVariables* const instance = new ThreadVariables;
  return *instance;
}

// The latest value handed in on this thread; false when there is none.
bool threadVariable(std::string& into) {
  ThreadVariables& variables = threadVariables();
  if (variables.size.load(std::memory_order_acquire) == 0) return false;
  const std::lock_guard lock(variables.mutex);
  const auto own = std::this_thread::get_id();
  for (auto entry = variables.list.rbegin(); entry != variables.list.rend(); ++entry) {
    if (entry->first == own) {
      into = entry->second.value_or(std::string());
      return true;
    }
  }
  return false;
}

std::string variablePath() {
  std::string value;
  if (threadVariable(value)) return value;
  const char* environment = std::getenv(kVariable);
  return environment == nullptr ? std::string() : std::string(environment);
}

}  // namespace

namespace {

// The document this thread should see. A bad document throws, or, where the
// caller cannot fail (status queries), reads as unset after one stderr line.
std::shared_ptr<const Document> resolveDocument(bool throwOnProblem) {
  if (auto document = threadDocument()) return document;
  const std::string path = variablePath();
  if (path.empty()) return unset();
  Cache& state = cache();
  const std::lock_guard lock(state.mutex);
  const Loaded& loaded = load(state, path);
  if (loaded.document) return loaded.document;
  if (throwOnProblem) throw PlatformError(loaded.problem);
  if (state.warned.emplace(loaded.identity, loaded.contentHash).second) {
    // One line, even for a path with a line break in it.
    std::string line = loaded.problem;
    for (char& c : line) {
      if (c == '\n' || c == '\r') c = ' ';
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
  }
  return unset();
}

}  // namespace

std::shared_ptr<const Document> currentDocument() { return resolveDocument(true); }

std::shared_ptr<const Document> currentDocumentOrUnset() { return resolveDocument(false); }

std::string currentDocumentPath() { return variablePath(); }

ThreadDocument::ThreadDocument(std::shared_ptr<const Document> document) {
  ThreadDocuments& documents = threadDocuments();
  const std::lock_guard lock(documents.mutex);
  documents.list.emplace_back(std::this_thread::get_id(), std::move(document));
  documents.size.store(documents.list.size(), std::memory_order_release);
}

ThreadDocument::~ThreadDocument() {
  ThreadDocuments& documents = threadDocuments();
  const std::lock_guard lock(documents.mutex);
  auto& list = documents.list;
  // The latest entry of this thread: pins nest.
  for (auto entry = list.rbegin(); entry != list.rend(); ++entry) {
    if (entry->first == std::this_thread::get_id()) {
      list.erase(std::next(entry).base());
      break;
    }
  }
  documents.size.store(list.size(), std::memory_order_release);
}

}  // namespace vantrel::standin

extern "C" int vantrel_standin_variable_begin(const char* value) {
  using namespace vantrel::standin;
  try {
    ThreadVariables& variables = threadVariables();
    std::optional<std::string> copy;
    if (value != nullptr) copy.emplace(value);
    const std::lock_guard lock(variables.mutex);
    variables.list.emplace_back(std::this_thread::get_id(), std::move(copy));
    variables.size.store(variables.list.size(), std::memory_order_release);
    return 1;
  } catch (...) {
    return 0;
  }
}

extern "C" void vantrel_standin_variable_end(void) {
  using namespace vantrel::standin;
  ThreadVariables& variables = threadVariables();
  const std::lock_guard lock(variables.mutex);
  auto& list = variables.list;
  for (auto entry = list.rbegin(); entry != list.rend(); ++entry) {
    if (entry->first == std::this_thread::get_id()) {
      list.erase(std::next(entry).base());
      break;
    }
  }
  variables.size.store(list.size(), std::memory_order_release);
}

extern "C" const vantrel_layer_variable_hook* vantrel_layer_variable(void) {
  static constexpr vantrel_layer_variable_hook hook{
      vantrel::standin::kVariable, vantrel_standin_variable_begin, vantrel_standin_variable_end};
  return &hook;
}
