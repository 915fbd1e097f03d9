// The one operation that reads the user's calendar database.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "bridge_records.h"
#include "calendar_ids.h"
#include "iso_date.h"
#include "json_writer.h"
#include "platform.h"

namespace vantrel {

// EventKit answers a query only "within a four year timespan", shortening a
// longer one to its first four years; a longer range is asked for in windows.
inline constexpr double kLongestQuerySeconds = 1460.0 * 86400.0;

struct QueryWindow {
  platform::Instant start;
  platform::Instant end;
};

// The end of the query window that starts at `start` on the way to `end`:
// `end` itself when it is at most kLongestQuerySeconds away, otherwise the
// latest instant that is (exactly, not after rounding), so that no window is
// longer than EventKit answers and none leaves an instant unread.
platform::Instant queryWindowEnd(platform::Instant start, platform::Instant end);

// [start, end) as consecutive windows by queryWindowEnd, each starting where
// the one before ended: exactly {start, end} when the range fits one query.
std::vector<QueryWindow> queryWindows(platform::Instant start, platform::Instant end);

// One event as walkEvents hands it over; valid only during that call.
struct WalkedEvent {
  const platform::EventList& list;  // the window's answer: (list, index) reads
  std::size_t index;                // more of this event
  const platform::EventValues& values;
  // The event's dates; should the store give none, the range's start or end.
  platform::Instant start;
  platform::Instant end;
};

class EventVisitor {
 public:
  // Before each window's events, with how many the window returned (the
  // first call's count is every event when the range fits one query).
  virtual void window(std::size_t eventCount) { static_cast<void>(eventCount); }
  virtual void event(const WalkedEvent& event) = 0;

 protected:
  ~EventVisitor() = default;
};

// Hands every event of [start, end) in these calendars to the visitor once,
// in the store's order, window after window (queryWindowEnd). An event that two
// windows both return (same identifier, same start) is kept where it came
// first, also one that ends on the boundary or has zero length there; the
// store's own repeats within one window stay. One window's answer is held at
// a time. Without calendars nothing is queried: an empty list must never
// reach a store that might read it as every calendar.
void walkEvents(platform::Store& store, const std::vector<platform::CalendarRef>& calendars,
                platform::Instant start, platform::Instant end, EventVisitor& visitor);

// A new store and those of its event calendars the filter lets through (none
// when it gives no list), once the status is full access; throws AccessDenied,
// before creating a store, otherwise. A filter that lists nothing needs no
// store: none is made, and `store` is null.
struct AuthorizedStore {
  platform::StoreRef store;
  std::vector<platform::CalendarRef> calendars;
};
AuthorizedStore openAuthorizedStore(const CalendarFilter& filter = std::nullopt);

// A walked event's fields as the snapshot writes them ("identifier::ms" id,
// trimmed title or "Untitled event", ISO dates, trimmed location). They point
// into the converter and into the event, valid until either changes.
class EventConverter {
 public:
  EventFields convert(const WalkedEvent& event);
  // The id alone, as convert gives it; written in line into both, at no cost to convert.
  inline std::string_view id(const WalkedEvent& event);

 private:
  std::string id_;
  char startIso_[IsoFormatter::kTextLength];
  char endIso_[IsoFormatter::kTextLength];
};

// Every event calendar of a new store and every event of [start, end) as
// walkEvents hands them over. Throws AccessDenied, before creating a store,
// unless the status is full access.
BridgeSnapshot readAuthorizedSnapshot(platform::Instant start, platform::Instant end);

// encodeSnapshot(readAuthorizedSnapshot(start, end)) as a NUL-terminated text
// from malloc (release it with free), written while the events are read: no
// record of every event is held, and the text is never copied. Fails as
// readAuthorizedSnapshot and encodeSnapshot do, and with std::bad_alloc.
char* readAuthorizedSnapshotText(platform::Instant start, platform::Instant end);
// The same of the calendars the filter lets through: their records alone, and
// only they are queried.
char* readAuthorizedSnapshotText(platform::Instant start, platform::Instant end,
                                 const CalendarFilter& filter);
// That document with one more member, "occurrences": for each event, at its
// position, the key that follows one occurrence through changes of its start,
// its item identifier, "::" and its occurrence date in whole milliseconds.
char* readAuthorizedOccurrencesText(platform::Instant start, platform::Instant end,
                                    const CalendarFilter& filter);

// The meeting-note details of the same events as readAuthorizedSnapshotText,
// in the same order, each named by its snapshot id, as a text from malloc
// (release it with free). Only this reads attendees, organizers and notes.
// Fails as readAuthorizedSnapshotText does.
char* readAuthorizedDetailsText(platform::Instant start, platform::Instant end,
                                const CalendarFilter& filter = std::nullopt);

// "#" and six upper-case hex digits; "#6C4CF0" without a colour or components.
std::string hexColor(const platform::Calendar& calendar);
std::string hexColor(const std::optional<std::vector<double>>& components);

// Trims the white space and line breaks (Unicode Zs, Zl, Zp, U+0009..U+000D and
// U+0085) from both ends of UTF-8 text.
std::string_view trimWhitespaceAndNewlines(std::string_view text);

}  // namespace vantrel
