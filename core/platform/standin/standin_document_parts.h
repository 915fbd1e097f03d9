// The parts of a stand-in document: its own members, the access request, each
// calendar and each event. The parser hands each part the values of its object
// as they come, and the finished object at its end.
#pragma once

#include <optional>
#include <string>

#include "standin_document.h"
#include "standin_document_cursor.h"

namespace vantrel::standin {

struct DocumentInProgress {
  Document document;
  bool executablePathGiven = false;
  bool argumentsGiven = false;
};
// A scalar of the document's own members (and of its array of arguments).
void readDocumentValue(const DocumentCursor& cursor, Slot slot, const Scalar& value,
                       DocumentInProgress& into);

struct RequestInProgress {
  AccessAnswer answer;
  bool statusAfterGiven = false;
};
void readRequestValue(const DocumentCursor& cursor, Slot slot, const Scalar& value,
                      RequestInProgress& request);
// The answer, with the status after it resolved.
AccessAnswer finishRequest(const RequestInProgress& request);

void readCalendarValue(const DocumentCursor& cursor, Slot slot, const Scalar& value,
                       DocumentCalendar& calendar);

struct EventInProgress {
  EventTexts texts;
  platform::EventDetailValues details;
  std::optional<std::string> calendar;
  std::optional<platform::Instant> start;
  std::optional<platform::Instant> end;
};
void readEventValue(const DocumentCursor& cursor, Slot slot, const Scalar& value,
                    EventInProgress& event);
// A scalar of the organizer or of one attendee.
void readParticipantValue(const DocumentCursor& cursor, Slot slot, const Scalar& value,
                          platform::ParticipantValues& participant);
// Appends the event to the document's events; fails when a required member is
// missing.
void addEvent(const DocumentCursor& cursor, EventInProgress& event, Document& document);

}  // namespace vantrel::standin
