#include "json_writer.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>
#include <string_view>

#include "bridge_failure.h"
#include "json_text.h"

namespace vantrel {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

using namespace json_text;

// Escapes add at most this many bytes per byte of text (\u00XX), plus the quotes.
constexpr std::size_t kMaxEscapedPerByte = 6;

// Writes the rest of a text from its first byte that is not plain, in one
// pass: escapes written, UTF-8 checked, plain runs copied as blocks. A text
// that is not UTF-8 throws, part of it written in the room past the document.
char* writeEscaped(const unsigned char* p, const unsigned char* end, char* out) {
  while (p != end) {
    if (*p >= 0x80) {
      const unsigned char* const next = endOfSequence(p, end);
      if (next == nullptr) throw BridgeFailure::invalidArguments;
      while (p != next) *out++ = static_cast<char>(*p++);
    } else {
      // All six bytes of \u00XX stored, as many kept as the escape has.
      const unsigned char c = *p++;
      const char escape[] = {'\\', kEscapeLetter[c], '0', '0', kHexDigits[c >> 4], kHexDigits[c & 15]};
      std::memcpy(out, escape, sizeof escape);
      out += escape[1] == 'u' ? 6 : 2;
    }
    const std::size_t plain = copyPlain(p, static_cast<std::size_t>(end - p), out);
    p += plain;
    out += plain;
  }
  return out;
}

// Writes `text` quoted: one known to need no escaping, most of a record's, is
// copied as a block, any other read once, escaped from its first special byte on.
inline __attribute__((always_inline)) char* writeQuoted(std::string_view text, char* out,
                                                        bool knownPlain = false) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  *out++ = '"';
  if (knownPlain) copyBytes(out, p, text.size());
  const std::size_t plain = knownPlain ? text.size() : copyPlain(p, text.size(), out);
  out = plain == text.size() ? out + plain : writeEscaped(p + plain, p + text.size(), out + plain);
  *out++ = '"';
  return out;
}

char* writeRaw(std::string_view literal, char* out) {
  std::memcpy(out, literal.data(), literal.size());
  return out + literal.size();
}

char* writeBool(bool value, char* out) { return writeRaw(value ? "true" : "false", out); }

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
                                          kExecutablePathKey.size() + kStatusKey.size() + 1;

// The most bytes texts of `textBytes` bytes can take with their escapes.
std::size_t escapedBound(std::size_t textBytes) {
  if (textBytes > (SIZE_MAX - 4096) / kMaxEscapedPerByte) throw std::bad_alloc();
  return textBytes * kMaxEscapedPerByte;
}

std::size_t calendarBound(const BridgeCalendar& calendar) {
  return kCalendarFixed + 2 * 4 +
         escapedBound(calendar.color().size() + calendar.id().size() + calendar.name().size() +
                      calendar.sourceName().size());
}

char* writeCalendar(const BridgeCalendar& calendar, char* out) {
  out = writeQuoted(calendar.color(), writeRaw(kColorKey, out));
  out = writeQuoted(calendar.id(), writeRaw(kCalendarIdKey, out));
  out = writeQuoted(calendar.name(), writeRaw(kNameKey, out));
  out = writeQuoted(calendar.sourceName(), writeRaw(kSourceNameKey, out));
  *out++ = '}';
  return out;
}

std::size_t eventBound(const EventFields& event) {
  const std::size_t texts = event.calendarId.size() + event.endIso.size() + event.id.size() +
                            event.startIso.size() + event.title.size() +
                            (event.location ? event.location->size() : 0);
  return kEventFixed + kLocationKey.size() + 5 + 2 * 6 + escapedBound(texts);
}

char* writeEvent(const EventFields& event, char* out) {
  const auto plain = [&event](BridgeEvent::PlainText text) {
    return (event.plainTexts & text) != 0;
  };
  out = writeQuoted(event.calendarId, writeRaw(kCalendarIdRefKey, out),
                    plain(BridgeEvent::kPlainCalendarId));
  out = writeQuoted(event.endIso, writeRaw(kEndIsoKey, out), plain(BridgeEvent::kPlainEndIso));
  out = writeQuoted(event.id, writeRaw(kEventIdKey, out), plain(BridgeEvent::kPlainId));
  out = writeBool(event.isAllDay, writeRaw(kIsAllDayKey, out));
  if (event.location) {
    out = writeQuoted(*event.location, writeRaw(kLocationKey, out),
                      plain(BridgeEvent::kPlainLocation));
  }
  out = writeQuoted(event.startIso, writeRaw(kStartIsoKey, out),
                    plain(BridgeEvent::kPlainStartIso));
  out = writeQuoted(event.title, writeRaw(kTitleKey, out), plain(BridgeEvent::kPlainTitle));
  *out++ = '}';
  return out;
}

