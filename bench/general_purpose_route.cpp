#include "general_purpose_route.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>
#include <string>

#include "iso_date.h"
#include "platform.h"
#include "snapshot_reader.h"

namespace vantrel::bench {
namespace {

using nlohmann::json;

// gmtime_r and a format string, as general-purpose code writes it.
std::string isoText(platform::Instant instant) {
  const auto ms = static_cast<std::int64_t>(std::llround(instant * 1000.0));
  std::int64_t seconds = ms / 1000;
  std::int64_t milli = ms % 1000;
  if (milli < 0) {
    milli += 1000;
    seconds -= 1;
  }
  const auto time = static_cast<std::time_t>(seconds);
  std::tm parts{};
  gmtime_r(&time, &parts);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", parts.tm_year + 1900,
                parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                static_cast<int>(milli));
  return text;
}

std::string text(const std::optional<std::string>& value) { return value.value_or(""); }

}  // namespace

char* nlohmannSnapshot(const char* startIso, const char* endIso) {
  try {
    const auto start = parseIso(startIso);
    const auto end = parseIso(endIso);
    if (!start || !end || !(*start < *end) || platform::authorizationStatus() != 3) {
      return nullptr;
    }
    const platform::StoreRef store = platform::newStore();
    const auto calendars =
        platform::eventCalendars(*store).value_or(std::vector<platform::CalendarRef>{});
    json calendarList = json::array();
    for (const auto& calendar : calendars) {
      calendarList.push_back({{"id", text(platform::calendarIdentifier(*calendar))},
                              {"name", text(platform::calendarTitle(*calendar))},
                              {"sourceName", text(platform::calendarSourceTitle(*calendar))},
                              {"color", hexColor(*calendar)}});
    }

    const platform::EventListRef answer = platform::eventsMatching(*store, *start, *end, calendars);
    json events = json::array();
    platform::EventValues values;
    for (std::size_t i = 0, count = platform::eventCount(*answer); i < count; ++i) {
      platform::readEvent(*answer, i, values);
      const double eventStart = values.start.value_or(*start);
      const auto ms = static_cast<std::int64_t>(std::trunc(eventStart * 1000.0));
      std::string title(values.title ? trimWhitespaceAndNewlines(*values.title) : "");
      if (title.empty()) title = "Untitled event";
      json event = {{"id", text(values.itemIdentifier) + "::" + std::to_string(ms)},
                    {"calendarId", text(values.calendarIdentifier)},
                    {"title", std::move(title)},
                    {"startIso", isoText(eventStart)},
                    {"endIso", isoText(values.end.value_or(*end))},
                    {"isAllDay", values.isAllDay}};
      if (values.location) event["location"] = std::string(trimWhitespaceAndNewlines(*values.location));
      events.push_back(std::move(event));
    }

    // nlohmann's objects keep their keys sorted, as the document wants them.
    const json document = {{"calendars", std::move(calendarList)}, {"events", std::move(events)}};
    const std::string dumped = document.dump();
    // A slash occurs only inside strings, so every one of them is escaped.
    std::string escaped;
    escaped.reserve(dumped.size() + dumped.size() / 16);
    for (const char c : dumped) {
      if (c == '/') escaped += '\\';
      escaped += c;
    }
    return strdup(escaped.c_str());
  } catch (...) {
    return nullptr;
  }
}

}  // namespace vantrel::bench
