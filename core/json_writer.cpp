#include "json_writer.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "bridge_failure.h"

namespace vantrel {
namespace {

// For each byte: the letter after the backslash of its escape, 'u' for a
// \u00XX escape, 0 when the byte is written as it is. Only the five usual
// control characters get short escapes; the others use lower-case hex.
constexpr std::array<char, 256> kEscapeLetter = [] {
  std::array<char, 256> table{};
  for (int c = 0; c < 0x20; ++c) table[c] = 'u';
  table['\b'] = 'b';
  table['\f'] = 'f';
  table['\n'] = 'n';
  table['\r'] = 'r';
  table['\t'] = 't';
  table['"'] = '"';
  table['\\'] = '\\';
  table['/'] = '/';
  return table;
}();

// Bytes an escape adds to the text's own length, or kMultibyte for the lead
// (or stray continuation) byte of a non-ASCII sequence, which needs checking.
constexpr std::uint8_t kMultibyte = 0xFF;
constexpr std::array<std::uint8_t, 256> kExtraBytes = [] {
  std::array<std::uint8_t, 256> table{};
  for (int c = 0; c < 256; ++c) {
    if (c >= 0x80) {
      table[c] = kMultibyte;
    } else if (kEscapeLetter[c] == 'u') {
      table[c] = 5;
    } else if (kEscapeLetter[c] != 0) {
      table[c] = 1;
    }
  }
  return table;
}();

constexpr char kHexDigits[] = "0123456789abcdef";

// Eight bytes at a time: most texts (identifiers, ISO dates) have nothing to
// escape, and these tests are exact, not just likely.
constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

std::uint64_t loadWord(const unsigned char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

constexpr std::uint64_t hasZeroByte(std::uint64_t word) {
  return (word - kOnes) & ~word & kHighBits;
}

constexpr bool wordNeedsEscaping(std::uint64_t word) {
  const std::uint64_t controls = (word - kOnes * 0x20) & ~word & kHighBits;
  return (controls | hasZeroByte(word ^ (kOnes * '"')) |
          hasZeroByte(word ^ (kOnes * '\\')) |
          hasZeroByte(word ^ (kOnes * '/'))) != 0;
}

[[noreturn]] void rejectText() { throw BridgeFailure::invalidArguments; }

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Checks the UTF-8 sequence that starts at the non-ASCII byte `p` and returns
// its end. Overlong forms, surrogates and code points past U+10FFFF are
// refused through the allowed range of the second byte.
const unsigned char* skipSequence(const unsigned char* p, const unsigned char* end) {
  const unsigned char lead = *p;
  std::size_t length = 0;
  unsigned char secondMin = 0x80;
  unsigned char secondMax = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) secondMin = 0xA0;
    if (lead == 0xED) secondMax = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) secondMin = 0x90;
    if (lead == 0xF4) secondMax = 0x8F;
  } else {
    rejectText();
  }
  if (static_cast<std::size_t>(end - p) < length) rejectText();
  if (p[1] < secondMin || p[1] > secondMax) rejectText();
  for (std::size_t i = 2; i < length; ++i) {
    if (!isContinuation(p[i])) rejectText();
  }
  return p + length;
}

std::size_t quotedSize(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  std::size_t size = text.size() + 2;
  while (p != end) {
    if (end - p >= 8) {
      const std::uint64_t word = loadWord(p);
      if ((word & kHighBits) == 0 && !wordNeedsEscaping(word)) {
        p += 8;
        continue;
      }
    }
    const std::uint8_t extra = kExtraBytes[*p];
    if (extra == kMultibyte) {
      p = skipSequence(p, end);
    } else {
      size += extra;
      ++p;
    }
  }
  return size;
}

char* writeQuoted(std::string_view text, char* out) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  *out++ = '"';
  while (p != end) {
    const unsigned char* run = p;
    while (end - p >= 8 && !wordNeedsEscaping(loadWord(p))) p += 8;
    while (p != end && kEscapeLetter[*p] == 0) ++p;
    if (p != run) {
      std::memcpy(out, run, static_cast<std::size_t>(p - run));
      out += p - run;
    }
    if (p == end) break;
    const char letter = kEscapeLetter[*p];
    *out++ = '\\';
    *out++ = letter;
    if (letter == 'u') {
      *out++ = '0';
      *out++ = '0';
      *out++ = kHexDigits[*p >> 4];
      *out++ = kHexDigits[*p & 0xF];
    }
    ++p;
  }
  *out++ = '"';
  return out;
}

char* writeRaw(std::string_view literal, char* out) {
  std::memcpy(out, literal.data(), literal.size());
  return out + literal.size();
}

constexpr std::size_t boolSize(bool value) { return value ? 4 : 5; }

char* writeBool(bool value, char* out) {
  return writeRaw(value ? "true" : "false", out);
}

constexpr std::string_view kSnapshotOpen = "{\"calendars\":[";
constexpr std::string_view kSnapshotMiddle = "],\"events\":[";
constexpr std::string_view kSnapshotClose = "]}";

constexpr std::string_view kColorKey = "{\"color\":";
constexpr std::string_view kCalendarIdKey = ",\"id\":";
constexpr std::string_view kNameKey = ",\"name\":";
constexpr std::string_view kSourceNameKey = ",\"sourceName\":";
constexpr std::size_t kCalendarFixed = kColorKey.size() + kCalendarIdKey.size() +
                                       kNameKey.size() + kSourceNameKey.size() + 1;

