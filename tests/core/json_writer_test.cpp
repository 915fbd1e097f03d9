#include "json_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "bridge_failure.h"

namespace vantrel {
namespace {

const std::string kCalendarId = "A1B2C3D4-0000-4000-8000-000000000001";

BridgeEvent planning(std::optional<std::string_view> location) {
  return BridgeEvent("E5F6A7B8-0000-4000-8000-000000000002::1772442000000", kCalendarId,
                     "Planning", "2026-03-02T09:00:00.000Z", "2026-03-02T10:00:00.000Z",
                     false, location);
}

BridgeSnapshot exampleSnapshot() {
  return BridgeSnapshot({BridgeCalendar(kCalendarId, "Work", "Local", "#1BADF8")},
                        {planning("Room 4")});
}

TEST(JsonWriterDocuments, WritesExactBytes) {
  const std::string exampleEvent =
      R"({"calendarId":"A1B2C3D4-0000-4000-8000-000000000001","endIso":"2026-03-02T10:00:00.000Z",)"
      R"("id":"E5F6A7B8-0000-4000-8000-000000000002::1772442000000","isAllDay":false,)";
  const std::string eventEnd = R"("startIso":"2026-03-02T09:00:00.000Z","title":"Planning"})";
  struct Case {
    const char* name;
    BridgeSnapshot snapshot;
    std::string expected;
  };
  const Case cases[] = {
      {"example", exampleSnapshot(),
       R"({"calendars":[{"color":"#1BADF8","id":"A1B2C3D4-0000-4000-8000-000000000001",)"
       R"("name":"Work","sourceName":"Local"}],"events":[)" +
           exampleEvent + R"("location":"Room 4",)" + eventEnd + "]}"},
      {"empty", BridgeSnapshot({}, {}), R"({"calendars":[],"events":[]})"},
      {"absent location", BridgeSnapshot({}, {planning(std::nullopt)}),
       R"({"calendars":[],"events":[)" + exampleEvent + eventEnd + "]}"},
      {"empty location", BridgeSnapshot({}, {planning("")}),
       R"({"calendars":[],"events":[)" + exampleEvent + R"("location":"",)" + eventEnd + "]}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(std::string(encodeSnapshot(c.snapshot).get()), c.expected);
  }
}

TEST(JsonWriterDocuments, WritesDiagnostics) {
  EXPECT_EQ(encodeDiagnostics(BridgeDiagnostics("full-access", true, "com.tavimo.app",
                                                "/Applications/Tavimo.app/Contents/MacOS/Tavimo")),
            R"({"bundleId":"com.tavimo.app","canRead":true,)"
            R"("executablePath":"\/Applications\/Tavimo.app\/Contents\/MacOS\/Tavimo",)"
            R"("status":"full-access"})");
  EXPECT_EQ(encodeDiagnostics(BridgeDiagnostics("denied", false, "unknown", "unknown")),
            R"({"bundleId":"unknown","canRead":false,"executablePath":"unknown","status":"denied"})");
}

std::string encodedName(std::string_view name) {
  const std::string json =
      encodeSnapshot(BridgeSnapshot({BridgeCalendar("i", std::string(name), "s", "c")}, {})).get();
  const std::string head = R"({"calendars":[{"color":"c","id":"i","name":")";
  const std::string tail = R"(","sourceName":"s"}],"events":[]})";
  EXPECT_EQ(json.substr(0, head.size()), head);
  EXPECT_GE(json.size(), head.size() + tail.size());
  EXPECT_EQ(json.substr(json.size() - tail.size()), tail);
  return json.substr(head.size(), json.size() - head.size() - tail.size());
}

