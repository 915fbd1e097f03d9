// tavimo_calendar_snapshot with arbitrary bytes as start and end (either may
// be NULL, and so may the failure slot), over a store that has granted full
// access and holds a few awkward events: it never crashes or leaks, and gives
// exactly one of a snapshot or a failure text. Which one is decided by
// parseIso alone: a snapshot exactly when both dates parse and the start is
// the earlier, and that snapshot is valid JSON holding every calendar and each
// event of the range exactly once, however many four-year windows it takes.
//
// Input: a byte of choices, then the start text, a NUL, and the end text.
#include <nlohmann/json.hpp>
#include <algorithm>
#include <optional>
#include <string>

#include "fake_platform.h"
#include "fuzz_support.h"
#include "iso_date.h"
#include "tavimo_calendar.h"

namespace {

using vantrel::fuzz::check;

constexpr const char* kInvalidArguments = "Vantrel requires a start and end ISO date.";

void fillStore() {
  vantrel::fake::Platform& store = vantrel::fake::platform();
  store.status = 3;
  store.calendars = std::vector<vantrel::fake::Calendar>{
      {"work", "Work \"A/B\"", "Local", std::vector<double>{0.1, 0.2, 0.3, 1}},
      {std::nullopt, std::nullopt, std::nullopt, std::nullopt},
  };
  store.events = {
      {"e1", "work", " Planung \xE2\x80\x94 \xF0\x9F\x93\x85\n", "Raum 4\t", 1772442000.25,
       1772445600, false},
      {std::nullopt, "work", std::nullopt, std::nullopt, -62167219200.0, -1.5, true},
      {"e\\3", std::nullopt, std::string("nul\0inside", 10), "", 253402300799.9995, std::nullopt,
       false},
  };
}

// An event without an end counts as one of zero length.
bool overlaps(const vantrel::fake::Event& event, double start, double end) {
  const double eventStart = *event.start, eventEnd = event.end.value_or(eventStart);
  return eventStart < end && (eventEnd > start || eventStart >= start);
}

// As EventKit answers: the events that overlap the range, in the store's
// order, the range cut to its first four years.
std::vector<vantrel::fake::Event> answerQuery(double start, double end) {
  end = std::min(end, start + 1460 * 86400.0);
  std::vector<vantrel::fake::Event> found;
  for (const auto& event : vantrel::fake::platform().events) {
    if (overlaps(event, start, end)) found.push_back(event);
  }
  return found;
}

std::optional<double> parsed(const char* text) {
  if (text == nullptr) return std::nullopt;
  return vantrel::parseIso(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool filled = (fillStore(), vantrel::fake::platform().answerQuery = answerQuery, true);
  (void)filled;
  vantrel::fake::platform().calls.clear();  // or the fake's call log grows for ever
  vantrel::fake::platform().queries.clear();

  vantrel::fuzz::FuzzInput input(data, size);
  const std::uint8_t choices = input.byte();
  const std::string start(input.text());
  const std::string end(input.text());
  const char* startText = (choices & 0x07) == 1 ? nullptr : start.c_str();
  const char* endText = (choices & 0x07) == 2 ? nullptr : end.c_str();
  const bool withSlot = (choices & 0x18) != 0x18;

  char* failure = nullptr;
  char* json = tavimo_calendar_snapshot(startText, endText, withSlot ? &failure : nullptr);

  const std::optional<double> from = parsed(startText);
  const std::optional<double> to = parsed(endText);
  const bool valid = from && to && *from < *to;
  check((json != nullptr) == valid, "a snapshot comes exactly for two ordered dates");
  if (withSlot) {
    check((json == nullptr) != (failure == nullptr), "one of a snapshot or a failure text");
  }
  if (failure != nullptr) {
    check(std::string(failure) == kInvalidArguments, "bad dates get the argument text");
  }
  if (json != nullptr) {
    const nlohmann::json document = nlohmann::json::parse(json);
    std::size_t inRange = 0;
    for (const auto& event : vantrel::fake::platform().events) inRange += overlaps(event, *from, *to);
    check(document.at("calendars").size() == 2 && document.at("events").size() == inRange,
          "the snapshot holds every event of the range once");
  }
  tavimo_calendar_string_free(json);
  tavimo_calendar_string_free(failure);
  return 0;
}
