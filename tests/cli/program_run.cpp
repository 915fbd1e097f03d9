#include "program_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <tuple>

#include <gtest/gtest.h>

extern char** environ;

namespace vantrel::testing {

namespace {

constexpr std::string_view kStoreVariable = "VANTREL_STANDIN_STORE=";

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

struct Pipe {
  int read = -1;
  int write = -1;
  Pipe() {
    int ends[2];
    // pipe2 is not on macOS; nothing here starts a process between the two calls.
    if (::pipe(ends) != 0) fail("pipe");
    for (int end : ends) {
      if (::fcntl(end, F_SETFD, FD_CLOEXEC) != 0) fail("fcntl");
    }
    read = ends[0];
    write = ends[1];
  }
};

void closeIfOpen(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Reads both streams together, so that neither can fill up and stall the child.
void readUntilClosed(int& outFd, std::string& out, int& errFd, std::string& err) {
  char buffer[65536];
  while (outFd >= 0 || errFd >= 0) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      fail("poll");
    }
    for (auto [fd, text, index] : {std::tuple{&outFd, &out, 0}, std::tuple{&errFd, &err, 1}}) {
      if (*fd < 0 || fds[index].revents == 0) continue;
      const ssize_t count = ::read(*fd, buffer, sizeof buffer);
      if (count > 0) {
        text->append(buffer, static_cast<std::size_t>(count));
      } else if (count == 0 || errno != EINTR) {
        closeIfOpen(*fd);
      }
    }
  }
}

}  // namespace

ProgramRun runCommand(const std::vector<std::string>& arguments,
                      const std::optional<std::string>& store, StandardOutput output) {
  std::vector<std::string> argumentTexts = {VANTREL_COMMAND_PATH};
  argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& text : argumentTexts) argv.push_back(text.data());
  argv.push_back(nullptr);

  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!std::string_view(*entry).starts_with(kStoreVariable)) environment.emplace_back(*entry);
  }
  if (store) environment.push_back(std::string(kStoreVariable) + *store);
  std::vector<char*> envp;
  for (auto& text : environment) envp.push_back(text.data());
  envp.push_back(nullptr);

  Pipe outPipe;
  Pipe errPipe;
  if (output == StandardOutput::nonBlockingPipe &&
      ::fcntl(outPipe.write, F_SETFL, O_NONBLOCK) != 0) {
    fail("fcntl");
  }
  if (output == StandardOutput::closedPipe) closeIfOpen(outPipe.read);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (output == StandardOutput::fullDevice) {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/full", O_WRONLY, 0);
  } else {
    posix_spawn_file_actions_adddup2(&actions, outPipe.write, 1);
  }
  posix_spawn_file_actions_adddup2(&actions, errPipe.write, 2);

  // The child starts with SIGPIPE at its default, as from a plain shell, so
  // that surviving a closed pipe is the program's own doing.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  sigset_t noneBlocked;
  sigemptyset(&noneBlocked);
  posix_spawnattr_setsigmask(&attributes, &noneBlocked);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  pid_t child = -1;
  const int spawned = ::posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  closeIfOpen(outPipe.write);
  closeIfOpen(errPipe.write);
  if (spawned != 0) {
    closeIfOpen(outPipe.read);
    closeIfOpen(errPipe.read);
    errno = spawned;
    fail("posix_spawn");
  }

  ProgramRun run;
  readUntilClosed(outPipe.read, run.out, errPipe.read, run.err);
  int waitStatus = 0;
  while (::waitpid(child, &waitStatus, 0) < 0) {
    if (errno != EINTR) fail("waitpid");
  }
  run.exited = WIFEXITED(waitStatus);
  run.status = run.exited ? WEXITSTATUS(waitStatus) : WTERMSIG(waitStatus);
  return run;
}

StoreDocument::StoreDocument(const std::string& json) {
  std::string pattern = ::testing::TempDir() + "vantrel-cli-store-XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) fail("mkstemp");
  path_ = pattern;
  std::string_view rest = json;
  while (!rest.empty()) {
    const ssize_t written = ::write(fd, rest.data(), rest.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      fail("write " + path_);
    }
    rest.remove_prefix(static_cast<std::size_t>(written));
  }
  ::close(fd);
}

StoreDocument::~StoreDocument() { ::unlink(path_.c_str()); }

}  // namespace vantrel::testing
