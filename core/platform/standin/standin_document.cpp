#include "standin_document.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "iso_date.h"
#include "standin_document_slots.h"
#include "standin_process.h"

namespace vantrel::standin {
namespace {

using nlohmann::json;

// The instants that ISO texts can name, years 0000 to 9999; numbers beyond them
// would only overflow the millisecond ids and the ISO texts of a snapshot.
constexpr double kFirstInstant = -62'167'219'200.0;  // 0000-01-01T00:00:00Z
constexpr double kEndInstant = 253'402'300'800.0;    // 10000-01-01T00:00:00Z

// One scalar as the parser hands it over; strings can be moved out.
struct Scalar {
  json::value_t type = json::value_t::null;
  bool boolean = false;
  std::int64_t integer = 0;
  std::uint64_t unsignedInteger = 0;
  double number = 0;
  std::string* text = nullptr;  // the string, or a number's text as written

  bool isNumber() const {
    return type == json::value_t::number_integer || type == json::value_t::number_unsigned ||
           type == json::value_t::number_float;
  }
  double asDouble() const {
    switch (type) {
      case json::value_t::number_integer:
        return static_cast<double>(integer);
      case json::value_t::number_unsigned:
        return static_cast<double>(unsignedInteger);
      default:
        return number;
    }
  }
  // The value as it reads in the document.
  std::string written() const {
    switch (type) {
      case json::value_t::null:
        return "null";
      case json::value_t::boolean:
        return boolean ? "true" : "false";
      case json::value_t::number_integer:
        return std::to_string(integer);
      case json::value_t::number_unsigned:
        return std::to_string(unsignedInteger);
      case json::value_t::string:
        return json(*text).dump();
      default:
        return *text;
    }
  }
};

// Builds the Document straight from the parser's events: a million events go
// through without a JSON tree in between, their strings moved, not copied.
class DocumentBuilder {
 public:
  Document finish() {
    if (!executablePathGiven_) document_.executablePath = realExecutablePath();
    if (!argumentsGiven_) document_.arguments = realProcessArguments();
    return std::move(document_);
  }

  // The parser's callbacks (nlohmann's SAX interface).
  bool null() { return scalar({}); }
  bool boolean(bool value) {
    Scalar s;
    s.type = json::value_t::boolean;
    s.boolean = value;
    return scalar(s);
  }
  bool number_integer(json::number_integer_t value) {
    Scalar s;
    s.type = json::value_t::number_integer;
    s.integer = value;
    return scalar(s);
  }
  bool number_unsigned(json::number_unsigned_t value) {
    Scalar s;
    s.type = json::value_t::number_unsigned;
    s.unsignedInteger = value;
    return scalar(s);
  }
  bool number_float(json::number_float_t value, const json::string_t& written) {
    writtenNumber_ = written;
    Scalar s;
    s.type = json::value_t::number_float;
    s.number = value;
    s.text = &writtenNumber_;
    return scalar(s);
  }
  bool string(json::string_t& value) {
    Scalar s;
    s.type = json::value_t::string;
    s.text = &value;
    return scalar(s);
  }
  bool binary(json::binary_t&) { return true; }  // never produced from JSON text

  bool start_object(std::size_t) {
    const Slot slot = nextSlot();
    switch (slot) {
      case Slot::root:
        return enter(Container::root);
      case Slot::request:
        request_ = {};
        statusAfterGiven_ = false;
        return enter(Container::request);
      case Slot::calendar:
        calendar_ = {};
        return enter(Container::calendar);
      case Slot::event:
        event_ = {};
        return enter(Container::event);
      case Slot::ignored:
        return enter(Container::ignored);
      default:
        wrongType(slot, "an object");
    }
  }

  bool key(json::string_t& name) {
    Frame& frame = frames_.back();
    frame.key.assign(name);
    frame.memberSlot = memberSlot(frame.container, name);
    return true;
  }

  bool end_object() {
    switch (frames_.back().container) {
      case Container::request:
        if (!statusAfterGiven_) request_.statusAfter = request_.granted ? 3 : 2;
        document_.request = request_;
        break;
      case Container::calendar:
        document_.calendars->push_back(std::move(calendar_));
        break;
      case Container::event:
        addEvent();
        break;
      default:
        break;
    }
    return leave();
  }

