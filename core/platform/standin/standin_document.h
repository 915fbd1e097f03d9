// The stand-in store's document (one JSON object; samples/standin-store.json is
// an example), parsed once into plain values: every default resolved, every
// instant computed, so that a query is a scan over numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform.h"

namespace vantrel::standin {

// The integer the seam passes for a status.
constexpr std::int64_t statusNumber(platform::AuthorizationStatus status) {
  return static_cast<std::int64_t>(status);
}

// A calendar of the document.
struct DocumentCalendar {
  std::optional<std::string> identifier;
  std::optional<std::string> title;
  std::optional<std::string> sourceTitle;
  std::optional<std::vector<double>> colorComponents;
};

// How a full-access request is answered.
struct AccessAnswer {
  bool granted = true;
  std::optional<std::string> error;
  std::int64_t statusAfter = statusNumber(platform::AuthorizationStatus::fullAccess);
  double delayMs = 0;
  bool onCallerThread = false;
  // For this long after the answer, status queries still give the status from
  // before it, as macOS has been seen to report a grant late.
  double statusLagMs = 0;
  // The status shows the answer only once the process's main thread has
  // turned its run loop after it: on macOS the change of permission reaches
  // a process through that loop.
  bool untilMainTurn = false;
};

// What a query scans: kept apart from the texts so that a million of them stay
// dense in memory.
struct EventSpan {
  platform::Instant start;
  platform::Instant end;
  std::size_t calendarKey;  // index into Document::eventCalendarIds
};

struct EventTexts {
  std::optional<std::string> identifier;
  std::optional<std::string> title;
  std::optional<std::string> location;
  bool isAllDay = false;
  // The occurrence's original start in its series; nullopt: its start.
  std::optional<platform::Instant> occurrenceDate;
  // 1 + the index of its meeting-note values in Document::eventDetails; 0 for
  // an event without any, so a million plain events cost nothing more.
  std::uint32_t detailsKey = 0;
};

// What a usable document holds that the format does not use, each with its
// path ("events[2].titel: unknown key, ignored"): a typo must not pass unseen.
// The first few are named, the rest counted, so that a million events with
// the same typo give a few lines.
struct Notices {
  static constexpr std::size_t kNamed = 20;
  std::vector<std::string> named;
  std::size_t more = 0;

  // The text is made only while there is room to name it.
  template <class MakeText>
  void add(MakeText makeText) {
    if (named.size() < kNamed) {
      named.push_back(makeText());
    } else {
      ++more;
    }
  }
  // One line each, without the file's name.
  std::vector<std::string> lines() const;
};

struct Document {
  // The file and contents it was read from, the same in every copy of the
  // stand-in in the process: an answered request changes the status of this
  // document only, and a rewritten file is a new document. Empty for the
  // unset variable's document, which is never answered.
  std::string identity;
  // The file it was read from; empty for the unset variable's document.
  std::string path;
  std::int64_t status = statusNumber(platform::AuthorizationStatus::fullAccess);
  std::optional<std::string> bundleIdentifier;
  std::optional<std::string> executablePath;
  std::vector<std::string> arguments;
  std::optional<AccessAnswer> request;
  std::optional<std::vector<DocumentCalendar>> calendars = std::vector<DocumentCalendar>{};
  std::vector<EventSpan> eventSpans;  // parallel to eventTexts, in document order
  std::vector<EventTexts> eventTexts;
  std::vector<platform::EventDetailValues> eventDetails;
  std::vector<std::string> eventCalendarIds;                  // each distinct `calendar` text once
  std::unordered_map<std::string, std::size_t> calendarKeys;  // text -> its index
  Notices notices;
  // Set for a file that cannot be used: every read fails with this text,
  // while the permission stays as if there were no document to read.
  std::optional<std::string> problem;
};

// What is wrong with a document: "events[3].start: ..." (key path, then problem).
class DocumentFormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses one document. Missing `executablePath` and `arguments` take the real
// process's values. Throws DocumentFormatError.
Document parseDocument(std::string_view json);

// The store without a calendar database: what an unset variable gives.
Document unsetDocument();

// The store of a file that cannot be used, `problem` saying why: the default
// status, since a damaged calendar database does not change a permission.
Document brokenDocument(std::string problem);

}  // namespace vantrel::standin
