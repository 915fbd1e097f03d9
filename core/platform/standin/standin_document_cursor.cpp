#include "standin_document_cursor.h"

#include "standin_document.h"
#include "standin_process.h"

namespace vantrel::standin {

void throwNotJson(std::string_view excerpt) {
  // The parser's excerpt of the text is raw bytes, which need not be UTF-8.
  throw DocumentFormatError("not JSON: " + validUtf8(excerpt));
}

Slot DocumentCursor::nextSlot() const {
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
    case Container::attendees:
      return Slot::attendee;
    case Container::ignored:
      return Slot::ignored;
    default:
      return frame.memberSlot;
  }
}

bool DocumentCursor::enter(Container container) {
  frames_.emplace_back().container = container;
  return true;
}

bool DocumentCursor::leave() {
  frames_.pop_back();
  return valueDone();
}

bool DocumentCursor::valueDone() {
  if (!frames_.empty() && isArray(frames_.back().container)) ++frames_.back().index;
  return true;
}

void DocumentCursor::key(const std::string& name) {
  Frame& frame = frames_.back();
  frame.key.assign(name);
  frame.memberSlot = memberSlot(frame.container, name);
  // What an unknown key holds is not looked at, so only the key itself is named.
  if (frame.memberSlot == Slot::ignored && frame.container != Container::ignored) {
    notices_.add([&] { return path(frames_.size()) + ": unknown key, ignored"; });
  }
}

std::string DocumentCursor::path(std::size_t depth) const {
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

std::string DocumentCursor::memberPath(std::string_view key) const {
  return path(frames_.size() - 1) + "." + std::string(key);
}

void DocumentCursor::fail(const std::string& problem) const {
  const std::string where = path(frames_.size());
  throw DocumentFormatError(where.empty() ? problem : where + ": " + problem);
}

void DocumentCursor::wrongType(Slot slot, const std::string& found) const {
  fail("expected " + std::string(expectation(slot)) + ", found " + found);
}

void DocumentCursor::wrongType(Slot slot, const Scalar& value) const {
  wrongType(slot, value.written());
}

}  // namespace vantrel::standin