// Room for `bytes` more after the `size` bytes written in `text`, and where
// it starts: grown by half at least, or exactly when that much is refused.
char* growRoom(char*& text, std::size_t size, std::size_t& capacity, std::size_t bytes) {
  if (bytes > SIZE_MAX - size) throw std::bad_alloc();
  const std::size_t needed = size + bytes;
  if (needed > capacity) {
    std::size_t grown = std::max(needed, capacity + capacity / 2);
    void* larger = std::realloc(text, grown);
    if (larger == nullptr) {
      grown = needed;
      larger = std::realloc(text, grown);
      if (larger == nullptr) throw std::bad_alloc();
    }
    text = static_cast<char*>(larger);
    capacity = grown;
  }
  return text + size;
}

// Hands over the document of `size` bytes (its NUL included), giving back the
// unwritten room; should that fail, the larger block serves.
char* handOver(char*& text, std::size_t& size, std::size_t& capacity) {
  char* document = text;
  if (size < capacity) {
    if (void* exact = std::realloc(text, size)) document = static_cast<char*>(exact);
  }
  text = nullptr;
  size = capacity = 0;
  return document;
}

}  // namespace

void FreeText::operator()(char* text) const { std::free(text); }

MallocText encodeSnapshot(const BridgeSnapshot& snapshot) {
  SnapshotTextWriter writer(snapshot.calendars(), snapshot.events().size());
  for (const BridgeEvent& event : snapshot.events()) {
    writer.addEvent({event.id(), event.calendarId(), event.title(), event.startIso(),
                     event.endIso(), event.isAllDay(), event.location(), event.plainTexts()});
  }
  return MallocText(writer.finish());
}

// A guess at one event's share of the document, generous for typical events
// (about 260 bytes with identifiers of 36 characters). Room that is never
// written costs nothing but address space in a large block, and running short
// only costs a growth step.
constexpr std::size_t kExpectedEventSize = 320;

SnapshotTextWriter::SnapshotTextWriter(const std::vector<BridgeCalendar>& calendars,
                                       std::size_t expectedEvents) {
  std::size_t needed = kSnapshotOpen.size() + kSnapshotMiddle.size() + kSnapshotClose.size() + 1;
  for (const BridgeCalendar& calendar : calendars) needed += 1 + calendarBound(calendar);
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
  // A calendar text that is not UTF-8 throws here, before the destructor could
  // ever run: the room must not go with it.
  try {
    out = writeRaw(kSnapshotOpen, out);
    for (std::size_t i = 0; i < calendars.size(); ++i) {
      if (i != 0) *out++ = ',';
      out = writeCalendar(calendars[i], out);
    }
  } catch (...) {
    std::free(text_);
    throw;
  }
  out = writeRaw(kSnapshotMiddle, out);
  size_ = static_cast<std::size_t>(out - text_);
}

SnapshotTextWriter::~SnapshotTextWriter() { std::free(text_); }

char* SnapshotTextWriter::room(std::size_t bytes) { return growRoom(text_, size_, capacity_, bytes); }

void SnapshotTextWriter::addEvent(const EventFields& event) {
  const std::size_t comma = firstEvent_ ? 0 : 1;
  // One pass: room for the worst case, then the event written in place. Room
  // for the closing bytes too, so finish() never grows.
  char* out = room(comma + eventBound(event) + kSnapshotClose.size() + 1);
  if (comma != 0) *out++ = ',';
  out = writeEvent(event, out);
  size_ = static_cast<std::size_t>(out - text_);
  firstEvent_ = false;
}

