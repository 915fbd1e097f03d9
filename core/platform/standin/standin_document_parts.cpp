// The parts of a stand-in document, each reading the values of its own objects.
#include "standin_document_parts.h"

#include <nlohmann/json.hpp>

namespace vantrel::standin {

// The document's own members: the status, the bundle and process values, and
// the lists that may be null.
void readDocumentValue(const DocumentCursor& cursor, Slot slot, const Scalar& value,
                       DocumentInProgress& into) {
  Document& document = into.document;
  switch (slot) {
    case Slot::status:
      document.status = cursor.integer(slot, value);
      break;
    case Slot::bundleIdentifier:
      document.bundleIdentifier = cursor.optionalText(slot, value);
      break;
    case Slot::executablePath:
      document.executablePath = cursor.optionalText(slot, value);
      into.executablePathGiven = true;
      break;
    case Slot::argument:
      document.arguments.push_back(cursor.text(slot, value));
      break;
    case Slot::request:
      cursor.null(slot, value);
      document.request.reset();
      break;
    case Slot::calendars:
      cursor.null(slot, value);
      document.calendars.reset();
      break;
    case Slot::ignored:
      break;
    default:  // a container was expected
      cursor.wrongType(slot, value);
  }
}

// The "request" object: how a full-access request is answered.
void readRequestValue(const DocumentCursor& cursor, Slot slot, const Scalar& value,
                      RequestInProgress& request) {
  switch (slot) {
    case Slot::requestGranted:
      request.answer.granted = cursor.flag(slot, value);
      break;
    case Slot::requestError:
      request.answer.error = cursor.optionalText(slot, value);
      break;
    case Slot::requestStatusAfter:
      request.answer.statusAfter = cursor.integer(slot, value);
      request.statusAfterGiven = true;
      break;
    case Slot::requestDelayMs:
      request.answer.delayMs = cursor.nonNegativeNumber(slot, value);
      break;
    case Slot::requestStatusLagMs:
      request.answer.statusLagMs = cursor.nonNegativeNumber(slot, value);
      break;
    case Slot::requestUntilMainTurn:
      request.answer.untilMainTurn = cursor.flag(slot, value);
      break;
    case Slot::requestThread: {
      const std::string name = cursor.text(slot, value);
      if (name != "other" && name != "caller") {
        cursor.fail(nlohmann::json(name).dump() + R"( is neither "other" nor "caller")");
      }
      request.answer.onCallerThread = name == "caller";
      break;
    }
    default:
      break;
  }
}

AccessAnswer finishRequest(const RequestInProgress& request) {
  AccessAnswer answer = request.answer;
  if (!request.statusAfterGiven) {
    answer.statusAfter = statusNumber(answer.granted ? platform::AuthorizationStatus::fullAccess
                                                     : platform::AuthorizationStatus::denied);
  }
  return answer;
}

// One object of "calendars".
void readCalendarValue(const DocumentCursor& cursor, Slot slot, const Scalar& value,
                       DocumentCalendar& calendar) {
  switch (slot) {
    case Slot::calendarId:
      calendar.identifier = cursor.optionalText(slot, value);
      break;
    case Slot::calendarTitle:
      calendar.title = cursor.optionalText(slot, value);
      break;
    case Slot::calendarSource:
      calendar.sourceTitle = cursor.optionalText(slot, value);
      break;
    case Slot::calendarColor:
      cursor.null(slot, value);
      calendar.colorComponents.reset();
      break;
    case Slot::colorComponent:
      calendar.colorComponents->push_back(cursor.number(slot, value));
      break;
    default:
      break;
  }
}

// One object of "events", kept as its span (what a query scans) and its texts.
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
    case Slot::eventOccurrenceDate:
      if (value.type == nlohmann::json::value_t::null) {
        event.texts.occurrenceDate.reset();
      } else {
        event.texts.occurrenceDate = cursor.instant(slot, value);
      }
      break;
    case Slot::eventNotes:
      event.details.notes = cursor.optionalText(slot, value);
      break;
    case Slot::eventUrl:
      event.details.url = cursor.optionalText(slot, value);
      break;
    case Slot::eventTimeZone:
      event.details.timeZone = cursor.optionalText(slot, value);
      break;
    case Slot::eventAvailability:
      event.details.availability = cursor.integer(slot, value);
      break;
    case Slot::eventStatus:
      event.details.status = cursor.integer(slot, value);
      break;
    case Slot::eventRecurring:
      event.details.hasRecurrenceRules = cursor.flag(slot, value);
      break;
    case Slot::eventOrganizer:
      cursor.null(slot, value);
      event.details.organizer.reset();
      break;
    case Slot::eventAttendees:
      cursor.null(slot, value);
      event.details.attendees.reset();
      break;
    default:
      break;
  }
}

void readParticipantValue(const DocumentCursor& cursor, Slot slot, const Scalar& value,
                          platform::ParticipantValues& participant) {
  switch (slot) {
    case Slot::participantName:
      participant.name = cursor.optionalText(slot, value);
      break;
    case Slot::participantUrl:
      participant.url = cursor.optionalText(slot, value);
      break;
    case Slot::participantStatus:
      participant.status = cursor.integer(slot, value);
      break;
    case Slot::participantRole:
      participant.role = cursor.integer(slot, value);
      break;
    case Slot::participantType:
      participant.type = cursor.integer(slot, value);
      break;
    case Slot::participantIsCurrentUser:
      participant.isCurrentUser = cursor.flag(slot, value);
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
  if (event.details != platform::EventDetailValues{}) {
    document.eventDetails.push_back(std::move(event.details));
    event.texts.detailsKey = static_cast<std::uint32_t>(document.eventDetails.size());
  }
  document.eventSpans.push_back({*event.start, *event.end, key->second});
  document.eventTexts.push_back(std::move(event.texts));
}

}  // namespace vantrel::standin
