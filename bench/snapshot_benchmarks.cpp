// Times the snapshot path stage by stage against the general-purpose route and
// against the cost of writing the document into new memory, all in one run,
// and prints the ratios. See scripts/bench.sh for the whole comparison,
// including the Node routes.
//
//   vantrel_bench [--events N[,N...]] [--store FILE] [--summary FILE]
//                 [--write-store FILE] [Google Benchmark flags]
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "allocation_count.h"
#include "bridge_records.h"
#include "event_workload.h"
#include "general_purpose_route.h"
#include "json_writer.h"
#include "memory_platform.h"
#include "snapshot_reader.h"
#include "tavimo_calendar.h"
#include "tight_writer.h"
extern "C" {
#include "v8_text.h"
}

namespace vantrel::bench {
namespace {

// Everything a stage needs, made before any timing.
struct Prepared {
  Workload workload;
  std::optional<BridgeSnapshot> records;
  std::string document;
  std::vector<char> buffer;  // room for the document, already touched
};

struct Options {
  std::vector<std::size_t> sizes = {10'000, 100'000, 1'000'000};
  std::string store;
  std::string summary;
  std::string writeStore;
};

Options options;
std::map<std::size_t, std::unique_ptr<Prepared>> preparedBySize;

Workload loadWorkload(std::size_t size) {
  if (!options.store.empty()) return readStoreDocument(options.store);
  return generateWorkload(size);
}

// The workload of `size`, its records, its document and a touched buffer. The
// routes are checked to give the same bytes here, outside any timing.
Prepared& prepare(std::size_t size) {
  auto& slot = preparedBySize[size];
  if (slot) {
    useMemoryStore(slot->workload.store);
    return *slot;
  }
  slot = std::make_unique<Prepared>();
  Prepared& prepared = *slot;
  prepared.workload = loadWorkload(size);
  const Workload& workload = prepared.workload;
  useMemoryStore(workload.store);
  prepared.records.emplace(readAuthorizedSnapshot(workload.start, workload.end));
  prepared.document = encodeSnapshot(*prepared.records).get();
  prepared.buffer.assign(prepared.document.size() + 1, '\0');

  std::vector<char> tight(prepared.document.size() * 2 + 4096);
  tight.resize(writeTightSnapshot(workload.start, workload.end, tight.data()));
  char* exported = tavimo_calendar_snapshot(workload.startIso.c_str(), workload.endIso.c_str(), nullptr);
  const bool same = exported != nullptr && prepared.document == exported &&
                    prepared.document == std::string_view(tight.data(), tight.size());
  tavimo_calendar_string_free(exported);
  if (!same) throw std::runtime_error("the routes do not give the same document");
  return prepared;
}

// The slow route is checked on its first timed call instead, to not pay for it twice.
void checkSameDocument(const Prepared& prepared, const char* text) {
  if (text == nullptr || prepared.document != text) {
    throw std::runtime_error("the nlohmann-json route does not give the same document");
  }
}

std::size_t eventCountOf(const Prepared& prepared) { return prepared.workload.store.events.size(); }

// Touched: everything comes from the heap and stays there, so after the first
// call a stage writes only memory it has touched before. Fresh: glibc's
// defaults without its adaptive thresholds, so every block of 128 KiB or more
// is new memory from the system and freed memory goes back, as on a first call.
enum class Memory { touched, fresh };

void useMemory(Memory memory) {
  if (memory == Memory::touched) {
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_TOP_PAD, 0);
  } else {
    mallopt(M_MMAP_MAX, 65'536);
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024);
    malloc_trim(0);
  }
}

// Runs `work(prepared, timed)` as one timed call per iteration; reports bytes of document per
// second and the allocations per event.
template <typename Work>
void measure(benchmark::State& state, Memory memory, Work work) {
  Prepared& prepared = prepare(static_cast<std::size_t>(state.range(0)));
  useMemory(memory);
  if (memory == Memory::touched) work(prepared, false);  // warm-up: touch the memory
  const AllocationCount before = allocationsSoFar();
  for (auto _ : state) work(prepared, true);
  const AllocationCount after = allocationsSoFar();
  const double events = static_cast<double>(state.iterations()) *
                        static_cast<double>(std::max<std::size_t>(1, eventCountOf(prepared)));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(prepared.document.size()));
  state.counters["events"] = static_cast<double>(eventCountOf(prepared));
  state.counters["allocs/event"] = static_cast<double>(after.allocations - before.allocations) / events;
  state.counters["B_alloc/event"] = static_cast<double>(after.bytes - before.bytes) / events;
  useMemory(Memory::fresh);
}