char* SnapshotTextWriter::finish(std::string_view key, const std::vector<std::string>& texts) {
  std::size_t bytes = 0;
  for (const std::string& text : texts) bytes += text.size();
  char* out = room(key.size() + 6 + 3 * texts.size() + escapedBound(bytes) + kSnapshotClose.size());
  out = writeRaw("],", out);
  out = writeQuoted(key, out);
  out = writeRaw(":[", out);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i != 0) *out++ = ',';
    out = writeQuoted(texts[i], out);
  }
  size_ = static_cast<std::size_t>(out - text_);
  return finish();
}

char* SnapshotTextWriter::finish() {
  char* out = room(kSnapshotClose.size() + 1);
  *writeRaw(kSnapshotClose, out) = '\0';
  size_ += kSnapshotClose.size() + 1;
  return handOver(text_, size_, capacity_);
}

namespace {

// An enumeration's labels, the first one for the raw value `first`.
struct Labels {
  std::int64_t first;
  std::initializer_list<std::string_view> names;
};

const Labels kAvailabilityLabels{-1, {"not-supported", "busy", "free", "tentative", "unavailable"}};
const Labels kEventStatusLabels{0, {"none", "confirmed", "tentative", "canceled"}};
const Labels kParticipantStatusLabels{
    0,
    {"unknown", "pending", "accepted", "declined", "tentative", "delegated", "completed",
     "in-process"}};
const Labels kParticipantRoleLabels{0, {"unknown", "required", "optional", "chair", "non-participant"}};
const Labels kParticipantTypeLabels{0, {"unknown", "person", "room", "resource", "group"}};

constexpr std::size_t kLabelBound = 2 + 8 + 20;  // quotes, "unknown-", a sign and 19 digits

char* writeLabel(std::int64_t value, const Labels& labels, char* out) {
  *out++ = '"';
  // Unsigned, so that no value overflows on its way to an index.
  const std::uint64_t index =
      static_cast<std::uint64_t>(value) - static_cast<std::uint64_t>(labels.first);
  if (index < labels.names.size()) {
    out = writeRaw(labels.names.begin()[index], out);
  } else {
    out = writeRaw("unknown-", out);
    out = std::to_chars(out, out + 20, value).ptr;
  }
  *out++ = '"';
  return out;
}

constexpr std::string_view kMailto = "mailto:";

// The address of a "mailto:" URL (scheme in any case), else nothing.
std::optional<std::string_view> mailAddress(std::string_view url) {
  if (url.size() < kMailto.size()) return std::nullopt;
  for (std::size_t i = 0; i < kMailto.size(); ++i) {
    const char c = url[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kMailto[i]) {
      return std::nullopt;
    }
  }
  return url.substr(kMailto.size());
}

constexpr std::size_t kParticipantFixed = sizeof R"({"email":,"isCurrentUser":false,"name":,"role":,"status":,"type":,"url":})" +
                                          4 * 2 + 3 * kLabelBound;

std::size_t participantTexts(const platform::ParticipantValues& participant) {
  return participant.name.value_or("").size() + participant.url.value_or("").size();
}

char* writeParticipant(const platform::ParticipantValues& participant, char* out) {
  const std::optional<std::string_view> url =
      participant.url ? std::optional<std::string_view>(*participant.url) : std::nullopt;
  const std::optional<std::string_view> email = url ? mailAddress(*url) : std::nullopt;
  *out++ = '{';
  if (email) {
    out = writeQuoted(*email, writeRaw("\"email\":", out));
    *out++ = ',';
  }
  out = writeBool(participant.isCurrentUser, writeRaw("\"isCurrentUser\":", out));
  if (participant.name) out = writeQuoted(*participant.name, writeRaw(",\"name\":", out));
  out = writeLabel(participant.role, kParticipantRoleLabels, writeRaw(",\"role\":", out));
  out = writeLabel(participant.status, kParticipantStatusLabels, writeRaw(",\"status\":", out));
  out = writeLabel(participant.type, kParticipantTypeLabels, writeRaw(",\"type\":", out));
  if (url && !email) out = writeQuoted(*url, writeRaw(",\"url\":", out));
  *out++ = '}';
  return out;
}

constexpr std::string_view kDetailsOpen = "{\"events\":[";
constexpr std::string_view kDetailsClose = "]}";
constexpr std::size_t kDetailsEventFixed =
    sizeof R"({"attendees":[],"availability":,"conferenceUrl":,"id":,"notes":,"organizer":,"recurring":false,"status":,"timeZone":,"url":})" +
    5 * 2 + 2 * kLabelBound;
// A guess at one event's share: a few attendees and a short agenda.
constexpr std::size_t kExpectedDetailsSize = 1024;

}  // namespace

