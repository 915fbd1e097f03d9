#include "event_workload.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <vector>

#include "iso_date.h"

namespace vantrel::bench {
namespace {

// splitmix64: tiny, fast and the same on every platform.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  std::size_t below(std::size_t limit) { return static_cast<std::size_t>(next() % limit); }
  bool chance(unsigned percent) { return below(100) < percent; }

 private:
  std::uint64_t state_;
};

std::string identifier(Random& random) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text = "XXXXXXXX-XXXX-4XXX-8XXX-XXXXXXXXXXXX";
  for (char& c : text) {
    if (c == 'X') c = kHex[random.below(16)];
  }
  return text;
}

constexpr double kYearStart = 1767225600.0;  // 2026-01-01T00:00:00Z
constexpr double kYearSeconds = 365.0 * 86400.0;

struct CalendarSeed {
  const char* title;
  const char* source;
  std::vector<double> color;
};

const std::vector<CalendarSeed>& calendarSeeds() {
  static const std::vector<CalendarSeed> seeds = {
      {"Work", "iCloud", {0.1059, 0.6785, 0.9726, 1.0}},
      {"Home", "iCloud", {1.0, 0.5, 0.0, 1.0}},
      {"家族", "On My Mac", {0.2, 1.0}},
      {"Календарь команды", "Exchange", {0.8, 0.1, 0.3, 1.0}},
      {"Birthdays 🎂", "Other", {}},
      {"Projects / Q3", "Exchange", {0.0, 0.0, 1.0, 1.0}},
      {"\"Deep\" focus", "Google", {0.35, 0.78, 0.2, 1.0}},
      {"Ausflüge", "iCloud", {0.95, 0.8, 0.1, 1.0}},
      {"العمل", "Google", {0.5, 0.5, 0.5, 1.0}},
      {"Holidays in Germany", "Subscribed", {0.6, 0.4, 0.9, 1.0}},
      {"Ops on-call", "PagerDuty", {1.2, -0.1, 0.5, 1.0}},
      {"Reading", "On My Mac", {0.25, 0.25, 0.25, 1.0}},
  };
  return seeds;
}

// Trailing and leading white space and line breaks are trimmed by the reader;
// "" and "   " become "Untitled event".
const std::vector<const char*>& titles() {
  static const std::vector<const char*> pool = {
      "Planning",
      "Stand-up",
      "1:1 Jane / Omar",
      "Review \"Q3 roadmap\"",
      "Lunch with Ana 🍝",
      "Zahnarzt",
      "Встреча с командой",
      "会議: 予算レビュー",
      "  Sprint retro \n",
      "Design crit — onboarding",
      "Flight LH 400 FRA→JFK",
      "Call: Müller & Söhne",
      "Kita-Abholung",
      "🎉 Birthday party",
      "Sync C:\\Notes\\2026",
      "Yoga",
      "اجتماع الفريق",
      "Interview (backend)",
      "Standup / Daily",
      "Focus time",
      "",
      "   ",
      "Quarterly business review with finance",
      "Pick up parcel",
  };
  return pool;
}

const std::vector<const char*>& locations() {
  static const std::vector<const char*> pool = {
      "Room 4",
      "https://zoom.us/j/93125551234",
      "Café Central, Wien",
      "会議室 B-3F",
      "Конференц-зал «Нева»",
      " Building 7 / Floor 2 ",
      "Home",
      "Microsoft Teams",
      "Gate 23 \"B\"",
      "",
      "   ",
      "Alexanderplatz 1, 10178 Berlin",
  };
  return pool;
}

constexpr double kDurations[] = {900, 1800, 1800, 3600, 3600, 3600, 5400, 7200, 10800};

std::string formatIso(platform::Instant instant) { return isoFormatter().stringFromDate(instant); }

// A whole-second range around every event, as the stand-in's query needs it:
// each event starts at or after the start and before the end.
void setRange(Workload& workload) {
  double first = std::numeric_limits<double>::infinity();
  double last = -std::numeric_limits<double>::infinity();
  for (const MemoryEvent& event : workload.store.events) {
    first = std::min(first, event.start);
    last = std::max(last, event.start);
  }
  if (workload.store.events.empty()) first = last = kYearStart;
  workload.start = std::floor(first) - 1;
  workload.end = std::ceil(last) + 1;
  workload.startIso = formatIso(workload.start);
  workload.endIso = formatIso(workload.end);
}

}  // namespace

