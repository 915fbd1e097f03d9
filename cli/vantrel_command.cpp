#include "vantrel_command.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <system_error>

#include "access_gate.h"
#include "bridge_failure.h"
#include "iso_date.h"
#include "json_writer.h"

namespace vantrel {

namespace {

// Writes all of `bytes`, across partial writes, interrupted calls and a stream
// that was handed over non-blocking. False, with errno set, when it cannot.
bool writeFully(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
    } else if (written == 0) {
      errno = EIO;
      return false;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd ready{fd, POLLOUT, 0};
      if (::poll(&ready, 1, -1) < 0 && errno != EINTR) return false;
    } else if (errno != EINTR) {
      return false;
    }
  }
  return true;
}

[[noreturn]] void failWith(const std::exception_ptr& failure) {
  std::string text;
  try {
    text = failureText(failure);
  } catch (...) {
    // Describing accessDenied reads the platform again; if that fails, its
    // failure is the one reported, so the run still ends in status 1.
    text = failureText(std::current_exception());
  }
  writeFully(STDERR_FILENO, text);
  std::exit(1);
}

PlatformError outputError(int error) {
  return PlatformError("Vantrel could not write the snapshot to standard output (" +
                       std::generic_category().message(error) + ").");
}

MallocText run(std::span<const char* const> arguments) {
  if (arguments.size() != 3) throw BridgeFailure::invalidArguments;
  const InstantRange range = parseRange(arguments[1], arguments[2]);
  return encodeSnapshot(snapshot(range.start, range.end));
}

}  // namespace

void VantrelCommand::main(std::span<const char* const> arguments) {
  // A reader that went away must end in exit status 1 with a text, not in a
  // silent death by signal.
  std::signal(SIGPIPE, SIG_IGN);

  MallocText json;
  try {
    json = run(arguments);
  } catch (...) {
    failWith(std::current_exception());
  }
  if (!writeFully(STDOUT_FILENO, json.get())) {
    failWith(std::make_exception_ptr(outputError(errno)));
  }
  // Some file systems report a failed write only when the file is closed.
  if (::close(STDOUT_FILENO) != 0 && errno != EINTR) {
    failWith(std::make_exception_ptr(outputError(errno)));
  }
}

}  // namespace vantrel