TEST(JsonWriterEscaping, EscapesOnlyWhatJsonRequiresPlusSlash) {
  const char* const controls[0x20] = {
      "\\u0000", "\\u0001", "\\u0002", "\\u0003", "\\u0004", "\\u0005", "\\u0006", "\\u0007",
      "\\b",     "\\t",     "\\n",     "\\u000b", "\\f",     "\\r",     "\\u000e", "\\u000f",
      "\\u0010", "\\u0011", "\\u0012", "\\u0013", "\\u0014", "\\u0015", "\\u0016", "\\u0017",
      "\\u0018", "\\u0019", "\\u001a", "\\u001b", "\\u001c", "\\u001d", "\\u001e", "\\u001f"};
  std::string allControls, allEscaped;
  for (int c = 0; c < 0x20; ++c) {
    const std::string text(1, static_cast<char>(c));
    EXPECT_EQ(encodedName(text), controls[c]) << "byte " << c;
    allControls += text;
    allEscaped += controls[c];
  }
  EXPECT_EQ(encodedName(allControls), allEscaped);

  const std::pair<std::string, std::string> cases[] = {
      {"say \"hi\"", "say \\\"hi\\\""},
      {"C:\\dir", "C:\\\\dir"},
      {"a/b//", "a\\/b\\/\\/"},
      {"\\/", "\\\\\\/"},
      {"x\x7Fy", "x\x7Fy"},
      {std::string("a\0b", 3), "a\\u0000b"},
      {"Работа · 日本語", "Работа · 日本語"},
      {"Party 🎉😀", "Party 🎉😀"},
      // Edges of each UTF-8 length, just inside the valid ranges.
      {"\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF",
       "\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF"},
      {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
      // Long clean runs with an escape on either side of an 8-byte boundary.
      {"0123456\"89abcdef/", "0123456\\\"89abcdef\\/"},
      {"01234567\n9abcdefgh", "01234567\\n9abcdefgh"},
  };
  for (const auto& [text, escaped] : cases) EXPECT_EQ(encodedName(text), escaped) << text;

  // Two escapes at every pair of positions: the runs before, between and after
  // them copied whole, whether in blocks, words or bytes.
  for (std::size_t length = 2; length <= 40; ++length) {
    for (std::size_t first = 0; first < length; ++first) {
      for (std::size_t second = first + 1; second < length; ++second) {
        std::string text(length, 'a');
        text[first] = '/';
        text[second] = '\x01';
        const std::string expected = text.substr(0, first) + "\\/" +
                                     text.substr(first + 1, second - first - 1) + "\\u0001" +
                                     text.substr(second + 1);
        ASSERT_EQ(encodedName(text), expected) << first << " " << second;
      }
    }
  }
}

std::optional<BridgeFailure> failureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (BridgeFailure failure) {
    return failure;
  }
  return std::nullopt;
}

// Puts `text` into the one text slot `slot` of a snapshot (0-9) or of a
// diagnostics record (10-12), and encodes it.
void encodeWithTextIn(int slot, const std::string& text) {
  auto at = [&](int i) { return slot == i ? text : std::string("ok"); };
  if (slot >= 10) {
    encodeDiagnostics(BridgeDiagnostics(at(10), true, at(11), at(12)));
    return;
  }
  const BridgeSnapshot snapshot(
      {BridgeCalendar(at(0), at(1), at(2), at(3))},
      {BridgeEvent(at(4), at(5), at(6), at(7), at(8), true, at(9))});
  encodeSnapshot(snapshot);
}

TEST(JsonWriterEscaping, RejectsInvalidUtf8InEveryText) {
  const char* const invalid[] = {
      "\x80",              // lone continuation byte
      "\xBF",              // lone continuation byte
      "\xC0\xAF",          // overlong '/'
      "\xC1\xBF",          // overlong two-byte form
      "\xE0\x80\xAF",      // overlong three-byte form
      "\xF0\x80\x80\xAF",  // overlong four-byte form
      "\xED\xA0\x80",      // surrogate U+D800
      "\xED\xBF\xBF",      // surrogate U+DFFF
      "\xF4\x90\x80\x80",  // U+110000
      "\xF5\x80\x80\x80",  // lead byte past U+10FFFF
      "\xFF",
      "\xE2\x28\xA1",      // second byte not a continuation
      "\xE2\x82\x28",      // third byte not a continuation
      "\xE2\x82",          // truncated at the end
      "\xF0\x9F\x98",      // truncated at the end
      "\xC3",              // truncated at the end
  };
  for (const char* bytes : invalid) {
    for (const std::string& text : {std::string(bytes), "a clean run first " + std::string(bytes)}) {
      for (int slot = 0; slot < 13; ++slot) {
        EXPECT_EQ(failureOf([&] { encodeWithTextIn(slot, text); }),
                  BridgeFailure::invalidArguments)
            << "slot " << slot << " text " << ::testing::PrintToString(text);
      }
    }
  }
}