Workload generateWorkload(std::size_t count, std::uint64_t seed) {
  Random random(seed);
  Workload workload;
  auto& calendars = workload.store.calendars;
  for (const CalendarSeed& calendarSeed : calendarSeeds()) {
    MemoryCalendar calendar;
    calendar.identifier = identifier(random);
    calendar.title = calendarSeed.title;
    calendar.sourceTitle = calendarSeed.source;
    if (!calendarSeed.color.empty()) calendar.colorComponents = calendarSeed.color;
    calendars.push_back(std::move(calendar));
  }

  std::vector<std::string> series(std::max<std::size_t>(1, count / 50));
  for (auto& id : series) id = identifier(random);

  auto& events = workload.store.events;
  events.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    MemoryEvent event;
    const bool repeating = random.chance(33);
    event.itemIdentifier = repeating ? series[random.below(series.size())] : identifier(random);
    event.calendarIdentifier = *calendars[random.below(calendars.size())].identifier;
    const std::size_t title = random.below(titles().size() + 1);
    if (title < titles().size()) event.title = titles()[title];  // else: no title
    if (random.chance(60)) event.location = locations()[random.below(locations().size())];

    const double slot = kYearStart + std::floor(static_cast<double>(i) * kYearSeconds /
                                                static_cast<double>(count));
    event.isAllDay = random.chance(10);
    if (event.isAllDay) {
      // Local midnight one hour east of UTC, one or more days long.
      event.start = std::floor(slot / 86400) * 86400 - 3600;
      event.end = event.start + 86400 * static_cast<double>(1 + random.below(3) / 2);
    } else {
      event.start = std::floor(slot / 900) * 900;
      if (random.chance(5)) event.start += 0.25;  // a quarter of a second past
      event.end = event.start + kDurations[random.below(std::size(kDurations))];
    }
    events.push_back(std::move(event));
  }
  setRange(workload);
  return workload;
}

namespace {

using nlohmann::json;

std::optional<std::string> optionalText(const json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end() || found->is_null()) return std::nullopt;
  return found->get<std::string>();
}

platform::Instant instant(const json& value) {
  if (value.is_number()) return value.get<double>();
  if (const auto parsed = parseIso(value.get<std::string>())) return *parsed;
  throw std::runtime_error("not an ISO date: " + value.get<std::string>());
}

}  // namespace

Workload readStoreDocument(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path);
  Workload workload;
  try {
    const json document = json::parse(file);
    if (const auto calendars = document.find("calendars");
        calendars != document.end() && !calendars->is_null()) {
      for (const json& item : *calendars) {
        MemoryCalendar calendar;
        calendar.identifier = optionalText(item, "id");
        calendar.title = optionalText(item, "title");
        calendar.sourceTitle = optionalText(item, "source");
        if (const auto color = item.find("color"); color != item.end() && !color->is_null()) {
          calendar.colorComponents = color->get<std::vector<double>>();
        }
        workload.store.calendars.push_back(std::move(calendar));
      }
    }
    if (const auto events = document.find("events"); events != document.end()) {
      workload.store.events.reserve(events->size());
      for (const json& item : *events) {
        MemoryEvent event;
        event.itemIdentifier = optionalText(item, "id");
        event.calendarIdentifier = item.at("calendar").get<std::string>();
        event.title = optionalText(item, "title");
        event.location = optionalText(item, "location");
        event.start = instant(item.at("start"));
        event.end = instant(item.at("end"));
        event.isAllDay = item.value("allDay", false);
        workload.store.events.push_back(std::move(event));
      }
    }
  } catch (const json::exception& error) {
    throw std::runtime_error(path + ": " + error.what());
  }
  setRange(workload);
  return workload;
}

void writeStoreDocument(const Workload& workload, const std::string& path) {
  const auto optional = [](const std::optional<std::string>& text) {
    return text ? json(*text) : json(nullptr);
  };
  json calendars = json::array();
  for (const MemoryCalendar& calendar : workload.store.calendars) {
    calendars.push_back({{"id", optional(calendar.identifier)},
                         {"title", optional(calendar.title)},
                         {"source", optional(calendar.sourceTitle)},
                         {"color", calendar.colorComponents ? json(*calendar.colorComponents)
                                                            : json(nullptr)}});
  }
  json events = json::array();
  for (const MemoryEvent& event : workload.store.events) {
    events.push_back({{"id", optional(event.itemIdentifier)},
                      {"calendar", event.calendarIdentifier},
                      {"title", optional(event.title)},
                      {"location", optional(event.location)},
                      {"start", event.start},
                      {"end", event.end},
                      {"allDay", event.isAllDay}});
  }
  const json document = {{"status", 3},
                         {"bundleIdentifier", "com.tavimo.bench"},
                         {"calendars", std::move(calendars)},
                         {"events", std::move(events)}};
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << document.dump();
  if (!file.flush()) throw std::runtime_error("cannot write " + path);
}

}  // namespace vantrel::bench