  bool start_array(std::size_t) {
    const Slot slot = nextSlot();
    switch (slot) {
      case Slot::arguments:
        document_.arguments.clear();
        argumentsGiven_ = true;
        return enter(Container::arguments);
      case Slot::calendars:
        document_.calendars.emplace();
        return enter(Container::calendars);
      case Slot::calendarColor:
        calendar_.colorComponents.emplace();
        return enter(Container::color);
      case Slot::events:
        document_.eventSpans.clear();
        document_.eventTexts.clear();
        return enter(Container::events);
      case Slot::ignored:
        return enter(Container::ignored);
      default:
        wrongType(slot, "an array");
    }
  }

  bool end_array() { return leave(); }

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) {
    // Drop nlohmann's "[json.exception.parse_error.101] " tag; keep the position.
    std::string_view what = error.what();
    if (const auto tagEnd = what.find("] "); tagEnd != std::string_view::npos) {
      what.remove_prefix(tagEnd + 2);
    }
    // Its excerpt of the text is raw bytes, which need not be UTF-8.
    throw DocumentFormatError("not JSON: " + validUtf8(what));
  }

 private:
  struct Frame {
    Container container = Container::ignored;
    std::size_t index = 0;  // arrays: the element being read
    std::string key;        // objects: the member being read
    Slot memberSlot = Slot::ignored;
  };

  struct PendingEvent {
    EventTexts texts;
    std::optional<std::string> calendar;
    std::optional<platform::Instant> start;
    std::optional<platform::Instant> end;
  };

  Slot nextSlot() const {
    if (frames_.empty()) return Slot::root;
    const Frame& frame = frames_.back();
    switch (frame.container) {
      case Container::arguments:
        return Slot::argument;
      case Container::calendars:
        return Slot::calendar;
      case Container::color:
        return Slot::colorComponent;
      case Container::events:
        return Slot::event;
      case Container::ignored:
        return Slot::ignored;
      default:
        return frame.memberSlot;
    }
  }

  bool enter(Container container) {
    frames_.emplace_back().container = container;
    return true;
  }

  bool leave() {
    frames_.pop_back();
    return valueDone();
  }

  bool valueDone() {
    if (!frames_.empty() && isArray(frames_.back().container)) ++frames_.back().index;
    return true;
  }

  // "events[3].start": the path of the value at depth `depth`.
  std::string path(std::size_t depth) const {
    std::string text;
    for (std::size_t i = 0; i < depth; ++i) {
      const Frame& frame = frames_[i];
      if (isArray(frame.container)) {
        text += '[';
        text += std::to_string(frame.index);
        text += ']';
      } else {
        if (!text.empty()) text += '.';
        text += frame.key;
      }
    }
    return text;
  }

  [[noreturn]] void fail(const std::string& where, const std::string& problem) const {
    throw DocumentFormatError(where.empty() ? problem : where + ": " + problem);
  }
  [[noreturn]] void fail(const std::string& problem) const { fail(path(frames_.size()), problem); }
  [[noreturn]] void wrongType(Slot slot, const std::string& found) const {
    fail("expected " + std::string(expectation(slot)) + ", found " + found);
  }
  [[noreturn]] void wrongType(Slot slot, const Scalar& value) const {
    wrongType(slot, value.written());
  }

  std::int64_t integer(Slot slot, const Scalar& value) const {
    if (value.type == json::value_t::number_integer) return value.integer;
    if (value.type != json::value_t::number_unsigned) wrongType(slot, value);
    if (value.unsignedInteger >
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      fail(value.written() + " does not fit a signed 64-bit integer");
    }
    return static_cast<std::int64_t>(value.unsignedInteger);
  }

  double number(Slot slot, const Scalar& value) const {
    if (!value.isNumber()) wrongType(slot, value);
    const double result = value.asDouble();
    if (!std::isfinite(result)) fail(value.written() + " is not a finite number");
    return result;
  }

  bool flag(Slot slot, const Scalar& value) const {
    if (value.type != json::value_t::boolean) wrongType(slot, value);
    return value.boolean;
  }

  std::string text(Slot slot, const Scalar& value) const {
    if (value.type != json::value_t::string) wrongType(slot, value);
    return std::move(*value.text);
  }

  std::optional<std::string> optionalText(Slot slot, const Scalar& value) const {
    if (value.type == json::value_t::null) return std::nullopt;
    return text(slot, value);
  }

  platform::Instant instant(Slot slot, const Scalar& value) const {
    platform::Instant result = 0;
    if (value.type == json::value_t::string) {
      const auto parsed = parseIso(*value.text);
      if (!parsed) fail(value.written() + " is not an ISO-8601 date-time");
      result = *parsed;
    } else if (value.isNumber()) {
      result = number(slot, value);
    } else {
      wrongType(slot, value);
    }
    if (!(result >= kFirstInstant && result < kEndInstant)) {
      fail(value.written() + " is outside the years 0000 to 9999");
    }
    return result;
  }