void appendUtf8(std::string& text, std::uint32_t c) {
  auto put = [&](std::uint32_t byte) { text += static_cast<char>(byte); };
  if (c < 0x80) {
    put(c);
  } else if (c < 0x800) {
    put(0xC0 | c >> 6), put(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    put(0xE0 | c >> 12), put(0x80 | (c >> 6 & 0x3F)), put(0x80 | (c & 0x3F));
  } else {
    put(0xF0 | c >> 18), put(0x80 | (c >> 12 & 0x3F)), put(0x80 | (c >> 6 & 0x3F)),
        put(0x80 | (c & 0x3F));
  }
}

// Raw mt19937 output only: the standard distributions differ between
// libraries, and the test should see the same texts everywhere.
class RandomRecords {
 public:
  std::uint32_t draw(std::uint32_t bound) { return engine_() % bound; }

  std::string text() {
    std::string text;
    for (auto length = draw(24); length > 0; --length) appendUtf8(text, codePoint());
    return text;
  }

 private:
  std::uint32_t codePoint() {
    static constexpr char kSpecials[] = "\"\\/\b\f\n\r\t\x7F";
    switch (draw(8)) {
      case 0: return static_cast<unsigned char>(kSpecials[draw(sizeof kSpecials - 1)]);
      case 1: return draw(0x20);
      case 2: return 0x80 + draw(0x800 - 0x80);
      case 3: {
        const std::uint32_t c = 0x800 + draw(0x10000 - 0x800);
        return c >= 0xD800 && c <= 0xDFFF ? c + 0x800 : c;
      }
      case 4: return 0x10000 + draw(0x110000 - 0x10000);
      default: return 0x20 + draw(0x60);
    }
  }

  std::mt19937 engine_{20260302};
};

// Every '/' inside a string must be written as "\/"; no raw control byte.
void expectSlashesAndControlsEscaped(const std::string& json) {
  for (std::size_t i = 0; i < json.size(); ++i) {
    ASSERT_NE(json[i], '/') << "raw slash at " << i;
    ASSERT_GE(static_cast<unsigned char>(json[i]), 0x20) << "raw control at " << i;
    if (json[i] == '\\') ++i;
  }
}

TEST(JsonWriterProperty, OutputParsesBack) {
  RandomRecords random;
  for (int round = 0; round < 300; ++round) {
    std::vector<BridgeCalendar> calendars;
    for (auto n = random.draw(4); n > 0; --n) {
      calendars.emplace_back(random.text(), random.text(), random.text(), random.text());
    }
    std::vector<BridgeEvent> events;
    for (auto n = random.draw(6); n > 0; --n) {
      const std::string id = random.text(), calendarId = random.text(), title = random.text(),
                        start = random.text(), end = random.text();
      const bool allDay = random.draw(2) == 1;
      std::optional<std::string> location;
      if (random.draw(3) != 0) location = random.text();
      events.emplace_back(id, calendarId, title, start, end, allDay, location);
    }
    const BridgeSnapshot snapshot(calendars, events);

    const std::string json = encodeSnapshot(snapshot).get();
    expectSlashesAndControlsEscaped(json);

    const auto parsed = nlohmann::json::parse(json);
    ASSERT_EQ(parsed.size(), 2u);
    ASSERT_EQ(parsed["calendars"].size(), calendars.size());
    for (std::size_t i = 0; i < calendars.size(); ++i) {
      const auto& object = parsed["calendars"][i];
      EXPECT_EQ(object.size(), 4u);
      EXPECT_EQ(object["id"], calendars[i].id());
      EXPECT_EQ(object["name"], calendars[i].name());
      EXPECT_EQ(object["sourceName"], calendars[i].sourceName());
      EXPECT_EQ(object["color"], calendars[i].color());
    }
    ASSERT_EQ(parsed["events"].size(), events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
      const auto& object = parsed["events"][i];
      const BridgeEvent& event = events[i];
      EXPECT_EQ(object.size(), event.location() ? 7u : 6u);
      EXPECT_EQ(object["id"], event.id());
      EXPECT_EQ(object["calendarId"], event.calendarId());
      EXPECT_EQ(object["title"], event.title());
      EXPECT_EQ(object["startIso"], event.startIso());
      EXPECT_EQ(object["endIso"], event.endIso());
      EXPECT_EQ(object["isAllDay"], event.isAllDay());
      EXPECT_EQ(object.contains("location"), event.location().has_value());
      if (event.location()) {
        EXPECT_EQ(object["location"], *event.location());
      }
    }
  }
}

}  // namespace
}  // namespace vantrel
