#include "json_writer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "bridge_failure.h"
#include "json_text.h"

namespace vantrel {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

using namespace json_text;

[[noreturn]] void rejectText() { throw BridgeFailure::invalidArguments; }

std::size_t quotedSize(std::string_view text, bool knownPlain = false) {
  if (knownPlain) return text.size() + 2;
  const std::size_t extra =
      escapeBytes(reinterpret_cast<const unsigned char*>(text.data()), text.size());
  if (extra == kNotUtf8) rejectText();
  return text.size() + 2 + extra;
}

// Whether writeQuoted checks the UTF-8 itself, or the text was measured (and
// so checked) by quotedSize already.
enum class Utf8 { check, checked };

// Writes `text` quoted and escaped: at most kMaxEscapedPerByte bytes per byte
// of text, plus the quotes.
constexpr std::size_t kMaxEscapedPerByte = 6;  // \u00XX

template <Utf8 utf8>
char* writeEscaped(std::string_view text, char* out) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  *out++ = '"';
  if (copyIfPlain(p, text.size(), out)) {
    out += text.size();
    *out++ = '"';
    return out;
  }
  const unsigned char* run = p;  // written as it is, from here to p
  while (p != end) {
    // Without escapes, and (unless checked before) without non-ASCII bytes.
    const auto clean = [](std::uint64_t word) {
      return utf8 == Utf8::checked ? !wordNeedsEscaping(word) : wordIsPlain(word);
    };
    while (end - p >= 8 && clean(loadWord(p))) p += 8;
    const unsigned char* const stop = end - p > 8 ? p + 8 : end;
    while (p < stop) {
      if (*p >= 0x80) {
        if (utf8 == Utf8::check) {
          p = endOfSequence(p, end);
          if (p == nullptr) rejectText();
        } else {
          ++p;
        }
      } else if (kEscapeLetter[*p] == 0) {
        ++p;
      } else {
        copyBytes(out, run, static_cast<std::size_t>(p - run));
        out += p - run;
        const char letter = kEscapeLetter[*p];
        *out++ = '\\';
        *out++ = letter;
        if (letter == 'u') {
          *out++ = '0';
          *out++ = '0';
          *out++ = kHexDigits[*p >> 4];
          *out++ = kHexDigits[*p & 0xF];
        }
        run = ++p;
      }
    }
  }
  copyBytes(out, run, static_cast<std::size_t>(p - run));
  out += p - run;
  *out++ = '"';
  return out;
}

// Texts known to need no escaping, most of a record's, are copied in line.
template <Utf8 utf8>
inline __attribute__((always_inline)) char* writeQuoted(std::string_view text, char* out,
                                                        bool knownPlain = false) {
  if (!knownPlain) return writeEscaped<utf8>(text, out);
  *out++ = '"';
  copyBytes(out, reinterpret_cast<const unsigned char*>(text.data()), text.size());
  out += text.size();
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
  out = writeQuoted<Utf8::checked>(calendar.color(), writeRaw(kColorKey, out));
  out = writeQuoted<Utf8::checked>(calendar.id(), writeRaw(kCalendarIdKey, out));
  out = writeQuoted<Utf8::checked>(calendar.name(), writeRaw(kNameKey, out));
  out = writeQuoted<Utf8::checked>(calendar.sourceName(), writeRaw(kSourceNameKey, out));
  *out++ = '}';
  return out;
}

EventFields fieldsOf(const BridgeEvent& event) {
  return {event.id(),     event.calendarId(), event.title(),    event.startIso(),
          event.endIso(), event.isAllDay(),   event.location(), event.plainTexts()};
}

std::size_t eventSize(const EventFields& event) {
  const auto plain = [&event](BridgeEvent::PlainText text) {
    return (event.plainTexts & text) != 0;
  };
  std::size_t size = kEventFixed + quotedSize(event.calendarId, plain(BridgeEvent::kPlainCalendarId)) +
                     quotedSize(event.endIso, plain(BridgeEvent::kPlainEndIso)) +
                     quotedSize(event.id, plain(BridgeEvent::kPlainId)) +
                     boolSize(event.isAllDay) +
                     quotedSize(event.startIso, plain(BridgeEvent::kPlainStartIso)) +
                     quotedSize(event.title, plain(BridgeEvent::kPlainTitle));
  if (event.location) {
    size += kLocationKey.size() + quotedSize(*event.location, plain(BridgeEvent::kPlainLocation));
  }
  return size;
}

