// The JSON documents of the bridge: compact, keys sorted, "\/" for a slash,
// control characters escaped, everything else raw UTF-8. Every snapshot
// document, of records or straight from the platform's values, is written by
// SnapshotTextWriter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bridge_records.h"
#include "platform.h"

namespace vantrel {

// One event's fields as the writer reads them: those of a BridgeEvent, or of
// an event on its way from the platform straight into a document.
struct EventFields {
  std::string_view id;
  std::string_view calendarId;
  std::string_view title;
  std::string_view startIso;
  std::string_view endIso;
  bool isAllDay;
  std::optional<std::string_view> location;
  // BridgeEvent::PlainText bits of the texts known to need no escaping (and
  // to be valid UTF-8); 0 when unknown.
  std::uint8_t plainTexts = 0;
};

// A NUL-terminated text from malloc, released with free().
struct FreeText {
  void operator()(char* text) const;
};
using MallocText = std::unique_ptr<char, FreeText>;

// The snapshot's JSON, written by SnapshotTextWriter as the exported function's
// is. Throws BridgeFailure::invalidArguments when a text is not valid UTF-8,
// or std::bad_alloc.
MallocText encodeSnapshot(const BridgeSnapshot& snapshot);

// Writes a snapshot document into one text from malloc while its events are
// still being read, so that no record of every event is ever held: a year of
// events would otherwise cost as much new memory again as the document itself.
// The room is estimated from the event count, grown when short and trimmed to
// the exact size at the end; allocators grow and shrink large blocks in place
// or by remapping pages, so the document is written once and never copied.
class SnapshotTextWriter {
 public:
  // Writes the calendars. Throws std::bad_alloc, or BridgeFailure::invalidArguments
  // when a text is not valid UTF-8.
  SnapshotTextWriter(const std::vector<BridgeCalendar>& calendars, std::size_t expectedEvents);
  ~SnapshotTextWriter();
  SnapshotTextWriter(const SnapshotTextWriter&) = delete;
  SnapshotTextWriter& operator=(const SnapshotTextWriter&) = delete;

  // Appends one event; throws as the constructor does.
  void addEvent(const EventFields& event);
  // The NUL-terminated document, now the caller's, to be released with free().
  char* finish();
  // The same with one more member after "events": `key` and an array of the
  // texts; throws as the constructor does.
  char* finish(std::string_view key, const std::vector<std::string>& texts);

 private:
  char* room(std::size_t bytes);

  char* text_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  bool firstEvent_ = true;
};

// The details document, {"events":[...]}: per event what a meeting note needs,
// written as the events are read, with the same rules and growth as the
// snapshot's writer. Enumerations are written as labels, a value outside
// their lists as "unknown-" and the number.
class DetailsTextWriter {
 public:
  explicit DetailsTextWriter(std::size_t expectedEvents);
  ~DetailsTextWriter();
  DetailsTextWriter(const DetailsTextWriter&) = delete;
  DetailsTextWriter& operator=(const DetailsTextWriter&) = delete;

  // Appends one event named `id` (the snapshot's id for it). Throws
  // std::bad_alloc, or BridgeFailure::invalidArguments when a text is not
  // valid UTF-8.
  void addEvent(std::string_view id, const platform::EventDetailValues& details,
                std::optional<std::string_view> conferenceUrl);
  // The NUL-terminated document, now the caller's, to be released with free().
  char* finish();

 private:
  char* text_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  bool firstEvent_ = true;
};

// Same rules as the snapshot. Throws BridgeFailure::invalidArguments on
// text that is not valid UTF-8.
std::string encodeDiagnostics(const BridgeDiagnostics& diagnostics);

}  // namespace vantrel
