// One object of "events", kept as its span (what a query scans) and its texts.
#include "standin_document_parts.h"

namespace vantrel::standin {

void readEventValue(const DocumentCursor& cursor, Slot slot, const Scalar& value,
                    EventInProgress& event) {
  switch (slot) {
    case Slot::eventId:
      event.texts.identifier = cursor.optionalText(slot, value);
      break;
    case Slot::eventCalendar:
      event.calendar = cursor.text(slot, value);
      break;
    case Slot::eventTitle:
      event.texts.title = cursor.optionalText(slot, value);
      break;
    case Slot::eventLocation:
      event.texts.location = cursor.optionalText(slot, value);
      break;
    case Slot::eventStart:
      event.start = cursor.instant(slot, value);
      break;
    case Slot::eventEnd:
      event.end = cursor.instant(slot, value);
      break;
    case Slot::eventAllDay:
      event.texts.isAllDay = cursor.flag(slot, value);
      break;
    default:
      break;
  }
}

void addEvent(const DocumentCursor& cursor, EventInProgress& event, Document& document) {
  const auto missing = [&](std::string_view key) {
    throw DocumentFormatError(cursor.memberPath(key) + ": missing");
  };
  if (!event.calendar) missing("calendar");
  if (!event.start) missing("start");
  if (!event.end) missing("end");
  const auto [key, added] =
      document.calendarKeys.try_emplace(*event.calendar, document.eventCalendarIds.size());
  if (added) document.eventCalendarIds.push_back(std::move(*event.calendar));
  document.eventSpans.push_back({*event.start, *event.end, key->second});
  document.eventTexts.push_back(std::move(event.texts));
}

}  // namespace vantrel::standin