template <Utf8 utf8>
char* writeEvent(const EventFields& event, char* out) {
  const auto plain = [&event](BridgeEvent::PlainText text) {
    return (event.plainTexts & text) != 0;
  };
  out = writeQuoted<utf8>(event.calendarId, writeRaw(kCalendarIdRefKey, out),
                          plain(BridgeEvent::kPlainCalendarId));
  out = writeQuoted<utf8>(event.endIso, writeRaw(kEndIsoKey, out), plain(BridgeEvent::kPlainEndIso));
  out = writeQuoted<utf8>(event.id, writeRaw(kEventIdKey, out), plain(BridgeEvent::kPlainId));
  out = writeBool(event.isAllDay, writeRaw(kIsAllDayKey, out));
  if (event.location) {
    out = writeQuoted<utf8>(*event.location, writeRaw(kLocationKey, out),
                            plain(BridgeEvent::kPlainLocation));
  }
  out = writeQuoted<utf8>(event.startIso, writeRaw(kStartIsoKey, out),
                          plain(BridgeEvent::kPlainStartIso));
  out = writeQuoted<utf8>(event.title, writeRaw(kTitleKey, out), plain(BridgeEvent::kPlainTitle));
  *out++ = '}';
  return out;
}

// From the lengths alone when the record knows what escaping adds, so that
// sizing does not read the texts.
std::size_t eventRecordSize(const BridgeEvent& event) {
  const auto escapeBytes = event.jsonEscapeBytes();
  if (!escapeBytes) return eventSize(fieldsOf(event));
  const auto location = event.location();
  std::size_t size = kEventFixed + event.calendarId().size() + event.endIso().size() +
                     event.id().size() + boolSize(event.isAllDay()) +
                     event.startIso().size() + event.title().size() + 2 * 5 + *escapeBytes;
  if (location) size += kLocationKey.size() + location->size() + 2;
  return size;
}

char* writeEventRecord(const BridgeEvent& event, char* out) {
  return writeEvent<Utf8::checked>(fieldsOf(event), out);
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
  out = writeQuoted<Utf8::checked>(diagnostics.bundleId(), writeRaw(kBundleIdKey, out));
  out = writeBool(diagnostics.canRead(), writeRaw(kCanReadKey, out));
  out = writeQuoted<Utf8::checked>(diagnostics.executablePath(), writeRaw(kExecutablePathKey, out));
  out = writeQuoted<Utf8::checked>(diagnostics.status(), writeRaw(kStatusKey, out));
  *out++ = '}';
  return out;
}

// The most bytes a record can take: every byte of every text escaped.
std::size_t escapedBound(std::size_t textBytes) {
  if (textBytes > (SIZE_MAX - 4096) / kMaxEscapedPerByte) throw std::bad_alloc();
  return textBytes * kMaxEscapedPerByte;
}

std::size_t eventSizeBound(const EventFields& event) {
  const std::size_t texts = event.calendarId.size() + event.endIso.size() + event.id.size() +
                            event.startIso.size() + event.title.size() +
                            (event.location ? event.location->size() : 0);
  return kEventFixed + kLocationKey.size() + boolSize(false) + 2 * 6 + escapedBound(texts);
}

std::size_t calendarSizeBound(const BridgeCalendar& calendar) {
  return kCalendarFixed + 2 * 4 +
         escapedBound(calendar.color().size() + calendar.id().size() + calendar.name().size() +
                      calendar.sourceName().size());
}

// Builds a std::string of known size without filling it with zeros first
// (that would write the whole document twice): records are written into a
// small buffer that stays in the cache and appended from there. A record too
// large for the buffer is written in place after appending room for it.
class ChunkedText {
 public:
  ChunkedText(std::string& text, std::size_t size) : text_(text) { text_.reserve(size); }
  ChunkedText(const ChunkedText&) = delete;
  ChunkedText& operator=(const ChunkedText&) = delete;

  // Where to write a record of at most `bound` bytes and exactly
  // `exactSize()` bytes; `written(end)` says where it ended.
  template <typename ExactSize>
  char* room(std::size_t bound, ExactSize exactSize) {
    if (bound > sizeof chunk_ - used_) flush();
    if (bound <= sizeof chunk_) return chunk_ + used_;
    const std::size_t start = text_.size();
    text_.append(exactSize(), '\0');
    direct_ = true;
    return text_.data() + start;
  }
  void written(char* end) {
    if (direct_) {
      direct_ = false;
    } else {
      used_ = static_cast<std::size_t>(end - chunk_);
    }
  }
  void finish() { flush(); }

 private:
  void flush() {
    text_.append(chunk_, used_);
    used_ = 0;
  }

  std::string& text_;
  char chunk_[8192];
  std::size_t used_ = 0;
  bool direct_ = false;
};

template <typename Record, typename Bound, typename SizeOf, typename Write>
void appendList(ChunkedText& text, const std::vector<Record>& records, Bound bound,
                SizeOf sizeOf, Write write) {
  bool first = true;
  for (const Record& record : records) {
    const std::size_t comma = first ? 0 : 1;
    char* out = text.room(comma + bound(record), [&] { return comma + sizeOf(record); });
    if (!first) *out++ = ',';
    first = false;
    text.written(write(record, out));
  }
}

void appendRaw(ChunkedText& text, std::string_view literal) {
  char* out = text.room(literal.size(), [&] { return literal.size(); });
  text.written(writeRaw(literal, out));
}

}  // namespace

