// Where the parser is in a stand-in document, and the values it hands over,
// checked against what their place may hold. Every error names the key path
// ("events[3].start: ...").
#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform.h"
#include "standin_document.h"
#include "standin_document_slots.h"

namespace vantrel::standin {

// Throws DocumentFormatError("not JSON: <the parser's problem>").
[[noreturn]] void throwNotJson(std::string_view problem);

// One scalar as the parser hands it over; strings can be moved out.
struct Scalar {
  nlohmann::json::value_t type = nlohmann::json::value_t::null;
  bool boolean = false;
  std::int64_t integer = 0;
  std::uint64_t unsignedInteger = 0;
  double number = 0;
  std::string* text = nullptr;  // the string, or a number's text as written

  bool isNumber() const;
  double asDouble() const;
  // The value as it reads in the document.
  std::string written() const;
};

// The parser's scalar callbacks and its error (nlohmann's SAX interface), each
// scalar handed to Builder::scalar as one Scalar.
template <class Builder>
class ScalarCallbacks {
 public:
  using json = nlohmann::json;

  bool null() { return take({}); }
  bool boolean(bool value) { return take({.type = json::value_t::boolean, .boolean = value}); }
  bool number_integer(json::number_integer_t value) {
    return take({.type = json::value_t::number_integer, .integer = value});
  }
  bool number_unsigned(json::number_unsigned_t value) {
    return take({.type = json::value_t::number_unsigned, .unsignedInteger = value});
  }
  bool number_float(json::number_float_t value, const json::string_t& written) {
    writtenNumber_ = written;
    return take({.type = json::value_t::number_float, .number = value, .text = &writtenNumber_});
  }
  bool string(json::string_t& value) { return take({.type = json::value_t::string, .text = &value}); }
  bool binary(json::binary_t&) { return true; }  // never produced from JSON text

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) {
    // Drop nlohmann's "[json.exception.parse_error.101] " tag; keep the position.
    std::string_view what = error.what();
    if (const auto tagEnd = what.find("] "); tagEnd != std::string_view::npos) {
      what.remove_prefix(tagEnd + 2);
    }
    throwNotJson(what);
  }

 private:
  bool take(const Scalar& value) { return static_cast<Builder*>(this)->scalar(value); }

  std::string writtenNumber_;
};

class DocumentCursor {
 public:
  // The slot of the value that comes next.
  Slot nextSlot() const;
  bool enter(Container container);
  // Leaves the innermost object or array, which is one value of its parent.
  bool leave();
  // One more value of the innermost array read.
  bool valueDone();
  void key(const std::string& name);
  Container container() const { return frames_.back().container; }
  // The keys met that the format does not know, each with its path.
  Notices takeNotices() { return std::move(notices_); }

  // The path of the member `key` of the innermost object.
  std::string memberPath(std::string_view key) const;
  [[noreturn]] void fail(const std::string& problem) const;
  [[noreturn]] void wrongType(Slot slot, const std::string& found) const;
  [[noreturn]] void wrongType(Slot slot, const Scalar& value) const;

  std::int64_t integer(Slot slot, const Scalar& value) const;
  double number(Slot slot, const Scalar& value) const;
  double nonNegativeNumber(Slot slot, const Scalar& value) const;
  bool flag(Slot slot, const Scalar& value) const;
  std::string text(Slot slot, const Scalar& value) const;
  std::optional<std::string> optionalText(Slot slot, const Scalar& value) const;
  // An ISO-8601 text or a number of seconds, in the years 0000 to 9999.
  platform::Instant instant(Slot slot, const Scalar& value) const;
  // Only null may stand where a container (`slot`) is expected as a scalar.
  void null(Slot slot, const Scalar& value) const;

 private:
  struct Frame {
    Container container = Container::ignored;
    std::size_t index = 0;  // arrays: the element being read
    std::string key;        // objects: the member being read
    Slot memberSlot = Slot::ignored;
  };

  std::string path(std::size_t depth) const;

  std::vector<Frame> frames_;
  Notices notices_;
};

}  // namespace vantrel::standin
