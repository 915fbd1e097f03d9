// Ranges longer than EventKit's four-year cap are read in windows: what the
// windows are, and how the answers of several windows make one event list.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <iomanip>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "json_writer.h"
#include "snapshot_reader.h"

namespace vantrel {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::Pair;

constexpr double kDay = 86400.0;
constexpr double kWindow = 1460 * kDay;

TEST(QueryWindowsTest, ConsecutiveWindowsOfAtMostFourYears) {
  struct Case {
    double start;
    double end;
    std::vector<std::pair<double, double>> windows;
  };
  const double s = 1000.25;
  const Case cases[] = {
      {s, s + 1, {{s, s + 1}}},
      {s, s + kWindow, {{s, s + kWindow}}},
      {s, s + kWindow + 0.001, {{s, s + kWindow}, {s + kWindow, s + kWindow + 0.001}}},
      {s, s + 2 * kWindow, {{s, s + kWindow}, {s + kWindow, s + 2 * kWindow}}},
      {-5 * kWindow, 0.5,
       {{-5 * kWindow, -4 * kWindow}, {-4 * kWindow, -3 * kWindow}, {-3 * kWindow, -2 * kWindow},
        {-2 * kWindow, -kWindow}, {-kWindow, 0}, {0, 0.5}}},
      {s, s - 1, {{s, s - 1}}},  // not the reader's to refuse
  };
  for (const Case& c : cases) {
    std::vector<std::pair<double, double>> got;
    for (const QueryWindow& window : queryWindows(c.start, c.end)) {
      got.emplace_back(window.start, window.end);
    }
    EXPECT_EQ(got, c.windows) << c.start << " to " << c.end;
  }
  // From starts that are not whole seconds (the second one sub-millisecond,
  // just below 2^33 s, where a sum rounds up into the coarser binade): the
  // windows meet exactly, none is longer than the cap, and the last one ends
  // on the range's end.
  for (const double start :
       {1262304000.123, std::nextafter(8589934592.0 - kWindow / 2, 0.0), -62135596800.0004}) {
    const double end = start + 12 * 365.25 * kDay;
    const std::vector<QueryWindow> windows = queryWindows(start, end);
    ASSERT_GE(windows.size(), 4u);
    EXPECT_EQ(windows.front().start, start);
    EXPECT_EQ(windows.back().end, end);
    for (std::size_t i = 0; i < windows.size(); ++i) {
      EXPECT_LE(windows[i].end - windows[i].start, kWindow) << std::setprecision(17) << start;
      if (i + 1 < windows.size()) {
        EXPECT_EQ(windows[i].end, windows[i + 1].start);
      }
    }
  }
}

class WindowedReadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset();
    // As EventKit: overlapping events, in the store's order, the range cut
    // to its first four years.
    fake::platform().calendars = std::vector<fake::Calendar>{{"cal", "C", "S", {}}};
    fake::platform().answerQuery = [this](double start, double end) {
      answersHeldAtQuery.push_back(fake::platform().eventListsAlive);
      if (end - start > kWindow) end = start + kWindow;
      std::vector<fake::Event> found;
      for (const fake::Event& e : store) {
        if (touchingCounts ? *e.start <= end && *e.end >= start
                           : *e.start < end && (*e.end > start || *e.start >= start)) {
          found.push_back(e);
        }
      }
      return found;
    };
  }

  static fake::Event event(std::string id, double start, double end) {
    return {std::move(id), "cal", "T", std::nullopt, start, end, false};
  }

  std::vector<std::string> readIds(double start, double end) {
    std::vector<std::string> ids;
    const BridgeSnapshot snapshot = readAuthorizedSnapshot(start, end);
    for (const BridgeEvent& e : snapshot.events()) {
      ids.emplace_back(e.id());
    }
    return ids;
  }

  std::vector<fake::Event> store;
  // Whether an event that only touches a query's start or end is returned.
  bool touchingCounts = false;
  std::vector<int> answersHeldAtQuery;
};

