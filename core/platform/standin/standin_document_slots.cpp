#include "standin_document_slots.h"

namespace vantrel::standin {

std::string_view expectation(Slot slot) {
  switch (slot) {
    case Slot::root:
      return "a JSON object";
    case Slot::status:
    case Slot::requestStatusAfter:
    case Slot::eventAvailability:
    case Slot::eventStatus:
    case Slot::participantStatus:
    case Slot::participantRole:
    case Slot::participantType:
      return "an integer";
    case Slot::arguments:
      return "an array of strings";
    case Slot::argument:
    case Slot::eventCalendar:
      return "a string";
    case Slot::request:
      return "an object or null";
    case Slot::requestGranted:
    case Slot::requestUntilMainTurn:
    case Slot::eventAllDay:
    case Slot::eventRecurring:
    case Slot::participantIsCurrentUser:
      return "true or false";
    case Slot::requestDelayMs:
    case Slot::requestStatusLagMs:
    case Slot::colorComponent:
      return "a number";
    case Slot::requestThread:
      return R"("other" or "caller")";
    case Slot::calendars:
      return "an array or null";
    case Slot::calendar:
    case Slot::event:
    case Slot::attendee:
      return "an object";
    case Slot::eventOrganizer:
      return "an object or null";
    case Slot::eventAttendees:
      return "an array of objects or null";
    case Slot::calendarColor:
      return "an array of numbers or null";
    case Slot::events:
      return "an array";
    case Slot::eventStart:
    case Slot::eventEnd:
      return "an ISO-8601 date-time text or a number of seconds";
    case Slot::eventOccurrenceDate:
      return "an ISO-8601 date-time text, a number of seconds or null";
    default:
      return "a string or null";
  }
}

bool isArray(Container container) {
  return container == Container::arguments || container == Container::calendars ||
         container == Container::color || container == Container::events ||
         container == Container::attendees;
}

Slot memberSlot(Container container, std::string_view key) {
  struct Member {
    Container container;
    std::string_view key;
    Slot slot;
  };
  static constexpr Member kMembers[] = {
      {Container::root, "status", Slot::status},
      {Container::root, "bundleIdentifier", Slot::bundleIdentifier},
      {Container::root, "executablePath", Slot::executablePath},
      {Container::root, "arguments", Slot::arguments},
      {Container::root, "request", Slot::request},
      {Container::root, "calendars", Slot::calendars},
      {Container::root, "events", Slot::events},
      {Container::request, "granted", Slot::requestGranted},
      {Container::request, "error", Slot::requestError},
      {Container::request, "statusAfter", Slot::requestStatusAfter},
      {Container::request, "delayMs", Slot::requestDelayMs},
      {Container::request, "thread", Slot::requestThread},
      {Container::request, "statusLagMs", Slot::requestStatusLagMs},
      {Container::request, "untilMainTurn", Slot::requestUntilMainTurn},
      {Container::calendar, "id", Slot::calendarId},
      {Container::calendar, "title", Slot::calendarTitle},
      {Container::calendar, "source", Slot::calendarSource},
      {Container::calendar, "color", Slot::calendarColor},
      {Container::event, "id", Slot::eventId},
      {Container::event, "calendar", Slot::eventCalendar},
      {Container::event, "title", Slot::eventTitle},
      {Container::event, "location", Slot::eventLocation},
      {Container::event, "start", Slot::eventStart},
      {Container::event, "end", Slot::eventEnd},
      {Container::event, "allDay", Slot::eventAllDay},
      {Container::event, "occurrenceDate", Slot::eventOccurrenceDate},
      {Container::event, "notes", Slot::eventNotes},
      {Container::event, "url", Slot::eventUrl},
      {Container::event, "timeZone", Slot::eventTimeZone},
      {Container::event, "availability", Slot::eventAvailability},
      {Container::event, "status", Slot::eventStatus},
      {Container::event, "recurring", Slot::eventRecurring},
      {Container::event, "organizer", Slot::eventOrganizer},
      {Container::event, "attendees", Slot::eventAttendees},
      {Container::participant, "name", Slot::participantName},
      {Container::participant, "url", Slot::participantUrl},
      {Container::participant, "status", Slot::participantStatus},
      {Container::participant, "role", Slot::participantRole},
      {Container::participant, "type", Slot::participantType},
      {Container::participant, "isCurrentUser", Slot::participantIsCurrentUser},
  };
  for (const Member& member : kMembers) {
    if (member.container == container && member.key == key) return member.slot;
  }
  return Slot::ignored;
}

}  // namespace vantrel::standin
