// The events the benchmark feeds the bridge: made by a deterministic generator
// of realistic calendars, or read from any stand-in store document, so that
// anyone can time the same workload (and the Node script reads what we write).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "memory_platform.h"

namespace vantrel::bench {

struct Workload {
  MemoryStore store;
  // A range that holds every event, as instants and as the texts a caller
  // hands to tavimo_calendar_snapshot.
  platform::Instant start = 0;
  platform::Instant end = 0;
  std::string startIso;
  std::string endIso;
};

// `count` events of 2026 over a dozen calendars: titles in several scripts,
// emoji, quotes, slashes and backslashes, white space to trim, missing titles;
// 60% with a location; a tenth all-day; a third are occurrences of repeating
// series. The same count and seed always give the same workload.
Workload generateWorkload(std::size_t count, std::uint64_t seed = 2026);

// Reads a stand-in store document (its calendars and events). Throws
// std::runtime_error naming what is wrong.
Workload readStoreDocument(const std::string& path);

// Writes the workload as a stand-in store document with full access granted.
void writeStoreDocument(const Workload& workload, const std::string& path);

}  // namespace vantrel::bench
