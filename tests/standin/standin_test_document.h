// Stand-in documents for tests: a temporary file that VANTREL_STANDIN_STORE
// names while the object lives.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform.h"

namespace vantrel::standin_test {

inline constexpr const char* kVariable = "VANTREL_STANDIN_STORE";

class TestDocument {
 public:
  explicit TestDocument(const std::string& json) {
    std::string name = testing::TempDir() + "vantrel-standin-XXXXXX.json";
    const int fd = mkstemps(name.data(), 5);
    EXPECT_GE(fd, 0) << "cannot create " << name;
    if (fd >= 0) close(fd);
    path_ = name;
    write(json);
    setenv(kVariable, path_.c_str(), 1);
  }
  TestDocument(const TestDocument&) = delete;
  TestDocument& operator=(const TestDocument&) = delete;
  ~TestDocument() {
    unsetenv(kVariable);
    unlink(path_.c_str());
  }

  // Replaces the contents in place (same inode).
  void write(const std::string& json) const {
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << json;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The ids of the events that a new store answers for [start, end) over all its
// calendars.
inline std::vector<std::string> eventIds(platform::Instant start, platform::Instant end) {
  const auto store = platform::newStore();
  const auto calendars =
      platform::eventCalendars(*store).value_or(std::vector<platform::CalendarRef>{});
  const auto events = platform::eventsMatching(*store, start, end, calendars);
  std::vector<std::string> ids;
  platform::EventValues values;
  for (std::size_t i = 0; i < platform::eventCount(*events); ++i) {
    platform::readEvent(*events, i, values);
    ids.push_back(values.itemIdentifier.value_or("<none>"));
  }
  return ids;
}

}  // namespace vantrel::standin_test