void tightWriter(benchmark::State& state) {
  measure(state, Memory::touched, [](Prepared& prepared, bool) {
    const auto& workload = prepared.workload;
    benchmark::DoNotOptimize(writeTightSnapshot(workload.start, workload.end, prepared.buffer.data()));
    benchmark::ClobberMemory();
  });
}

void conversion(benchmark::State& state) {
  measure(state, Memory::touched, [&state](Prepared& prepared, bool timed) {
    std::optional<BridgeSnapshot> snapshot(
        readAuthorizedSnapshot(prepared.workload.start, prepared.workload.end));
    benchmark::DoNotOptimize(snapshot);
    if (!timed) return;
    state.PauseTiming();  // dropping the records is not converting
    snapshot.reset();
    state.ResumeTiming();
  });
}

void encoding(benchmark::State& state) {
  measure(state, Memory::touched, [](Prepared& prepared, bool) {
    MallocText json = encodeSnapshot(*prepared.records);
    benchmark::DoNotOptimize(json.get());
  });
}

// Pages mapped for the call and never touched before, whatever the
// allocator's thresholds would hand back.
class NewPages {
 public:
  explicit NewPages(std::size_t size)
      : size_(size),
        data_(::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)) {
    if (data_ == MAP_FAILED) throw std::bad_alloc();
  }
  ~NewPages() { ::munmap(data_, size_); }
  NewPages(const NewPages&) = delete;
  NewPages& operator=(const NewPages&) = delete;
  char* data() const { return static_cast<char*>(data_); }

 private:
  std::size_t size_;
  void* data_;
};

// The true floor of a first call: the tight writer into pages never touched.
void tightWriterFresh(benchmark::State& state) {
  measure(state, Memory::fresh, [](Prepared& prepared, bool) {
    const auto& workload = prepared.workload;
    const NewPages pages(prepared.buffer.size());
    benchmark::DoNotOptimize(writeTightSnapshot(workload.start, workload.end, pages.data()));
    benchmark::ClobberMemory();
  });
}

void freshPass(benchmark::State& state) {
  measure(state, Memory::fresh, [](Prepared& prepared, bool) {
    const std::size_t size = prepared.document.size();
    const NewPages pages(size + 1);
    std::memcpy(pages.data(), prepared.document.data(), size);
    pages.data()[size] = '\0';
    benchmark::DoNotOptimize(pages.data());
    benchmark::ClobberMemory();
  });
}

// What snapshotAsync does on the pool after the call: lays the document out
// for V8, in place as Latin-1 or into new memory as UTF-16.
void layOutForV8(benchmark::State& state) {
  measure(state, Memory::fresh, [&state](Prepared& prepared, bool timed) {
    if (timed) state.PauseTiming();
    std::memcpy(prepared.buffer.data(), prepared.document.c_str(), prepared.buffer.size());
    if (timed) state.ResumeTiming();
    V8Text text{};
    if (!v8_text_lay_out(prepared.buffer.data(), prepared.document.size(), &text)) {
      throw std::bad_alloc();
    }
    benchmark::DoNotOptimize(text.characters);
    benchmark::ClobberMemory();
    if (text.two_byte) std::free(text.characters);
  });
}

void callExported(Prepared& prepared, bool) {
  char* json = tavimo_calendar_snapshot(prepared.workload.startIso.c_str(),
                                        prepared.workload.endIso.c_str(), nullptr);
  benchmark::DoNotOptimize(json);
  tavimo_calendar_string_free(json);
}

void exportedSnapshot(benchmark::State& state) { measure(state, Memory::fresh, callExported); }

// The same call as a host makes it again and again: the allocator hands back
// the memory of the text freed before, so no page is new.
void exportedSnapshotReused(benchmark::State& state) {
  measure(state, Memory::touched, callExported);
}

void nlohmannRoute(benchmark::State& state) {
  bool checked = false;
  measure(state, Memory::fresh, [&](Prepared& prepared, bool) {
    char* json = nlohmannSnapshot(prepared.workload.startIso.c_str(),
                                  prepared.workload.endIso.c_str());
    benchmark::DoNotOptimize(json);
    if (!checked) {
      state.PauseTiming();
      checkSameDocument(prepared, json);
      checked = true;
      state.ResumeTiming();
    }
    std::free(json);
  });
}

