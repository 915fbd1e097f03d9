// Runs the built vantrel-command as a real process and collects what it wrote
// and how it ended.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vantrel::testing {

enum class StandardOutput {
  pipe,             // read by the test
  nonBlockingPipe,  // read by the test, handed over with O_NONBLOCK set
  closedPipe,       // a pipe whose reading end is already closed
  fullDevice,       // /dev/full
};

struct ProgramRun {
  std::string out;
  std::string err;
  bool exited = false;  // false: ended by a signal
  int status = -1;      // the exit status, or the signal
};

// Runs the program with `arguments` after its path, in the test's environment
// with VANTREL_STANDIN_STORE set to `store` (removed when nullopt).
ProgramRun runCommand(const std::vector<std::string>& arguments,
                      const std::optional<std::string>& store,
                      StandardOutput output = StandardOutput::pipe);

// A stand-in store document in a file of its own, removed again on destruction.
class StoreDocument {
 public:
  explicit StoreDocument(const std::string& json);
  ~StoreDocument();
  StoreDocument(const StoreDocument&) = delete;
  StoreDocument& operator=(const StoreDocument&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace vantrel::testing
