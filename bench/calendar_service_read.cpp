// The bridge's snapshot of a year over the desktop's calendar service against
// a bare read of the same year with the service's own calls (instances
// generated; start, end and summary read), both with the calendar kept open,
// so the difference is what the bridge adds. Wall time, the least of several
// runs, because most of a read is the service's process and the bus; beside
// it this process's CPU time, the part of the difference that is the bridge's
// own work.
//
//   vantrel_calendar_service_bench --write-store FOLDER COUNT...
//       writes a calendar of COUNT events over 2026 per count, as
//       run_with_private_service.sh takes them;
//   vantrel_calendar_service_bench [--runs N] COUNT...
//       under that private service, reads each of them both ways.
#include <libecal/libecal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "tavimo_calendar.h"

namespace {

constexpr const char* kStart = "2026-01-01T00:00:00.000Z";
constexpr const char* kEnd = "2027-01-01T00:00:00.000Z";
constexpr time_t kStartSeconds = 1767225600;  // kStart
constexpr time_t kEndSeconds = 1798761600;    // kEnd

std::string calendarUid(int count) { return "vantrel-bench-" + std::to_string(count); }

// Events spread evenly over the year, an hour each, in a zone of their own
// half of the time, as a calendar of invitations from two places has them.
void writeStore(const std::string& folder, int count) {
  const std::string uid = calendarUid(count);
  std::ofstream(folder + "/" + uid + ".source")
      << "[Data Source]\nDisplayName=Bench " << count
      << "\nEnabled=true\nParent=local-stub\n\n[Calendar]\nBackendName=local\nColor=#3465a4\n"
         "Selected=true\n";
  std::ofstream ics(folder + "/" + uid + ".ics");
  ics << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Vantrel//bench//EN\r\n";
  // Three hours clear of either end, so that none leaves the year by its zone.
  constexpr time_t kMargin = 3 * 3600;
  const time_t step = (kEndSeconds - kStartSeconds - 2 * kMargin) / count;
  for (int i = 0; i < count; ++i) {
    char start[32], end[32];
    const time_t at = kStartSeconds + kMargin + step * i;
    const time_t until = at + 3600;
    const bool zoned = i % 2 == 0;
    std::strftime(start, sizeof start, zoned ? "%Y%m%dT%H%M%S" : "%Y%m%dT%H%M%SZ", std::gmtime(&at));
    std::strftime(end, sizeof end, zoned ? "%Y%m%dT%H%M%S" : "%Y%m%dT%H%M%SZ", std::gmtime(&until));
    const char* zone = zoned ? ";TZID=Europe/Berlin" : "";
    ics << "BEGIN:VEVENT\r\nUID:event-" << i << "@bench.test\r\nDTSTAMP:20260101T000000Z\r\n"
        << "SUMMARY:Meeting number " << i << " about the quarterly plan\r\n"
        << "LOCATION:Room " << i % 40 << "\r\nDTSTART" << zone << ":" << start << "\r\nDTEND" << zone
        << ":" << end << "\r\nEND:VEVENT\r\n";
  }
  ics << "END:VCALENDAR\r\n";
}

struct Bare {
  ICalTimezone* zone;
  std::size_t occurrences = 0;
  std::size_t summaryBytes = 0;
  time_t lastEnd = 0;
};

gboolean readInstance(ICalComponent* component, ICalTime* start, ICalTime* end, gpointer data,
                      GCancellable*, GError**) {
  auto& into = *static_cast<Bare*>(data);
  ICalTimezone* utc = i_cal_timezone_get_utc_timezone();
  ICalTimezone* startZone = i_cal_time_get_timezone(start);
  ICalTimezone* endZone = i_cal_time_get_timezone(end);
  const time_t from = i_cal_time_as_timet_with_zone(start, startZone ? startZone : utc);
  into.lastEnd = std::max(from, static_cast<time_t>(
                                    i_cal_time_as_timet_with_zone(end, endZone ? endZone : utc)));
  const char* summary = i_cal_component_get_summary(component);
  into.summaryBytes += summary != nullptr ? std::strlen(summary) : 0;
  ++into.occurrences;
  return TRUE;
}

double seconds(std::chrono::steady_clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

double processSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Times {
  double wall = 1e300;
  double cpu = 1e300;  // this process's, its bus thread's included
};

template <typename Read>
void timed(Times& least, Read read) {
  const double cpu = processSeconds();
  const auto started = std::chrono::steady_clock::now();
  read();
  least.wall = std::min(least.wall, seconds(std::chrono::steady_clock::now() - started));
  least.cpu = std::min(least.cpu, processSeconds() - cpu);
}

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "vantrel_calendar_service_bench: %s\n", what.c_str());
  std::exit(1);
}

