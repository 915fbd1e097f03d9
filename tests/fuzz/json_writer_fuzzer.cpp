// The JSON writer on records of arbitrary texts. When every text is UTF-8, both
// ways of feeding the one writer (encodeSnapshot of records, and events streamed
// in without knowing which texts are plain) give exactly the document that the rules spell out,
// written here the obvious way, and a real JSON parser reads the same records
// back from it; when any text is not UTF-8, every way refuses it with
// invalidArguments. The diagnostics document likewise.
#include <cstdlib>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bridge_failure.h"
#include "bridge_records.h"
#include "fuzz_support.h"
#include "json_writer.h"

namespace {

using nlohmann::json;
using namespace vantrel;
using vantrel::fuzz::check;

// Well-formed UTF-8 by the definition, decoded rather than table-driven.
bool isUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 1;
    char32_t point = lead;
    if (lead >= 0x80) {
      if ((lead & 0xE0) == 0xC0) {
        length = 2;
        point = lead & 0x1F;
      } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        point = lead & 0x0F;
      } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        point = lead & 0x07;
      } else {
        return false;
      }
      if (text.size() - i < length) return false;
      for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return false;
        point = (point << 6) | (next & 0x3F);
      }
      constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
      if (point < kSmallest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
        return false;
      }
    }
    i += length;
  }
  return true;
}

// The escape of the characters that have a short one, else nullptr.
const char* shortEscape(char c) {
  switch (c) {
    case '"':
      return "\\\"";
    case '\\':
      return "\\\\";
    case '/':
      return "\\/";
    case '\b':
      return "\\b";
    case '\f':
      return "\\f";
    case '\n':
      return "\\n";
    case '\r':
      return "\\r";
    case '\t':
      return "\\t";
    default:
      return nullptr;
  }
}