struct Stage {
  const char* name;
  const char* label;
  void (*function)(benchmark::State&);
};

constexpr Stage kStages[] = {
    {"tight_writer", "tight writer, values to bytes (touched memory)", tightWriter},
    {"conversion", "1 conversion, values to records (touched)", conversion},
    {"encoding", "2 encodeSnapshot of records (touched)", encoding},
    {"tight_writer_fresh", "tight writer into new memory", tightWriterFresh},
    {"fresh_pass", "one pass writing the document into new memory", freshPass},
    {"v8_layout", "the document laid out for V8 (UTF-16: new memory)", layOutForV8},
    {"exported_snapshot", "3 tavimo_calendar_snapshot end to end (new memory)", exportedSnapshot},
    {"exported_snapshot_reused", "3 again, into memory freed by the call before",
     exportedSnapshotReused},
    {"nlohmann_route", "4 nlohmann-json route end to end (new memory)", nlohmannRoute},
};

// Keeps every run for the table, and prints them as the console does.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  struct Result {
    double nsPerEvent;
    double megabytesPerSecond;
    double allocationsPerEvent;
    double allocatedBytesPerEvent;
    double bytesPerEvent;
  };
  std::map<std::pair<std::string, std::size_t>, Result> results;

  CollectingReporter() : ConsoleReporter(OO_Tabular) {}  // plain text, no colours

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
      const std::string name = run.benchmark_name();
      const auto slash = name.find('/');
      const std::string stage = name.substr(0, slash);
      const auto size = static_cast<std::size_t>(std::stoull(name.substr(slash + 1)));
      const double events = run.counters.at("events");
      // The process's CPU time, not the wall clock: on a shared machine other
      // work takes turns with the benchmark, while page faults, the costly
      // part of new memory, are charged to it either way.
      const double realSeconds = run.real_accumulated_time / static_cast<double>(run.iterations);
      const double seconds = run.cpu_accumulated_time / static_cast<double>(run.iterations);
      const double bytes = run.counters.at("bytes_per_second") * realSeconds;
      const Result result{seconds * 1e9 / events, bytes / seconds / 1e6,
                          run.counters.at("allocs/event"), run.counters.at("B_alloc/event"),
                          bytes / events};
      // Of repeated runs the fastest counts: other work on the machine only
      // ever adds time.
      const auto [slot, added] = results.try_emplace({stage, size}, result);
      if (!added && result.nsPerEvent < slot->second.nsPerEvent) slot->second = result;
    }
  }
};

void printTable(const CollectingReporter& reporter, std::FILE* out) {
  std::fprintf(out, "\n%-10s %-54s %10s %9s %13s %12s\n", "events", "stage", "ns/event",
               "MB/s", "allocs/event", "bytes alloc");
  for (const std::size_t size : options.sizes) {
    const auto find = [&](const char* stage) -> const CollectingReporter::Result* {
      const auto found = reporter.results.find({stage, size});
      return found == reporter.results.end() ? nullptr : &found->second;
    };
    std::size_t events = size;
    for (const Stage& stage : kStages) {
      const auto* result = find(stage.name);
      if (result == nullptr) continue;
      events = eventCountOf(*preparedBySize.at(size));
      std::fprintf(out, "%-10zu %-54s %10.1f %9.0f %13.3f %12.0f\n", events, stage.label,
                   result->nsPerEvent, result->megabytesPerSecond, result->allocationsPerEvent,
                   result->allocatedBytesPerEvent);
    }
    const auto* tight = find("tight_writer");
    const auto* converted = find("conversion");
    const auto* encoded = find("encoding");
    const auto* fresh = find("fresh_pass");
    const auto* tightFresh = find("tight_writer_fresh");
    const auto* exported = find("exported_snapshot");
    const auto* general = find("nlohmann_route");
    if (converted && encoded && tight) {
      const double both = converted->nsPerEvent + encoded->nsPerEvent;
      std::fprintf(out, "%-10zu   1+2 = %.1f ns/event = %.2f x tight writer (target <= 1.5)\n",
                   events, both, both / tight->nsPerEvent);
    }
    if (exported && tightFresh) {
      std::fprintf(out, "%-10zu   3 = %.2f x tight writer into new memory (target <= 1.3)\n",
                   events, exported->nsPerEvent / tightFresh->nsPerEvent);
    }
    if (exported && fresh) {
      std::fprintf(out, "%-10zu   3 = %.2f x one pass into new memory (for comparison)\n", events,
                   exported->nsPerEvent / fresh->nsPerEvent);
    }
    if (const auto* layout = find("v8_layout"); layout && fresh) {
      std::fprintf(out, "%-10zu   laid out for V8 = %.2f x one pass into new memory\n", events,
                   layout->nsPerEvent / fresh->nsPerEvent);
    }
    if (exported && general) {
      std::fprintf(out, "%-10zu   nlohmann route = %.1f x slower than 3 (target >= 4)\n", events,
                   general->nsPerEvent / exported->nsPerEvent);
    }
    if (encoded) {
      std::fprintf(out, "%-10zu   document: %.1f bytes per event\n", events, encoded->bytesPerEvent);
    }
  }
}

