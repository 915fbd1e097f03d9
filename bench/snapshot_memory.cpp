// The memory the bridge itself takes for one snapshot: the most heap bytes
// live above what was live when the exported call began, against the size of
// the JSON text it hands out. The events come from a stand-in store document
// that a first call parses and caches, so the document stays out of the
// figure; the store's answer to the query (a list of its events) is in. The
// command-line route (records first, then the text) is measured alike.
//
//   vantrel_snapshot_memory [--events N] [--keep-store PATH]
//
// Exits with status 1 when the exported call's peak reaches 2.5 times the text.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "access_gate.h"
#include "event_workload.h"
#include "iso_date.h"
#include "json_writer.h"
#include "live_heap.h"
#include "tavimo_calendar.h"

namespace {

using vantrel::bench::heapPeakBytes;
using vantrel::bench::liveHeapBytes;
using vantrel::bench::resetHeapPeak;

constexpr double kLimit = 2.5;

double megabytes(std::size_t bytes) { return static_cast<double>(bytes) / 1e6; }

// Live bytes when `measured` begins, and the peak above them.
template <typename Measured>
std::size_t peakAbove(Measured measured) {
  const std::size_t before = liveHeapBytes();
  resetHeapPeak();
  measured();
  return heapPeakBytes() - before;
}

char* exportedSnapshot(const vantrel::bench::Workload& workload) {
  char* failure = nullptr;
  char* json = tavimo_calendar_snapshot(workload.startIso.c_str(), workload.endIso.c_str(),
                                        &failure);
  if (json == nullptr) {
    std::fprintf(stderr, "snapshot failed: %s\n", failure ? failure : "(no text)");
    std::exit(2);
  }
  return json;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t events = 1'000'000;
  std::string store;
  bool keepStore = false;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--events") == 0) {
      events = std::strtoull(argv[i + 1], nullptr, 10);
    } else if (std::strcmp(argv[i], "--keep-store") == 0) {
      store = argv[i + 1];
      keepStore = true;
    }
  }
  if (store.empty()) store = "/tmp/vantrel-memory-" + std::to_string(getpid()) + ".json";

  vantrel::bench::Workload workload = vantrel::bench::generateWorkload(events);
  vantrel::bench::writeStoreDocument(workload, store);
  workload.store = {};
  setenv("VANTREL_STANDIN_STORE", store.c_str(), 1);

  const std::size_t beforeDocument = liveHeapBytes();
  tavimo_calendar_string_free(exportedSnapshot(workload));
  const std::size_t document = liveHeapBytes() - beforeDocument;

  char* json = nullptr;
  const std::size_t before = liveHeapBytes();
  const std::size_t peak = peakAbove([&] { json = exportedSnapshot(workload); });
  const std::size_t handedOut = liveHeapBytes() - before;
  const std::size_t size = std::strlen(json);
  tavimo_calendar_string_free(json);

  const auto start = vantrel::parseIso(workload.startIso);
  const auto end = vantrel::parseIso(workload.endIso);
  const std::size_t commandPeak =
      peakAbove([&] { vantrel::encodeSnapshot(vantrel::snapshot(*start, *end)); });
  if (!keepStore) std::remove(store.c_str());

  const double ratio = static_cast<double>(peak) / static_cast<double>(size);
  std::printf("events                                  %zu\n", events);
  std::printf("JSON text                               %10.1f MB\n", megabytes(size));
  std::printf("stand-in document, parsed (left out)    %10.1f MB\n", megabytes(document));
  std::printf("exported snapshot: peak above its start %10.1f MB = %.2f x the text (limit %.1f)\n",
              megabytes(peak), ratio, kLimit);
  std::printf("  of which still live after the call    %10.1f MB (the text handed out)\n",
              megabytes(handedOut));
  std::printf("command-line route: peak                %10.1f MB = %.2f x the text\n",
              megabytes(commandPeak), static_cast<double>(commandPeak) / static_cast<double>(size));
  return ratio < kLimit ? 0 : 1;
}