TEST_F(WindowedReadTest, EveryYearOfADozenIsReadAndAnEventAcrossABoundaryOnce) {
  const double start = 0, end = 4383 * kDay;  // twelve years
  // Not in start order: a window keeps the store's order.
  for (int year = 11; year >= 0; --year) {
    store.push_back(event("y" + std::to_string(year), year * 365 * kDay + kDay, year * 365 * kDay + 2 * kDay));
  }
  store.push_back(event("across", kWindow - kDay, kWindow + kDay));
  store.push_back(event("across-two", kWindow - kDay, 2 * kWindow + kDay));
  // The store's own duplicates inside one window stay, as they always did.
  store.push_back(event("twice", 3 * kDay, 4 * kDay));
  store.push_back(event("twice", 3 * kDay, 4 * kDay));
  // Same identifier, another start: another occurrence, kept.
  store.push_back(event("across", kWindow + 3 * kDay, kWindow + 4 * kDay));

  const std::vector<std::string> ids = readIds(start, end);

  EXPECT_THAT(fake::platform().queries,
              ElementsAre(Pair(0, kWindow), Pair(kWindow, 2 * kWindow), Pair(2 * kWindow, 3 * kWindow),
                          Pair(3 * kWindow, end)));  // three days
  const auto ms = [](double seconds) { return std::to_string(static_cast<long long>(seconds * 1000)); };
  EXPECT_THAT(ids, ElementsAre(
      // 0 to 1460 days: years 0 to 3, in the store's order
      "y3::" + ms(3 * 365 * kDay + kDay), "y2::" + ms(2 * 365 * kDay + kDay),
      "y1::" + ms(365 * kDay + kDay), "y0::" + ms(kDay), "across::" + ms(kWindow - kDay),
      "across-two::" + ms(kWindow - kDay), "twice::" + ms(3 * kDay), "twice::" + ms(3 * kDay),
      // 1460 to 2920: years 4 to 7 (year 4 starts at 1461 days)
      "y7::" + ms(7 * 365 * kDay + kDay), "y6::" + ms(6 * 365 * kDay + kDay),
      "y5::" + ms(5 * 365 * kDay + kDay), "y4::" + ms(4 * 365 * kDay + kDay),
      "across::" + ms(kWindow + 3 * kDay),
      // 2920 to 4380: years 8 to 11 (year 8 starts at 2921 days)
      "y11::" + ms(11 * 365 * kDay + kDay), "y10::" + ms(10 * 365 * kDay + kDay),
      "y9::" + ms(9 * 365 * kDay + kDay), "y8::" + ms(8 * 365 * kDay + kDay)));

  EXPECT_THAT(answersHeldAtQuery, Each(0)) << "a window's answer outlived its events";

  // The exported route writes the same events.
  char* text = readAuthorizedSnapshotText(start, end);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text), std::string(encodeSnapshot(readAuthorizedSnapshot(start, end)).get()));
  std::free(text);
}

TEST_F(WindowedReadTest, FourYearsOrLessIsOneQueryOfExactlyTheRange) {
  store.push_back(event("a", 5, 6));
  for (double length : {1.0, kWindow - 0.001, kWindow}) {
    fake::platform().queries.clear();
    EXPECT_THAT(readIds(5, 5 + length), ElementsAre("a::5000"));
    EXPECT_THAT(fake::platform().queries, ElementsAre(Pair(5, 5 + length)));
  }
}

TEST_F(WindowedReadTest, AnEventTouchingABoundaryIsKeptOnceWhenBothWindowsReturnIt) {
  touchingCounts = true;
  store.push_back(event("ends-on", kWindow - kDay, kWindow));
  store.push_back(event("zero-on", kWindow, kWindow));
  store.push_back(event("starts-on", kWindow, kWindow + kDay));
  store.push_back(event("zero-on-last", 2 * kWindow, 2 * kWindow));
  const auto ms = [](double seconds) { return std::to_string(static_cast<long long>(seconds * 1000)); };
  EXPECT_THAT(readIds(0, 3 * kWindow),
              ElementsAre("ends-on::" + ms(kWindow - kDay), "zero-on::" + ms(kWindow),
                          "starts-on::" + ms(kWindow), "zero-on-last::" + ms(2 * kWindow)));
}

}  // namespace
}  // namespace vantrel