// A JSON string by the rules: the short escapes, \u00xx for the other control
// characters, every other byte as it is.
std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (const char* escape = shortEscape(c)) {
      out += escape;
    } else if (byte < 0x20) {
      constexpr char kHex[] = "0123456789abcdef";
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string boolean(bool value) { return value ? "true" : "false"; }

std::string expectedCalendar(const BridgeCalendar& c) {
  return "{\"color\":" + jsonString(c.color()) + ",\"id\":" + jsonString(c.id()) +
         ",\"name\":" + jsonString(c.name()) + ",\"sourceName\":" + jsonString(c.sourceName()) + "}";
}

std::string expectedEvent(const BridgeEvent& e) {
  std::string out = "{\"calendarId\":" + jsonString(e.calendarId()) +
                    ",\"endIso\":" + jsonString(e.endIso()) + ",\"id\":" + jsonString(e.id()) +
                    ",\"isAllDay\":" + boolean(e.isAllDay());
  if (e.location()) out += ",\"location\":" + jsonString(*e.location());
  return out + ",\"startIso\":" + jsonString(e.startIso()) + ",\"title\":" + jsonString(e.title()) + "}";
}

std::string expectedSnapshot(const BridgeSnapshot& snapshot) {
  std::string out = "{\"calendars\":[";
  for (std::size_t i = 0; i < snapshot.calendars().size(); ++i) {
    out += (i ? "," : "") + expectedCalendar(snapshot.calendars()[i]);
  }
  out += "],\"events\":[";
  for (std::size_t i = 0; i < snapshot.events().size(); ++i) {
    out += (i ? "," : "") + expectedEvent(snapshot.events()[i]);
  }
  return out + "]}";
}

bool refusedAsInvalid(const std::function<void()>& write) {
  try {
    write();
  } catch (BridgeFailure failure) {
    return failure == BridgeFailure::invalidArguments;
  }
  return false;
}

std::string streamed(const BridgeSnapshot& snapshot) {
  SnapshotTextWriter writer(snapshot.calendars(), snapshot.events().size());
  for (const BridgeEvent& e : snapshot.events()) {
    writer.addEvent(EventFields{e.id(), e.calendarId(), e.title(), e.startIso(), e.endIso(),
                                e.isAllDay(), e.location()});
  }
  const std::unique_ptr<char, decltype(&std::free)> text(writer.finish(), &std::free);
  return text.get();
}

std::string encoded(const BridgeSnapshot& snapshot) { return encodeSnapshot(snapshot).get(); }

void checkReadBack(const std::string& document, const BridgeSnapshot& snapshot) {
  const json parsed = json::parse(document);  // throws, and so crashes, on invalid JSON
  check(parsed.size() == 2, "a snapshot has two keys");
  const json& calendars = parsed.at("calendars");
  const json& events = parsed.at("events");
  check(calendars.size() == snapshot.calendars().size(), "every calendar is read back");
  check(events.size() == snapshot.events().size(), "every event is read back");
  for (std::size_t i = 0; i < calendars.size(); ++i) {
    const BridgeCalendar& c = snapshot.calendars()[i];
    const json& read = calendars[i];
    check(read.size() == 4 && read.at("id") == c.id() && read.at("name") == c.name() &&
              read.at("sourceName") == c.sourceName() && read.at("color") == c.color(),
          "a calendar reads back as written");
  }
  for (std::size_t i = 0; i < events.size(); ++i) {
    const BridgeEvent& e = snapshot.events()[i];
    const json& read = events[i];
    check(read.size() == (e.location() ? 7U : 6U) && read.at("id") == e.id() &&
              read.at("calendarId") == e.calendarId() && read.at("title") == e.title() &&
              read.at("startIso") == e.startIso() && read.at("endIso") == e.endIso() &&
              read.at("isAllDay") == e.isAllDay() &&
              (!e.location() || read.at("location") == *e.location()),
          "an event reads back as written");
  }
}

void checkDiagnostics(vantrel::fuzz::FuzzInput& input) {
  const std::string status(input.sizedText());
  const std::string bundleId(input.sizedText());
  const std::string path(input.sizedText());
  const bool canRead = input.byte() & 1;
  const BridgeDiagnostics diagnostics(status, canRead, bundleId, path);
  if (!isUtf8(status) || !isUtf8(bundleId) || !isUtf8(path)) {
    check(refusedAsInvalid([&] { encodeDiagnostics(diagnostics); }),
          "diagnostics that are not UTF-8 are refused");
    return;
  }
  const std::string expected = "{\"bundleId\":" + jsonString(bundleId) + ",\"canRead\":" +
                               boolean(canRead) + ",\"executablePath\":" + jsonString(path) +
                               ",\"status\":" + jsonString(status) + "}";
  check(encodeDiagnostics(diagnostics) == expected, "diagnostics are written by the rules");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vantrel::fuzz::FuzzInput input(data, size);
  if (input.byte() & 0x80) {
    checkDiagnostics(input);
    return 0;
  }
  bool allUtf8 = true;
  auto text = [&] {
    const std::string_view taken = input.sizedText();
    allUtf8 = allUtf8 && isUtf8(taken);
    return taken;
  };
  std::vector<BridgeCalendar> calendars;
  for (int count = input.byte() % 4; count > 0; --count) {
    const std::string id(text()), name(text()), source(text()), color(text());
    calendars.emplace_back(id, name, source, color);
  }
  std::vector<BridgeEvent> events;
  for (int count = input.byte() % 6; count > 0; --count) {
    const std::string_view id = text(), calendarId = text(), title = text();
    const std::string_view startIso = text(), endIso = text();
    const std::uint8_t flags = input.byte();
    std::optional<std::string_view> location;
    if (flags & 2) location = text();
    events.emplace_back(id, calendarId, title, startIso, endIso, flags & 1, location);
  }
  const BridgeSnapshot snapshot(std::move(calendars), std::move(events));

  if (!allUtf8) {
    check(refusedAsInvalid([&] { encodeSnapshot(snapshot); }), "encodeSnapshot refuses non-UTF-8");
    check(refusedAsInvalid([&] { streamed(snapshot); }), "the streaming writer refuses non-UTF-8");
    return 0;
  }
  const std::string expected = expectedSnapshot(snapshot);
  // A NUL in a text is escaped, so the C text holds the whole document.
  check(encoded(snapshot) == expected, "encodeSnapshot writes by the rules");
  check(streamed(snapshot) == expected, "the streaming writer, told nothing of the texts, too");
  checkReadBack(expected, snapshot);
  return 0;
}
