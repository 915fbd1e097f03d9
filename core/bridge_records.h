// The plain, immutable records in which the bridge hands calendar data and
// permission diagnostics to its callers. Every field is set by the one
// constructor, in declaration order, and only read afterwards.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

class BridgeCalendar {
 public:
  BridgeCalendar(std::string id, std::string name, std::string sourceName,
                 std::string color)
      : id_(std::move(id)),
        name_(std::move(name)),
        sourceName_(std::move(sourceName)),
        color_(std::move(color)) {}

  std::string_view id() const { return id_; }
  std::string_view name() const { return name_; }
  std::string_view sourceName() const { return sourceName_; }
  std::string_view color() const { return color_; }

 private:
  std::string id_;
  std::string name_;
  std::string sourceName_;
  std::string color_;
};

// Room for the texts of many events in a few large blocks, so that a
// snapshot of a year of events does not make an allocation per event. Texts
// placed here stay where they are until the arena is destroyed.
class BridgeTextArena {
 public:
  BridgeTextArena() = default;
  BridgeTextArena(const BridgeTextArena&) = delete;
  BridgeTextArena& operator=(const BridgeTextArena&) = delete;

  char* allocate(std::size_t bytes);

 private:
  static constexpr std::size_t kBlockBytes = 64 * 1024;  // below malloc's mmap threshold
  std::vector<std::unique_ptr<char[]>> blocks_;
  char* next_ = nullptr;
  std::size_t left_ = 0;
};

// Frees an event's texts only when the event owns them.
struct BridgeTextsDeleter {
  bool owned = true;
  void operator()(char* texts) const {
    if (owned) delete[] texts;
  }
};

// An event keeps all of its texts in one block instead of one per field:
// its own allocation, or room in an arena that outlives it.
class BridgeEvent {
 public:
  BridgeEvent(std::string_view id, std::string_view calendarId,
              std::string_view title, std::string_view startIso,
              std::string_view endIso, bool isAllDay,
              std::optional<std::string_view> location)
      : BridgeEvent(nullptr, id, calendarId, title, startIso, endIso, isAllDay, location) {}
  // The texts go into `arena`, which must outlive the event; copies of the
  // event own their texts.
  BridgeEvent(BridgeTextArena& arena, std::string_view id, std::string_view calendarId,
              std::string_view title, std::string_view startIso, std::string_view endIso,
              bool isAllDay, std::optional<std::string_view> location)
      : BridgeEvent(&arena, id, calendarId, title, startIso, endIso, isAllDay, location) {}
  BridgeEvent(const BridgeEvent& other);
  BridgeEvent& operator=(const BridgeEvent& other);
  BridgeEvent(BridgeEvent&&) noexcept = default;
  BridgeEvent& operator=(BridgeEvent&&) noexcept = default;

  std::string_view id() const { return part(0); }
  std::string_view calendarId() const { return part(1); }
  std::string_view title() const { return part(2); }
  std::string_view startIso() const { return part(3); }
  std::string_view endIso() const { return part(4); }
  bool isAllDay() const { return isAllDay_; }
  std::optional<std::string_view> location() const {
    if (!hasLocation_) return std::nullopt;
    return part(5);
  }

  // Which texts a JSON string holds byte for byte (valid UTF-8 without a byte
  // to escape), found while they are copied in, so that a JSON writer copies
  // them without reading them again.
  enum PlainText : std::uint8_t {
    kPlainId = 1 << 0,
    kPlainCalendarId = 1 << 1,
    kPlainTitle = 1 << 2,
    kPlainStartIso = 1 << 3,
    kPlainEndIso = 1 << 4,
    kPlainLocation = 1 << 5,
  };
  std::uint8_t plainTexts() const { return plainTexts_; }

 private:
  BridgeEvent(BridgeTextArena* arena, std::string_view id, std::string_view calendarId,
              std::string_view title, std::string_view startIso, std::string_view endIso,
              bool isAllDay, std::optional<std::string_view> location);

  static constexpr std::size_t kParts = 6;
  std::string_view part(std::size_t i) const {
    std::uint32_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(texts_.get() + begin, ends_[i] - begin);
  }
  std::size_t textBytes() const { return ends_[kParts - 1]; }

  // The six texts back to back; not a std::string, which would fill them
  // with zeros before they are copied in.
  std::unique_ptr<char[], BridgeTextsDeleter> texts_;
  std::array<std::uint32_t, kParts> ends_;  // where each text ends in texts_
  bool isAllDay_;
  bool hasLocation_;
  std::uint8_t plainTexts_ = 0;
};

class BridgeSnapshot {
 public:
  BridgeSnapshot(std::vector<BridgeCalendar> calendars,
                 std::vector<BridgeEvent> events)
      : calendars_(std::move(calendars)), events_(std::move(events)) {}
  // Events whose texts are in `arena`, which the snapshot keeps alive.
  BridgeSnapshot(std::vector<BridgeCalendar> calendars, std::vector<BridgeEvent> events,
                 std::unique_ptr<BridgeTextArena> arena)
      : arena_(std::move(arena)), calendars_(std::move(calendars)), events_(std::move(events)) {}
  // A copy's events own their texts and need no arena.
  BridgeSnapshot(const BridgeSnapshot& other)
      : calendars_(other.calendars_), events_(other.events_) {}
  BridgeSnapshot& operator=(const BridgeSnapshot& other) {
    if (this != &other) *this = BridgeSnapshot(other);
    return *this;
  }
  BridgeSnapshot(BridgeSnapshot&&) noexcept = default;
  BridgeSnapshot& operator=(BridgeSnapshot&&) noexcept = default;

  const std::vector<BridgeCalendar>& calendars() const { return calendars_; }
  const std::vector<BridgeEvent>& events() const { return events_; }

 private:
  // First, so that it goes after the events that point into it.
  std::unique_ptr<BridgeTextArena> arena_;
  std::vector<BridgeCalendar> calendars_;
  std::vector<BridgeEvent> events_;
};

class BridgeDiagnostics {
 public:
  BridgeDiagnostics(std::string status, bool canRead, std::string bundleId,
                    std::string executablePath)
      : status_(std::move(status)),
        canRead_(canRead),
        bundleId_(std::move(bundleId)),
        executablePath_(std::move(executablePath)) {}

  std::string_view status() const { return status_; }
  bool canRead() const { return canRead_; }
  std::string_view bundleId() const { return bundleId_; }
  std::string_view executablePath() const { return executablePath_; }

 private:
  std::string status_;
  bool canRead_;
  std::string bundleId_;
  std::string executablePath_;
};

}  // namespace vantrel