  bool scalar(const Scalar& value) {
    const Slot slot = nextSlot();
    switch (slot) {
      case Slot::status:
        document_.status = integer(slot, value);
        break;
      case Slot::bundleIdentifier:
        document_.bundleIdentifier = optionalText(slot, value);
        break;
      case Slot::executablePath:
        document_.executablePath = optionalText(slot, value);
        executablePathGiven_ = true;
        break;
      case Slot::argument:
        document_.arguments.push_back(text(slot, value));
        break;
      case Slot::request:
      case Slot::calendars:
        if (value.type != json::value_t::null) wrongType(slot, value);
        if (slot == Slot::request) {
          document_.request.reset();
        } else {
          document_.calendars.reset();
        }
        break;
      case Slot::requestGranted:
        request_.granted = flag(slot, value);
        break;
      case Slot::requestError:
        request_.error = optionalText(slot, value);
        break;
      case Slot::requestStatusAfter:
        request_.statusAfter = integer(slot, value);
        statusAfterGiven_ = true;
        break;
      case Slot::requestDelayMs:
        request_.delayMs = number(slot, value);
        if (request_.delayMs < 0) fail(value.written() + " is negative");
        break;
      case Slot::requestStatusLagMs:
        request_.statusLagMs = number(slot, value);
        if (request_.statusLagMs < 0) fail(value.written() + " is negative");
        break;
      case Slot::requestThread: {
        const std::string name = text(slot, value);
        if (name != "other" && name != "caller") {
          fail(json(name).dump() + R"( is neither "other" nor "caller")");
        }
        request_.onCallerThread = name == "caller";
        break;
      }
      case Slot::calendarId:
        calendar_.identifier = optionalText(slot, value);
        break;
      case Slot::calendarTitle:
        calendar_.title = optionalText(slot, value);
        break;
      case Slot::calendarSource:
        calendar_.sourceTitle = optionalText(slot, value);
        break;
      case Slot::calendarColor:
        if (value.type != json::value_t::null) wrongType(slot, value);
        calendar_.colorComponents.reset();
        break;
      case Slot::colorComponent:
        calendar_.colorComponents->push_back(number(slot, value));
        break;
      case Slot::eventId:
        event_.texts.identifier = optionalText(slot, value);
        break;
      case Slot::eventCalendar:
        event_.calendar = text(slot, value);
        break;
      case Slot::eventTitle:
        event_.texts.title = optionalText(slot, value);
        break;
      case Slot::eventLocation:
        event_.texts.location = optionalText(slot, value);
        break;
      case Slot::eventStart:
        event_.start = instant(slot, value);
        break;
      case Slot::eventEnd:
        event_.end = instant(slot, value);
        break;
      case Slot::eventAllDay:
        event_.texts.isAllDay = flag(slot, value);
        break;
      case Slot::ignored:
        break;
      default:  // a container was expected
        wrongType(slot, value);
    }
    return valueDone();
  }

  void addEvent() {
    const auto missing = [&](std::string_view key) {
      fail(path(frames_.size() - 1) + "." + std::string(key), "missing");
    };
    if (!event_.calendar) missing("calendar");
    if (!event_.start) missing("start");
    if (!event_.end) missing("end");
    const auto [key, added] =
        document_.calendarKeys.try_emplace(*event_.calendar, document_.eventCalendarIds.size());
    if (added) document_.eventCalendarIds.push_back(std::move(*event_.calendar));
    document_.eventSpans.push_back({*event_.start, *event_.end, key->second});
    document_.eventTexts.push_back(std::move(event_.texts));
  }

  Document document_;
  std::vector<Frame> frames_;
  AccessAnswer request_;
  bool statusAfterGiven_ = false;
  platform::Calendar calendar_;
  PendingEvent event_;
  bool executablePathGiven_ = false;
  bool argumentsGiven_ = false;
  std::string writtenNumber_;
};

}  // namespace

Document parseDocument(std::string_view text) {
  // The parser takes a NUL byte for the end of the text and would accept
  // whatever garbage follows it.
  if (const auto nul = text.find('\0'); nul != std::string_view::npos) {
    throw DocumentFormatError("not JSON: a NUL byte at offset " + std::to_string(nul));
  }
  DocumentBuilder builder;
  json::sax_parse(text, &builder);
  return builder.finish();
}

Document unsetDocument() {
  Document document;
  document.status = 1;
  document.executablePath = realExecutablePath();
  document.arguments = realProcessArguments();
  return document;
}

}  // namespace vantrel::standin