void compare(ESourceRegistry* registry, int count, int runs) {
  const std::string uid = calendarUid(count);
  ESource* source = e_source_registry_ref_source(registry, uid.c_str());
  if (source == nullptr) fail("no calendar " + uid + ": was the store written with --write-store?");
  GError* error = nullptr;
  auto* client = reinterpret_cast<ECalClient*>(e_cal_client_connect_sync(
      source, E_CAL_CLIENT_SOURCE_TYPE_EVENTS, static_cast<guint32>(-1), nullptr, &error));
  if (client == nullptr) fail(error->message);
  // The zone the bridge gives its clients: the process's, as TZ names it.
  const char* tz = std::getenv("TZ");
  ICalTimezone* zone = tz != nullptr ? i_cal_timezone_get_builtin_timezone(tz) : nullptr;
  e_cal_client_set_default_timezone(client, zone != nullptr ? zone : i_cal_timezone_get_utc_timezone());

  Bare bare{};
  const auto bareRead = [&] {
    bare = Bare{};
    e_cal_client_generate_instances_sync(client, kStartSeconds, kEndSeconds, nullptr, readInstance,
                                         &bare);
  };
  const std::string ids = "[\"" + uid + "\"]";
  const auto bridgeRead = [&] {
    char* failure = nullptr;
    char* document = tavimo_calendar_snapshot_of_calendars(kStart, kEnd, ids.c_str(), &failure);
    if (document == nullptr) fail(failure != nullptr ? failure : "no document");
    tavimo_calendar_string_free(document);
  };
  // Both opened and warm (the backend parsed the calendar once), then interleaved.
  bareRead();
  bridgeRead();
  Times bareTimes, bridgeTimes;
  for (int run = 0; run < runs; ++run) {
    // Whichever runs second meets the service still finishing the first's
    // read, so each goes first every other run.
    if (run % 2 == 0) timed(bareTimes, bareRead);
    timed(bridgeTimes, bridgeRead);
    if (run % 2 == 1) timed(bareTimes, bareRead);
  }
  const double bareTime = bareTimes.wall, bridgeTime = bridgeTimes.wall;
  if (bare.occurrences != static_cast<std::size_t>(count)) {
    fail(uid + ": the bare read found " + std::to_string(bare.occurrences) + " occurrences");
  }
  std::printf("%-22s %8.1f ms %8.1f ms %7.2fx %8.1f us/event %8.1f ms %8.1f ms\n",
              ("a year of " + std::to_string(count) + " events").c_str(), bareTime * 1e3,
              bridgeTime * 1e3, bridgeTime / bareTime, (bridgeTime - bareTime) * 1e6 / count,
              bareTimes.cpu * 1e3, bridgeTimes.cpu * 1e3);
  g_object_unref(client);
  g_object_unref(source);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 2 && args[0] == "--write-store") {
    for (std::size_t i = 2; i < args.size(); ++i) writeStore(args[1], std::atoi(args[i].c_str()));
    return 0;
  }
  int runs = 7;
  if (args.size() >= 2 && args[0] == "--runs") {
    runs = std::max(1, std::atoi(args[1].c_str()));
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty()) fail("usage: [--write-store FOLDER | --runs N] COUNT...");
  GError* error = nullptr;
  ESourceRegistry* registry = e_source_registry_new_sync(nullptr, &error);
  if (registry == nullptr) fail(error->message);
  std::printf("%-22s %11s %11s %8s %19s %11s %11s\n", "calendar service", "bare read", "bridge",
              "ratio", "bridge - bare", "bare CPU", "bridge CPU");
  for (const std::string& count : args) compare(registry, std::atoi(count.c_str()), runs);
  g_object_unref(registry);
  return 0;
}
