// Hostile start and end texts at the C boundary, each with the one answer it
// gets: a snapshot (and the slot left alone), or NULL with the argument text
// in the slot (nothing written without a slot), and never the store touched
// for a date that is refused.
#include "tavimo_calendar.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fake_platform.h"

namespace vantrel {
namespace {

constexpr const char* kInvalidArguments = "Vantrel requires a start and end ISO date.";
constexpr std::size_t k100MB = 100'000'000;

enum class Answer { snapshot, invalid };

struct Case {
  const char* what;
  std::optional<std::string> start;  // nullopt: a NULL pointer
  std::optional<std::string> end;
  Answer answer;
  bool slot = true;
};

const std::string kStart = "2026-03-01T00:00:00Z";
const std::string kEnd = "2026-04-01T00:00:00Z";

std::vector<Case> hostileCases() {
  return {
      {"invalid UTF-8", "2026-03-01T00:00:00\xFFZ", kEnd, Answer::invalid},
      {"overlong UTF-8 for Z", "2026-03-01T00:00:00\xC1\x9A", kEnd, Answer::invalid},
      {"a UTF-16 surrogate in UTF-8", kStart + "\xED\xA0\x80", kEnd, Answer::invalid},
      {"full-width digits", "\xEF\xBC\x92" "026-03-01T00:00:00Z", kEnd, Answer::invalid},
      {"a NUL ends the C text there", kStart + std::string("\0junk", 5), kEnd, Answer::snapshot},
      {"a NUL inside the date", std::string("2026-03-01T00:00\0:00Z", 21), kEnd, Answer::invalid},
      {"100 MB: a date with 100 MB of fraction digits",
       "2026-03-01T00:00:00." + std::string(k100MB, '9') + "Z", kEnd, Answer::snapshot},
      {"100 MB: a date, then junk", kStart, kEnd + std::string(k100MB, 'Z'), Answer::invalid},
      {"100 MB of junk", std::string(k100MB, '2'), kEnd, Answer::invalid},
      {"the first instant of year 0000", "0000-01-01T00:00:00Z", kEnd, Answer::snapshot},
      {"year 0000 pushed before itself by an offset", "0000-01-01T00:00:00+00:01", kEnd,
       Answer::invalid},
      {"the last millisecond of 9999", kStart, "9999-12-31T23:59:59.999Z", Answer::snapshot},
      {"year 10000", kStart, "10000-01-01T00:00:00Z", Answer::invalid},
      {"9999 pushed past itself by an offset", kStart, "9999-12-31T23:30:00-01:00",
       Answer::invalid},
      {"offset +24:00", "2026-03-01T00:00:00+24:00", kEnd, Answer::invalid},
      {"offset -24:00", "2026-03-01T00:00:00-24:00", kEnd, Answer::invalid},
      {"offset +00:60", "2026-03-01T00:00:00+00:60", kEnd, Answer::invalid},
      {"offset +23:59", "2026-03-01T00:00:00+23:59", kEnd, Answer::snapshot},
      {"offset -00:00", "2026-03-01T00:00:00-00:00", kEnd, Answer::snapshot},
      {"offset without a colon", "2026-03-01T00:00:00+0100", kEnd, Answer::invalid},
      {"leap second 23:59:60", "2026-03-01T23:59:60Z", kEnd, Answer::invalid},
      {"hour 24", "2026-03-01T24:00:00Z", kEnd, Answer::invalid},
      {"29 February of a common year", "2026-02-29T00:00:00Z", kEnd, Answer::invalid},
      {"negative instants", "1969-12-31T23:59:59.999Z", "1970-01-01T00:00:00Z", Answer::snapshot},
      {"instants before year 1", "0000-06-01T00:00:00Z", "0000-06-01T00:00:00.001Z",
       Answer::snapshot},
      {"start one millisecond after the end", "2026-03-01T00:00:00.001Z", kStart, Answer::invalid},
      {"NULL start", std::nullopt, kEnd, Answer::invalid},
      {"NULL end", kStart, std::nullopt, Answer::invalid},
      {"NULL start and end", std::nullopt, std::nullopt, Answer::invalid},
      {"NULL slot, bad dates", "2026-03-01", kEnd, Answer::invalid, false},
      {"NULL slot, NULL start", std::nullopt, kEnd, Answer::invalid, false},
      {"NULL slot, good dates", kStart, kEnd, Answer::snapshot, false},
  };
}

const char* pointer(const std::optional<std::string>& text) {
  return text ? text->c_str() : nullptr;
}

TEST(ExportedSnapshotHostileInput, EachGetsItsOneAnswer) {
  char untouched = 0;
  for (const Case& c : hostileCases()) {
    SCOPED_TRACE(c.what);
    fake::reset();
    char* failure = &untouched;
    char* json = tavimo_calendar_snapshot(pointer(c.start), pointer(c.end),
                                          c.slot ? &failure : nullptr);
    if (c.answer == Answer::snapshot) {
      ASSERT_NE(json, nullptr) << (failure != &untouched && failure ? failure : "");
      EXPECT_STREQ(json, R"({"calendars":[],"events":[]})");
      EXPECT_EQ(failure, &untouched);
    } else {
      EXPECT_EQ(json, nullptr);
      if (c.slot) {
        ASSERT_NE(failure, &untouched);
        EXPECT_STREQ(failure, kInvalidArguments);
        tavimo_calendar_string_free(failure);
      }
      EXPECT_EQ(fake::platform().storesCreated, 0);
      EXPECT_EQ(fake::platform().count("authorizationStatus"), 0);
    }
    tavimo_calendar_string_free(json);
  }
}

}  // namespace
}  // namespace vantrel