DetailsTextWriter::DetailsTextWriter(std::size_t expectedEvents) {
  const std::size_t needed = kDetailsOpen.size() + kDetailsClose.size() + 1;
  char* out = nullptr;
  try {
    out = growRoom(text_, size_, capacity_,
                   needed + std::min(expectedEvents, SIZE_MAX / 2 / kExpectedDetailsSize) *
                                kExpectedDetailsSize);
  } catch (const std::bad_alloc&) {
    out = growRoom(text_, size_, capacity_, needed);
  }
  size_ = static_cast<std::size_t>(writeRaw(kDetailsOpen, out) - text_);
}

DetailsTextWriter::~DetailsTextWriter() { std::free(text_); }

void DetailsTextWriter::addEvent(std::string_view id, const platform::EventDetailValues& details,
                                 std::optional<std::string_view> conferenceUrl) {
  std::size_t texts = id.size() + conferenceUrl.value_or("").size() +
                      details.notes.value_or("").size() + details.timeZone.value_or("").size() +
                      details.url.value_or("").size();
  std::size_t participants = 0;
  if (details.organizer) {
    texts += participantTexts(*details.organizer);
    ++participants;
  }
  if (details.attendees) {
    for (const auto& attendee : *details.attendees) texts += participantTexts(attendee);
    participants += details.attendees->size();
  }
  const std::size_t bound = 1 + kDetailsEventFixed + escapedBound(texts) +
                            participants * (kParticipantFixed + 1) + kDetailsClose.size() + 1;
  char* out = growRoom(text_, size_, capacity_, bound);
  if (!firstEvent_) *out++ = ',';
  out = writeRaw("{\"attendees\":[", out);
  if (details.attendees) {
    for (std::size_t i = 0; i < details.attendees->size(); ++i) {
      if (i != 0) *out++ = ',';
      out = writeParticipant((*details.attendees)[i], out);
    }
  }
  out = writeLabel(details.availability, kAvailabilityLabels, writeRaw("],\"availability\":", out));
  if (conferenceUrl) out = writeQuoted(*conferenceUrl, writeRaw(",\"conferenceUrl\":", out));
  out = writeQuoted(id, writeRaw(",\"id\":", out));
  if (details.notes) out = writeQuoted(*details.notes, writeRaw(",\"notes\":", out));
  if (details.organizer) out = writeParticipant(*details.organizer, writeRaw(",\"organizer\":", out));
  out = writeBool(details.hasRecurrenceRules, writeRaw(",\"recurring\":", out));
  out = writeLabel(details.status, kEventStatusLabels, writeRaw(",\"status\":", out));
  if (details.timeZone) out = writeQuoted(*details.timeZone, writeRaw(",\"timeZone\":", out));
  if (details.url) out = writeQuoted(*details.url, writeRaw(",\"url\":", out));
  *out++ = '}';
  size_ = static_cast<std::size_t>(out - text_);
  firstEvent_ = false;
}

char* DetailsTextWriter::finish() {
  char* out = growRoom(text_, size_, capacity_, kDetailsClose.size() + 1);
  *writeRaw(kDetailsClose, out) = '\0';
  size_ += kDetailsClose.size() + 1;
  return handOver(text_, size_, capacity_);
}

std::string encodeDiagnostics(const BridgeDiagnostics& diagnostics) {
  std::string json(kDiagnosticsFixed + 5 + 2 * 3 +
                       escapedBound(diagnostics.bundleId().size() +
                                    diagnostics.executablePath().size() +
                                    diagnostics.status().size()),
                   '\0');
  char* out = writeQuoted(diagnostics.bundleId(), writeRaw(kBundleIdKey, json.data()));
  out = writeBool(diagnostics.canRead(), writeRaw(kCanReadKey, out));
  out = writeQuoted(diagnostics.executablePath(), writeRaw(kExecutablePathKey, out));
  out = writeQuoted(diagnostics.status(), writeRaw(kStatusKey, out));
  *out++ = '}';
  json.resize(static_cast<std::size_t>(out - json.data()));
  return json;
}

}  // namespace vantrel
