// The platform seam answered from values held in memory, so the benchmark times
// the bridge's own work and nothing of a real or stand-in store. The values are
// prepared before timing; the store's answer to every query is every prepared
// event, in order (the workloads keep their events inside the queried range).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform.h"

namespace vantrel::bench {

struct MemoryCalendar {
  std::optional<std::string> identifier;
  std::optional<std::string> title;
  std::optional<std::string> sourceTitle;
  std::optional<std::vector<double>> colorComponents;
};

struct MemoryEvent {
  std::optional<std::string> itemIdentifier;
  std::string calendarIdentifier;
  std::optional<std::string> title;
  std::optional<std::string> location;
  platform::Instant start = 0;
  platform::Instant end = 0;
  bool isAllDay = false;
};

struct MemoryStore {
  std::vector<MemoryCalendar> calendars;
  std::vector<MemoryEvent> events;
};

// Makes `store` what the seam answers from now on (full access granted).
// The store must outlive every use of the seam.
void useMemoryStore(const MemoryStore& store);

}  // namespace vantrel::bench
