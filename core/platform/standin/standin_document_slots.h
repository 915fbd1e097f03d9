// The document format's vocabulary: which key of which object holds what kind
// of value, and how an error names what was expected there.
#pragma once

#include <string_view>

namespace vantrel::standin {

// Where the next value of the document goes, which decides what it may be.
enum class Slot {
  root,
  status,
  bundleIdentifier,
  executablePath,
  arguments,
  argument,
  request,
  requestGranted,
  requestError,
  requestStatusAfter,
  requestDelayMs,
  requestThread,
  requestStatusLagMs,
  requestUntilMainTurn,
  calendars,
  calendar,
  calendarId,
  calendarTitle,
  calendarSource,
  calendarColor,
  colorComponent,
  events,
  event,
  eventId,
  eventCalendar,
  eventTitle,
  eventLocation,
  eventStart,
  eventEnd,
  eventAllDay,
  eventOccurrenceDate,
  eventNotes,
  eventUrl,
  eventTimeZone,
  eventAvailability,
  eventStatus,
  eventRecurring,
  eventOrganizer,
  eventAttendees,
  attendee,
  participantName,
  participantUrl,
  participantStatus,
  participantRole,
  participantType,
  participantIsCurrentUser,
  ignored,  // a key the format does not know, and everything inside it
};

// What the parser is inside of.
enum class Container {
  root,
  arguments,
  request,
  calendars,
  calendar,
  color,
  events,
  event,
  attendees,
  participant,  // the organizer or one attendee
  ignored
};

// The wording of "expected ..." for a value in `slot`.
std::string_view expectation(Slot slot);

bool isArray(Container container);

// The slot of member `key` of an object of kind `container`; Slot::ignored for a
// key the format does not know.
Slot memberSlot(Container container, std::string_view key);

}  // namespace vantrel::standin
