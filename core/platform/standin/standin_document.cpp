#include "standin_document.h"

#include <nlohmann/json.hpp>
#include <string_view>
#include <unordered_set>

#include "standin_document_cursor.h"
#include "standin_document_parts.h"
#include "standin_process.h"

namespace vantrel::standin {
namespace {

// An event whose calendar is none of the document's would vanish from every
// query without a word.
void noteUnknownCalendars(Document& document) {
  std::unordered_set<std::string_view> known;
  if (document.calendars) {
    for (const DocumentCalendar& calendar : *document.calendars) {
      if (calendar.identifier) known.insert(*calendar.identifier);
    }
  }
  std::vector<char> unknown(document.eventCalendarIds.size());
  for (std::size_t key = 0; key < unknown.size(); ++key) {
    unknown[key] = !known.contains(document.eventCalendarIds[key]);
  }
  for (std::size_t event = 0; event < document.eventSpans.size(); ++event) {
    const std::size_t key = document.eventSpans[event].calendarKey;
    if (!unknown[key]) continue;
    document.notices.add([&] {
      return "events[" + std::to_string(event) + "].calendar: \"" + document.eventCalendarIds[key] +
             "\" names no calendar of the document, so no query finds the event";
    });
  }
}

// Builds the Document straight from the parser's events: a million events go
// through without a JSON tree in between, their strings moved, not copied. The
// objects of their own (request, calendar, event) are built by their parts.
class DocumentBuilder : public ScalarCallbacks<DocumentBuilder> {
 public:
  Document finish() {
    Document& document = document_.document;
    if (!document_.executablePathGiven) document.executablePath = realExecutablePath();
    if (!document_.argumentsGiven) document.arguments = realProcessArguments();
    document.notices = cursor_.takeNotices();
    noteUnknownCalendars(document);
    return std::move(document);
  }

  bool start_object(std::size_t) {
    const Slot slot = cursor_.nextSlot();
    switch (slot) {
      case Slot::root:
        return cursor_.enter(Container::root);
      case Slot::request:
        request_ = {};
        return cursor_.enter(Container::request);
      case Slot::calendar:
        calendar_ = {};
        return cursor_.enter(Container::calendar);
      case Slot::event:
        event_ = {};
        return cursor_.enter(Container::event);
      case Slot::eventOrganizer:
        event_.details.organizer.emplace();
        participant_ = &*event_.details.organizer;
        return cursor_.enter(Container::participant);
      case Slot::attendee:
        participant_ = &event_.details.attendees->emplace_back();
        return cursor_.enter(Container::participant);
      case Slot::ignored:
        return cursor_.enter(Container::ignored);
      default:
        cursor_.wrongType(slot, "an object");
    }
  }

  bool key(json::string_t& name) {
    cursor_.key(name);
    return true;
  }

  bool end_object() {
    switch (cursor_.container()) {
      case Container::request:
        document_.document.request = finishRequest(request_);
        break;
      case Container::calendar:
        document_.document.calendars->push_back(std::move(calendar_));
        break;
      case Container::event:
        addEvent(cursor_, event_, document_.document);
        break;
      default:
        break;
    }
    return cursor_.leave();
  }

  bool start_array(std::size_t) {
    const Slot slot = cursor_.nextSlot();
    switch (slot) {
      case Slot::arguments:
        document_.document.arguments.clear();
        document_.argumentsGiven = true;
        return cursor_.enter(Container::arguments);
      case Slot::calendars:
        document_.document.calendars.emplace();
        return cursor_.enter(Container::calendars);
      case Slot::calendarColor:
        calendar_.colorComponents.emplace();
        return cursor_.enter(Container::color);
      case Slot::events:
        document_.document.eventSpans.clear();
        document_.document.eventTexts.clear();
        document_.document.eventDetails.clear();
        return cursor_.enter(Container::events);
      case Slot::eventAttendees:
        event_.details.attendees.emplace();
        return cursor_.enter(Container::attendees);
      case Slot::ignored:
        return cursor_.enter(Container::ignored);
      default:
        cursor_.wrongType(slot, "an array");
    }
  }

  bool end_array() { return cursor_.leave(); }

 private:
  friend ScalarCallbacks<DocumentBuilder>;

  // Each part takes the scalars of its own objects.
  bool scalar(const Scalar& value) {
    const Slot slot = cursor_.nextSlot();
    switch (slot == Slot::root || slot == Slot::ignored ? Container::ignored : cursor_.container()) {
      case Container::request:
        readRequestValue(cursor_, slot, value, request_);
        break;
      case Container::calendar:
      case Container::color:
        readCalendarValue(cursor_, slot, value, calendar_);
        break;
      case Container::event:
        readEventValue(cursor_, slot, value, event_);
        break;
      case Container::participant:
        readParticipantValue(cursor_, slot, value, *participant_);
        break;
      default:
        readDocumentValue(cursor_, slot, value, document_);
    }
    return cursor_.valueDone();
  }

  DocumentCursor cursor_;
  DocumentInProgress document_;
  RequestInProgress request_;
  DocumentCalendar calendar_;
  EventInProgress event_;
  platform::ParticipantValues* participant_ = nullptr;  // the one being read, in event_
};

}  // namespace

Document parseDocument(std::string_view text) {
  // The parser takes a NUL byte for the end of the text and would accept
  // whatever garbage follows it.
  if (const auto nul = text.find('\0'); nul != std::string_view::npos) {
    throw DocumentFormatError("not JSON: a NUL byte at offset " + std::to_string(nul));
  }
  DocumentBuilder builder;
  nlohmann::json::sax_parse(text, &builder);
  return builder.finish();
}

std::vector<std::string> Notices::lines() const {
  std::vector<std::string> all = named;
  if (more > 0) all.push_back("and " + std::to_string(more) + " more like these");
  return all;
}

Document brokenDocument(std::string problem) {
  Document document;
  document.executablePath = realExecutablePath();
  document.arguments = realProcessArguments();
  document.problem = std::move(problem);
  return document;
}

Document unsetDocument() {
  Document document;
  document.status = statusNumber(platform::AuthorizationStatus::restricted);
  document.executablePath = realExecutablePath();
  document.arguments = realProcessArguments();
  return document;
}

}  // namespace vantrel::standin