constexpr std::string_view kCalendarIdRefKey = "{\"calendarId\":";
constexpr std::string_view kEndIsoKey = ",\"endIso\":";
constexpr std::string_view kEventIdKey = ",\"id\":";
constexpr std::string_view kIsAllDayKey = ",\"isAllDay\":";
constexpr std::string_view kLocationKey = ",\"location\":";
constexpr std::string_view kStartIsoKey = ",\"startIso\":";
constexpr std::string_view kTitleKey = ",\"title\":";
constexpr std::size_t kEventFixed = kCalendarIdRefKey.size() + kEndIsoKey.size() +
                                    kEventIdKey.size() + kIsAllDayKey.size() +
                                    kStartIsoKey.size() + kTitleKey.size() + 1;

constexpr std::string_view kBundleIdKey = "{\"bundleId\":";
constexpr std::string_view kCanReadKey = ",\"canRead\":";
constexpr std::string_view kExecutablePathKey = ",\"executablePath\":";
constexpr std::string_view kStatusKey = ",\"status\":";
constexpr std::size_t kDiagnosticsFixed = kBundleIdKey.size() + kCanReadKey.size() +
                                          kExecutablePathKey.size() +
                                          kStatusKey.size() + 1;

std::size_t calendarSize(const BridgeCalendar& calendar) {
  return kCalendarFixed + quotedSize(calendar.color()) + quotedSize(calendar.id()) +
         quotedSize(calendar.name()) + quotedSize(calendar.sourceName());
}

char* writeCalendar(const BridgeCalendar& calendar, char* out) {
  out = writeQuoted(calendar.color(), writeRaw(kColorKey, out));
  out = writeQuoted(calendar.id(), writeRaw(kCalendarIdKey, out));
  out = writeQuoted(calendar.name(), writeRaw(kNameKey, out));
  out = writeQuoted(calendar.sourceName(), writeRaw(kSourceNameKey, out));
  *out++ = '}';
  return out;
}

std::size_t eventSize(const BridgeEvent& event) {
  std::size_t size = kEventFixed + quotedSize(event.calendarId()) +
                     quotedSize(event.endIso()) + quotedSize(event.id()) +
                     boolSize(event.isAllDay()) + quotedSize(event.startIso()) +
                     quotedSize(event.title());
  if (const auto location = event.location()) {
    size += kLocationKey.size() + quotedSize(*location);
  }
  return size;
}

char* writeEvent(const BridgeEvent& event, char* out) {
  out = writeQuoted(event.calendarId(), writeRaw(kCalendarIdRefKey, out));
  out = writeQuoted(event.endIso(), writeRaw(kEndIsoKey, out));
  out = writeQuoted(event.id(), writeRaw(kEventIdKey, out));
  out = writeBool(event.isAllDay(), writeRaw(kIsAllDayKey, out));
  if (const auto location = event.location()) {
    out = writeQuoted(*location, writeRaw(kLocationKey, out));
  }
  out = writeQuoted(event.startIso(), writeRaw(kStartIsoKey, out));
  out = writeQuoted(event.title(), writeRaw(kTitleKey, out));
  *out++ = '}';
  return out;
}

template <typename Record, typename SizeOf>
std::size_t listSize(const std::vector<Record>& records, SizeOf sizeOf) {
  std::size_t size = records.empty() ? 0 : records.size() - 1;  // commas
  for (const Record& record : records) size += sizeOf(record);
  return size;
}

template <typename Record, typename Write>
char* writeList(const std::vector<Record>& records, Write write, char* out) {
  bool first = true;
  for (const Record& record : records) {
    if (!first) *out++ = ',';
    first = false;
    out = write(record, out);
  }
  return out;
}

std::size_t diagnosticsSize(const BridgeDiagnostics& diagnostics) {
  return kDiagnosticsFixed + quotedSize(diagnostics.bundleId()) +
         boolSize(diagnostics.canRead()) + quotedSize(diagnostics.executablePath()) +
         quotedSize(diagnostics.status());
}

char* writeDiagnostics(const BridgeDiagnostics& diagnostics, char* out) {
  out = writeQuoted(diagnostics.bundleId(), writeRaw(kBundleIdKey, out));
  out = writeBool(diagnostics.canRead(), writeRaw(kCanReadKey, out));
  out = writeQuoted(diagnostics.executablePath(), writeRaw(kExecutablePathKey, out));
  out = writeQuoted(diagnostics.status(), writeRaw(kStatusKey, out));
  *out++ = '}';
  return out;
}

}  // namespace

std::size_t snapshotJsonSize(const BridgeSnapshot& snapshot) {
  return kSnapshotOpen.size() + listSize(snapshot.calendars(), calendarSize) +
         kSnapshotMiddle.size() + listSize(snapshot.events(), eventSize) +
         kSnapshotClose.size();
}

char* writeSnapshotJson(const BridgeSnapshot& snapshot, char* out) {
  out = writeRaw(kSnapshotOpen, out);
  out = writeList(snapshot.calendars(), writeCalendar, out);
  out = writeRaw(kSnapshotMiddle, out);
  out = writeList(snapshot.events(), writeEvent, out);
  return writeRaw(kSnapshotClose, out);
}

std::string encodeSnapshot(const BridgeSnapshot& snapshot) {
  std::string json(snapshotJsonSize(snapshot), '\0');
  writeSnapshotJson(snapshot, json.data());
  return json;
}

char* encodeSnapshotToMallocText(const BridgeSnapshot& snapshot) {
  const std::size_t size = snapshotJsonSize(snapshot);
  auto* text = static_cast<char*>(std::malloc(size + 1));
  if (text == nullptr) return nullptr;
  *writeSnapshotJson(snapshot, text) = '\0';
  return text;
}

std::string encodeDiagnostics(const BridgeDiagnostics& diagnostics) {
  std::string json(diagnosticsSize(diagnostics), '\0');
  writeDiagnostics(diagnostics, json.data());
  return json;
}

}  // namespace vantrel