std::size_t snapshotJsonSize(const BridgeSnapshot& snapshot) {
  return kSnapshotOpen.size() + listSize(snapshot.calendars(), calendarSize) +
         kSnapshotMiddle.size() + listSize(snapshot.events(), eventRecordSize) +
         kSnapshotClose.size();
}

char* writeSnapshotJson(const BridgeSnapshot& snapshot, char* out) {
  out = writeRaw(kSnapshotOpen, out);
  out = writeList(snapshot.calendars(), writeCalendar, out);
  out = writeRaw(kSnapshotMiddle, out);
  out = writeList(snapshot.events(), writeEventRecord, out);
  return writeRaw(kSnapshotClose, out);
}

std::string encodeSnapshot(const BridgeSnapshot& snapshot) {
  std::string json;
  ChunkedText text(json, snapshotJsonSize(snapshot));
  appendRaw(text, kSnapshotOpen);
  appendList(text, snapshot.calendars(), calendarSizeBound, calendarSize, writeCalendar);
  appendRaw(text, kSnapshotMiddle);
  appendList(
      text, snapshot.events(),
      // Every record's exact size is known from its lengths (the size pass
      // above has checked them all), so it serves as the bound too.
      eventRecordSize, eventRecordSize,
      writeEventRecord);
  appendRaw(text, kSnapshotClose);
  text.finish();
  return json;
}

char* encodeSnapshotToMallocText(const BridgeSnapshot& snapshot) {
  const std::size_t size = snapshotJsonSize(snapshot);
  auto* text = static_cast<char*>(std::malloc(size + 1));
  if (text == nullptr) return nullptr;
  *writeSnapshotJson(snapshot, text) = '\0';
  return text;
}

// A guess at one event's share of the document, generous for typical events
// (about 260 bytes with identifiers of 36 characters). Room that is never
// written costs nothing but address space in a large block, and running short
// only costs a growth step.
constexpr std::size_t kExpectedEventSize = 320;

SnapshotTextWriter::SnapshotTextWriter(const std::vector<BridgeCalendar>& calendars,
                                       std::size_t expectedEvents) {
  const std::size_t needed = listSize(calendars, calendarSize) + kSnapshotOpen.size() +
                             kSnapshotMiddle.size() + kSnapshotClose.size() + 1;
  const std::size_t estimate =
      needed + std::min(expectedEvents, (SIZE_MAX - needed) / kExpectedEventSize) *
                   kExpectedEventSize;
  char* out = nullptr;
  try {
    out = room(estimate);
  } catch (const std::bad_alloc&) {
    // Only a guess was refused: start small, and grow as the events come.
    out = room(needed);
  }
  out = writeRaw(kSnapshotOpen, out);
  out = writeList(calendars, writeCalendar, out);
  out = writeRaw(kSnapshotMiddle, out);
  size_ = static_cast<std::size_t>(out - text_);
}

SnapshotTextWriter::~SnapshotTextWriter() { std::free(text_); }

// Room for `bytes` more after what is written, and where it starts.
char* SnapshotTextWriter::room(std::size_t bytes) {
  if (bytes > SIZE_MAX - size_) throw std::bad_alloc();
  const std::size_t needed = size_ + bytes;
  if (needed > capacity_) {
    std::size_t grown = std::max(needed, capacity_ + capacity_ / 2);
    void* larger = std::realloc(text_, grown);
    if (larger == nullptr) {
      grown = needed;
      larger = std::realloc(text_, grown);
      if (larger == nullptr) throw std::bad_alloc();
    }
    text_ = static_cast<char*>(larger);
    capacity_ = grown;
  }
  return text_ + size_;
}

void SnapshotTextWriter::addEvent(const EventFields& event) {
  const std::size_t comma = firstEvent_ ? 0 : 1;
  // One pass: room for the worst case, then the event written (and its UTF-8
  // checked) in place. Room for the closing bytes too, so finish() never grows.
  char* out = room(comma + eventSizeBound(event) + kSnapshotClose.size() + 1);
  if (comma != 0) *out++ = ',';
  out = writeEvent<Utf8::check>(event, out);
  size_ = static_cast<std::size_t>(out - text_);
  firstEvent_ = false;
}

char* SnapshotTextWriter::finish() {
  char* out = room(kSnapshotClose.size() + 1);
  *writeRaw(kSnapshotClose, out) = '\0';
  size_ += kSnapshotClose.size() + 1;
  char* text = text_;
  // Handing back the unwritten room; should that fail, the larger block serves.
  if (size_ < capacity_) {
    if (void* exact = std::realloc(text_, size_)) text = static_cast<char*>(exact);
  }
  text_ = nullptr;
  size_ = capacity_ = 0;
  return text;
}

std::string encodeDiagnostics(const BridgeDiagnostics& diagnostics) {
  std::string json(diagnosticsSize(diagnostics), '\0');
  writeDiagnostics(diagnostics, json.data());
  return json;
}

}  // namespace vantrel
