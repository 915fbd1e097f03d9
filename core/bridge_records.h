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
// snapshot of a year of events does not make an allocation per event. Each
// piece handed out shares its block: texts live as long as any event that
// holds them, whatever becomes of the pool.
class BridgeTextPool {
 public:
  std::shared_ptr<char> allocate(std::size_t bytes);

 private:
  static constexpr std::size_t kBlockBytes = 64 * 1024;  // below malloc's mmap threshold
  std::shared_ptr<char[]> block_;
  std::size_t used_ = 0;
  std::size_t size_ = 0;
};

// An event keeps all of its texts in one immutable piece of a shared block
// (of its own, or of a pool's), so copies share them and none can dangle.
class BridgeEvent {
 public:
  BridgeEvent(std::string_view id, std::string_view calendarId,
              std::string_view title, std::string_view startIso,
              std::string_view endIso, bool isAllDay,
              std::optional<std::string_view> location)
      : BridgeEvent(nullptr, id, calendarId, title, startIso, endIso, isAllDay, location) {}
  BridgeEvent(BridgeTextPool& pool, std::string_view id, std::string_view calendarId,
              std::string_view title, std::string_view startIso, std::string_view endIso,
              bool isAllDay, std::optional<std::string_view> location)
      : BridgeEvent(&pool, id, calendarId, title, startIso, endIso, isAllDay, location) {}

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
  BridgeEvent(BridgeTextPool* pool, std::string_view id, std::string_view calendarId,
              std::string_view title, std::string_view startIso, std::string_view endIso,
              bool isAllDay, std::optional<std::string_view> location);

  static constexpr std::size_t kParts = 6;
  std::string_view part(std::size_t i) const {
    std::uint32_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(texts_.get() + begin, ends_[i] - begin);
  }

  // The six texts back to back.
  std::shared_ptr<const char> texts_;
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

  const std::vector<BridgeCalendar>& calendars() const { return calendars_; }
  const std::vector<BridgeEvent>& events() const { return events_; }

 private:
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