void writeSummary(const CollectingReporter& reporter) {
  std::ofstream file(options.summary, std::ios::trunc);
  file << "{\"results\":[";
  bool first = true;
  for (const auto& [key, result] : reporter.results) {
    if (!first) file << ",";
    first = false;
    file << "{\"stage\":\"" << key.first << "\",\"size\":" << key.second
         << ",\"events\":" << eventCountOf(*preparedBySize.at(key.second))
         << ",\"nsPerEvent\":" << result.nsPerEvent << ",\"mbPerSecond\":" << result.megabytesPerSecond
         << ",\"allocsPerEvent\":" << result.allocationsPerEvent
         << ",\"bytesPerEvent\":" << result.bytesPerEvent << "}";
  }
  file << "]}\n";
}

std::vector<std::size_t> parseSizes(const std::string& text) {
  std::vector<std::size_t> sizes;
  std::size_t begin = 0;
  while (begin <= text.size()) {
    const std::size_t comma = std::min(text.find(',', begin), text.size());
    sizes.push_back(static_cast<std::size_t>(std::stoull(text.substr(begin, comma - begin))));
    begin = comma + 1;
  }
  return sizes;
}

// Takes our own options out of argv, leaving Google Benchmark's.
void parseOptions(int& argc, char** argv) {
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::runtime_error(argument + " needs a value");
      return argv[++i];
    };
    if (argument == "--events") {
      options.sizes = parseSizes(value());
    } else if (argument == "--store") {
      options.store = value();
    } else if (argument == "--summary") {
      options.summary = value();
    } else if (argument == "--write-store") {
      options.writeStore = value();
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  if (!options.store.empty()) options.sizes = {0};  // one size: the document's
}

// Rounds of every stage one after the other, rather than the repetitions of
// one stage in a row: a busy spell of the machine then slows one round of
// several stages instead of every run of one, and the table takes the fastest
// round of each.
template <typename Select>
void registerStages(Select select) {
  for (const std::size_t size : options.sizes) {
    // The slow route over a million events takes long enough to measure once.
    const int rounds = size < 1'000'000 ? 3 : 2;
    for (int round = 0; round < rounds; ++round) {
      for (const Stage& stage : kStages) {
        if (!select(stage) || (stage.function == nlohmannRoute && round > 0 && size >= 1'000'000)) {
          continue;
        }
        benchmark::RegisterBenchmark(stage.name, stage.function)
            ->Arg(static_cast<std::int64_t>(size))
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
      }
    }
  }
}

int run(int argc, char** argv) {
  parseOptions(argc, argv);
  if (!options.writeStore.empty()) {
    writeStoreDocument(loadWorkload(options.sizes.front()), options.writeStore);
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  // The nlohmann-json route last, for every size: it leaves the heap
  // fragmented, which would slow the allocations of the stages after it.
  registerStages([](const Stage& stage) { return stage.function != nlohmannRoute; });
  registerStages([](const Stage& stage) { return stage.function == nlohmannRoute; });
  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  printTable(reporter, stdout);
  if (!options.summary.empty()) writeSummary(reporter);
  return 0;
}

}  // namespace
}  // namespace vantrel::bench

int main(int argc, char** argv) {
  try {
    return vantrel::bench::run(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vantrel_bench: %s\n", error.what());
    return 1;
  }
}
