// The module's native code on the paths a real host cannot be made to take:
// Node-API calls that fail, a core that gives nothing, memory that runs out,
// and teardown. Every text of the core must be handed back on each of them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <utility>

#include "fake_node_api.h"

extern "C" napi_value napi_register_module_v1(napi_env env, napi_value exports);
extern "C" int32_t node_api_module_get_api_version_v1(void);

namespace {

using fake_napi::core;
using fake_napi::host;
using fake_napi::Value;
using ::testing::ElementsAre;

class ModuleFailurePathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_napi::reset();
    napi_value exports = host().make({Value::Kind::object, "", false, nullptr});
    ASSERT_EQ(napi_register_module_v1(fake_napi::env(), exports), exports);
  }
  void TearDown() override { EXPECT_EQ(core().textsFreed, core().textsHandedOut); }

  static const fake_napi::Settlement& settlement(size_t promise = 0) {
    static const fake_napi::Settlement none{false, {}};
    const auto& slot = host().promises.at(promise);
    return slot ? *slot : none;
  }

  // Delivers the one queued answer on the "JavaScript thread".
  static void runQueued(napi_env env = fake_napi::env()) {
    ASSERT_EQ(host().threadsafeFunctions.size(), 1u);
    auto& function = host().threadsafeFunctions.front();
    ASSERT_EQ(function.queued.size(), 1u);
    void* data = function.queued.front();
    function.queued.clear();
    function.callJs(env, nullptr, function.context, data);
  }

  // Starts a request and answers it from the "answering thread".
  static void requestAndAnswer(std::uint8_t granted, const char* message) {
    fake_napi::call("requestAccess");
    ASSERT_EQ(core().accessRequests.size(), 1u);
    auto [callback, context] = core().accessRequests.front();
    callback(granted, message, context);
  }
};

TEST_F(ModuleFailurePathsTest, RegistersItsFunctionsForNodeApiVersion8) {
  std::vector<std::string> names;
  for (const auto& property : host().properties) names.push_back(property.first);
  EXPECT_THAT(names, ElementsAre("snapshot", "diagnostics", "requestAccess", "snapshotAsync",
                                 "detailsAsync", "watchChanges", "snapshotOfCalendarsAsync",
                                 "detailsOfCalendarsAsync", "rangeWatchReadAsync",
                                 "unavailableReason"));
  EXPECT_EQ(node_api_module_get_api_version_v1(), 8);
}

TEST_F(ModuleFailurePathsTest, SnapshotThrowsTheFixedMessagesAndHandsEveryTextBack) {
  struct Case {
    std::optional<std::string> json;
    std::optional<std::string> failure;
    bool failStrings;
    const char* thrown;
  } cases[] = {
      {std::nullopt, std::nullopt, false, "System calendar sync failed."},
      {std::nullopt, "Calendar access was not granted (denied).", false,
       "Calendar access was not granted (denied)."},
      {"{}", std::nullopt, true, "The macOS Vantrel returned an invalid response."},
      {std::nullopt, "", false, "System calendar sync failed."},  // never Error("")
  };
  for (const Case& c : cases) {
    fake_napi::reset();
    SetUp();
    core().snapshotJson = c.json;
    core().snapshotFailure = c.failure;
    host().failStrings = c.failStrings;
    EXPECT_EQ(fake_napi::call("snapshot", {fake_napi::string("a"), fake_napi::string("b")}),
              nullptr);
    EXPECT_THAT(host().thrown, ElementsAre(c.thrown));
    EXPECT_EQ(core().textsFreed, core().textsHandedOut);

    // snapshotAsync rejects with the same text, and frees its work; with no
    // string to be had there is no Error to reject with either.
    if (c.failStrings) continue;
    host().thrown.clear();
    EXPECT_NE(fake_napi::call("snapshotAsync", {fake_napi::string("a"), fake_napi::string("b")}),
              nullptr);
    fake_napi::runAsyncWork();
    EXPECT_TRUE(host().thrown.empty());
    EXPECT_FALSE(settlement().resolved);
    EXPECT_EQ(settlement().value.text, c.thrown);
    EXPECT_TRUE(host().asyncWorks.at(0).deleted);
    EXPECT_EQ(core().textsFreed, core().textsHandedOut);
  }
}

TEST_F(ModuleFailurePathsTest, SnapshotAsyncThatCannotStartRejectsWithoutReachingTheCore) {
  const std::string syncFailed = "System calendar sync failed.";
  const auto twoDates = [] { return std::vector{fake_napi::string("a"), fake_napi::string("b")}; };
  core().snapshotJson = "{}";

  host().failCalloc = true;
  EXPECT_NE(fake_napi::call("snapshotAsync", twoDates()), nullptr);
  host().failCalloc = false;
  host().failAsyncWork = true;
  EXPECT_NE(fake_napi::call("snapshotAsync", twoDates()), nullptr);
  host().failAsyncWork = false;
  // Dropped by the host before it ran (a worker that ends, say).
  EXPECT_NE(fake_napi::call("snapshotAsync", twoDates()), nullptr);
  fake_napi::runAsyncWork(napi_cancelled);

  EXPECT_TRUE(host().thrown.empty());
  for (std::size_t promise = 0; promise < 3; ++promise) {
    EXPECT_FALSE(settlement(promise).resolved) << promise;
    EXPECT_EQ(settlement(promise).value.text, syncFailed) << promise;
  }
  EXPECT_EQ(core().snapshotCalls, 0);
}

TEST_F(ModuleFailurePathsTest, AnEnvironmentThatEndsReadsNoMoreThanItsPoolHadBegun) {
  core().snapshotJson = "{}";
  const auto tenReads = [] {
    for (int i = 0; i < 10; ++i) {
      EXPECT_NE(fake_napi::call("snapshotAsync", {fake_napi::string("a"), fake_napi::string("b")}),
                nullptr);
    }
  };
  tenReads();
  fake_napi::runAsyncWork();  // each one that completes hands over the next
  EXPECT_EQ(core().snapshotCalls, 10);
  for (std::size_t promise = 0; promise < 10; ++promise) EXPECT_TRUE(settlement(promise).resolved);
  tenReads();
  host().javaScriptStopped = true;
  fake_napi::runAsyncWork();
  fake_napi::endEnvironment();
  EXPECT_EQ(core().snapshotCalls, 14) << "reads were begun for an environment that had ended";
  for (const auto& work : host().asyncWorks) EXPECT_TRUE(work.deleted);
  EXPECT_EQ(core().textsFreed, core().textsHandedOut);
}

TEST_F(ModuleFailurePathsTest, SnapshotArgumentsThatAreNotTwoPlainStringsNeverReachTheCore) {
  std::vector<std::vector<napi_value>> cases = {
      {fake_napi::string("a")},
      {fake_napi::string("a"), fake_napi::number()},
      {fake_napi::string(std::string("2026-03-02T09:00:00Z\0x", 22)), fake_napi::string("b")},
  };
  for (auto& arguments : cases) {
    host().thrown.clear();
    EXPECT_EQ(fake_napi::call("snapshot", arguments), nullptr);
    EXPECT_THAT(host().thrown, ElementsAre("snapshot(startIso, endIso) requires two strings."));
    // snapshotAsync rejects with the same text instead of throwing.
    host().thrown.clear();
    EXPECT_NE(fake_napi::call("snapshotAsync", arguments), nullptr);
    EXPECT_TRUE(host().thrown.empty());
    EXPECT_FALSE(settlement(host().promises.size() - 1).resolved);
    EXPECT_EQ(settlement(host().promises.size() - 1).value.text,
              "snapshot(startIso, endIso) requires two strings.");
  }
  EXPECT_TRUE(host().asyncWorks.empty());
  EXPECT_EQ(core().snapshotCalls, 0);
}

TEST_F(ModuleFailurePathsTest, DiagnosticsUnavailableWhenTheCoreOrTheStringFails) {
  EXPECT_EQ(fake_napi::call("diagnostics"), nullptr);
  core().diagnosticsJson = "{}";
  host().failStrings = true;
  EXPECT_EQ(fake_napi::call("diagnostics"), nullptr);
  EXPECT_THAT(host().thrown, ElementsAre("Calendar diagnostics are unavailable.",
                                         "Calendar diagnostics are unavailable."));
}

TEST_F(ModuleFailurePathsTest, RequestAccessWithoutMemoryForItsContextThrows) {
  host().failCalloc = true;
  EXPECT_EQ(fake_napi::call("requestAccess"), nullptr);
  EXPECT_THAT(host().thrown, ElementsAre("Calendar access request failed."));
  EXPECT_TRUE(core().accessRequests.empty());
}

TEST_F(ModuleFailurePathsTest, NoThreadsafeFunctionRejectsTheReturnedPromise) {
  host().failThreadsafeFunctions = true;
  napi_value promise = fake_napi::call("requestAccess");
  ASSERT_NE(promise, nullptr);
  EXPECT_EQ(fake_napi::valueOf(promise).kind, Value::Kind::promise);
  EXPECT_TRUE(host().thrown.empty());
  EXPECT_FALSE(settlement().resolved);
  EXPECT_EQ(settlement().value.text, "Calendar access request failed.");
  EXPECT_TRUE(core().accessRequests.empty());
}

TEST_F(ModuleFailurePathsTest, AWatchThatCannotStartThrowsAndLeavesNothingRunning) {
  napi_value listener = host().make({Value::Kind::function, "listener", false, nullptr});
  const std::string why = "Calendar changes cannot be watched (/s.json): its directory does not exist.";
  struct Case {
    bool failCalloc;
    bool failThreadsafeFunctions;
    bool refuseWatches;
    std::optional<std::string> failure;  // the core's reason
  } cases[] = {{true, false, false, {}}, {false, true, false, {}}, {false, false, true, {}},
               {false, false, true, why}};
  for (const Case& c : cases) {
    host().thrown.clear();
    host().failCalloc = c.failCalloc;
    host().failThreadsafeFunctions = c.failThreadsafeFunctions;
    core().refuseWatches = c.refuseWatches;
    core().watchFailure = c.failure;
    EXPECT_EQ(fake_napi::call("watchChanges", {listener}), nullptr);
    EXPECT_THAT(host().thrown, ElementsAre(c.failure.value_or("Calendar changes cannot be watched.")));
    EXPECT_EQ(core().textsFreed, core().textsHandedOut);
    EXPECT_EQ(core().watchesRunning, 0);
    EXPECT_TRUE(host().cleanupHooks.empty());
    for (const auto& function : host().threadsafeFunctions) EXPECT_TRUE(function.finalized);
  }
}

TEST_F(ModuleFailurePathsTest, AtMostOneListenerCallWaitsPerWatch) {
  int calls = 0;
  napi_value listener = host().make({Value::Kind::function, "listener", false, nullptr, 0, {},
                                     [&calls](const std::vector<napi_value>&) {
                                       ++calls;
                                       return nullptr;
                                     }});
  ASSERT_NE(fake_napi::call("watchChanges", {listener}), nullptr);
  const auto [changed, context] = core().watchCallbacks.back();
  auto& function = host().threadsafeFunctions.back();
  for (int round = 1; round <= 2; ++round) {
    for (int i = 0; i < 5; ++i) changed(context);
    EXPECT_EQ(function.queued.size(), 1u);
    for (void* data : std::exchange(function.queued, {})) {
      function.callJs(fake_napi::env(), function.function, function.context, data);
    }
    EXPECT_EQ(calls, round);
  }
  fake_napi::endEnvironment();
}

TEST_F(ModuleFailurePathsTest, AnEnvironmentThatEndsStopsItsWatchesBeforeDeletingTheirFunctions) {
  napi_value listener = host().make({Value::Kind::function, "listener", false, nullptr});
  for (int i = 0; i < 3; ++i) ASSERT_NE(fake_napi::call("watchChanges", {listener}), nullptr);
  EXPECT_EQ(core().watchesRunning, 3);
  fake_napi::endEnvironment();
  EXPECT_EQ(core().watchesRunning, 0);
  for (const auto& function : host().threadsafeFunctions) EXPECT_TRUE(function.finalized);
}

TEST_F(ModuleFailurePathsTest, AnswersSettleThePromiseAndReleaseTheFunction) {
  struct Case {
    std::uint8_t granted;
    const char* message;
    bool resolved;
    Value::Kind kind;
    std::string text;
  } cases[] = {
      {1, nullptr, true, Value::Kind::boolean, ""},
      {0, "Calendar access was not granted (denied).", false, Value::Kind::error,
       "Calendar access was not granted (denied)."},
      {0, nullptr, false, Value::Kind::error, "Calendar access was not granted."},
      {0, "", false, Value::Kind::error, "Calendar access was not granted."},
  };
  for (const Case& c : cases) {
    fake_napi::reset();
    SetUp();
    requestAndAnswer(c.granted, c.message);
    EXPECT_FALSE(host().promises.front()) << "settled before the JavaScript thread ran";
    runQueued();
    EXPECT_EQ(host().threadsafeFunctions.front().name, "EventKitAccess");
    EXPECT_EQ(settlement().resolved, c.resolved);
    EXPECT_EQ(settlement().value.kind, c.kind);
    EXPECT_EQ(settlement().value.flag, c.resolved);
    EXPECT_EQ(settlement().value.text, c.text);
    EXPECT_EQ(host().threadsafeFunctions.front().released, 1);
  }
}

TEST_F(ModuleFailurePathsTest, AnAnswerWithoutMemoryForItsCopyStillSettlesAndReleases) {
  fake_napi::call("requestAccess");
  auto [callback, context] = core().accessRequests.front();
  host().failCalloc = true;
  callback(1, nullptr, context);
  host().failCalloc = false;
  runQueued();
  EXPECT_FALSE(settlement().resolved);
  EXPECT_EQ(settlement().value.text, "Calendar access request failed.");
  EXPECT_EQ(host().threadsafeFunctions.front().released, 1);
}

TEST_F(ModuleFailurePathsTest, AnEnvironmentThatEndsFreesEverythingWithoutSettling) {
  // The answer arrives before the end, after it, or both ways at once in a
  // batch: under the address sanitizer, each context and answer is freed once.
  enum class Answer { before, after };
  for (Answer when : {Answer::before, Answer::after}) {
    fake_napi::reset();
    SetUp();
    for (int i = 0; i < 3; ++i) fake_napi::call("requestAccess");
    auto answerAll = [] {
      for (auto [callback, context] : core().accessRequests) {
        callback(0, "Calendar access was not granted (denied).", context);
      }
    };
    if (when == Answer::before) answerAll();
    fake_napi::endEnvironment();
    // Calling a deleted thread-safe function throws in the fake host.
    if (when == Answer::after) {
      EXPECT_NO_THROW(answerAll());
    }
    for (const auto& function : host().threadsafeFunctions) {
      EXPECT_TRUE(function.finalized);
      EXPECT_TRUE(function.queued.empty());
      EXPECT_EQ(function.released, 0);
    }
    for (size_t i = 0; i < host().promises.size(); ++i) EXPECT_FALSE(host().promises[i]);
  }
}

// V8 ends the process rather than fail on a string longer than its limit, so
// the module measures every text first (in UTF-16 code units, past the floor
// this build lowers to 16) against the limit the engine gives; the fake host
// throws if a longer string is ever asked for. snapshotAsync lays its text out
// as Latin-1 or UTF-16 on the pool, and resolves with the string snapshot()
// returns whatever the host does with external strings.
TEST_F(ModuleFailurePathsTest, TextsTooLongForAStringAreRefusedBeforeOneIsMade) {
  using Texts = std::vector<std::string>;
  const std::string invalid = "The macOS Vantrel returned an invalid response.";
  const auto repeat = [](const std::string& text, int times) {
    std::string result;
    for (int i = 0; i < times; ++i) result += text;
    return result;
  };
  const struct {
    const char* what;
    std::optional<double> limit;  // nullopt: the engine cannot be asked
    std::string text;
    bool fits;
    const char* layout;  // of the external string, where one is made
  } cases[] = {
      {"ASCII at the limit", 60, std::string(60, 'x'), true, "latin1 60"},
      {"ASCII past it", 60, std::string(61, 'x'), false, ""},
      {"two-byte sequences at the limit", 60, repeat("\u00e9", 60), true, "latin1 60"},
      {"two-byte sequences past it", 60, repeat("\u00e9", 61), false, ""},
      {"characters past Latin-1 at the limit", 60, repeat("\u20ac", 60), true, "utf16 60"},
      {"Latin-1, then past it, at the limit", 60, repeat("x\u00e9", 29) + "\u0101x", true,
       "utf16 60"},
      {"surrogate pairs at the limit", 60, repeat("\U0001F4C5", 30), true, "utf16 60"},
      {"surrogate pairs past it", 60, repeat("\U0001F4C5", 30) + "x", false, ""},
      {"no engine to ask: V8's own limit", std::nullopt, std::string(61, 'x'), true, "latin1 61"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto fresh = [&] {
      fake_napi::reset();
      SetUp();
      fake_napi::setEngineStringLimit(c.limit);
    };
    const auto twoDates = [] {
      return std::vector{fake_napi::string("a"), fake_napi::string("b")};
    };

    fresh();
    core().snapshotJson = c.text;
    napi_value snapshot = fake_napi::call("snapshot", twoDates());
    EXPECT_EQ(snapshot != nullptr, c.fits);
    EXPECT_EQ(host().thrown, c.fits ? Texts{} : Texts{invalid});

    const std::string fromSnapshot = c.fits ? fake_napi::valueOf(snapshot).text : invalid;
    using fake_napi::ExternalStrings;
    for (auto externalStrings : {ExternalStrings::absent, ExternalStrings::kept,
                                 ExternalStrings::copied, ExternalStrings::failing}) {
      fresh();
      host().externalStrings = externalStrings;
      napi_register_module_v1(fake_napi::env(), fake_napi::object());  // looks them up again
      core().snapshotJson = c.text;
      fake_napi::call("snapshotAsync", twoDates());
      fake_napi::runAsyncWork();
      fake_napi::endEnvironment();
      EXPECT_EQ(settlement().resolved, c.fits);
      EXPECT_EQ(settlement().value.text, fromSnapshot);
      const bool external = c.fits && externalStrings != ExternalStrings::absent &&
                            externalStrings != ExternalStrings::failing;
      EXPECT_EQ(host().externalStringsMade, external ? Texts{c.layout} : Texts{});
      EXPECT_EQ(core().textsFreed, core().textsHandedOut);
    }
    // No memory for UTF-16 on the pool: the text is UTF-8 again, made as before.
    fresh();
    core().snapshotJson = c.text;
    fake_napi::call("snapshotAsync", twoDates());
    host().failCalloc = true;
    fake_napi::runAsyncWork();
    host().failCalloc = false;
    fake_napi::endEnvironment();
    EXPECT_EQ(settlement().value.text, fromSnapshot);
    EXPECT_EQ(core().textsFreed, core().textsHandedOut);

    fresh();
    core().snapshotFailure = c.text;
    fake_napi::call("snapshot", twoDates());
    EXPECT_THAT(host().thrown, ElementsAre(c.fits ? c.text : invalid));

    fresh();
    core().diagnosticsJson = c.text;
    napi_value diagnostics = fake_napi::call("diagnostics");
    EXPECT_EQ(diagnostics != nullptr, c.fits);
    EXPECT_EQ(host().thrown, c.fits ? Texts{} : Texts{"Calendar diagnostics are unavailable."});

    fresh();
    requestAndAnswer(0, c.text.c_str());
    runQueued();
    EXPECT_FALSE(settlement().resolved);
    EXPECT_EQ(settlement().value.text, c.fits ? c.text : invalid);
    EXPECT_EQ(core().textsFreed, core().textsHandedOut);
  }
}

// A document's characters, once the engine lets go of them, are freed by a
// thread of the module's own, each exactly once and by whoever allocated them.
TEST_F(ModuleFailurePathsTest, LargeExternalStringsAreFreedOnceElsewhere) {
  for (const std::string unit : {"x", "\u20ac"}) {  // Latin-1, then UTF-16
    fake_napi::reset();
    SetUp();
    core().snapshotJson.emplace();
    for (int i = 0; i < 100000; ++i) *core().snapshotJson += unit;
    fake_napi::call("snapshotAsync", {fake_napi::string("a"), fake_napi::string("b")});
    fake_napi::runAsyncWork();
    fake_napi::endEnvironment();
    EXPECT_EQ(settlement().value.text, *core().snapshotJson);
    for (int i = 0; i < 500 && core().textsFreed != core().textsHandedOut; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(core().textsFreed, core().textsHandedOut);
  }
}

// The stand-in's variable is read through process.env on the JavaScript
// thread, where Node guards the environment with its own lock, and handed to
// the layer around each call, never left behind.
TEST_F(ModuleFailurePathsTest, TheStoreVariableIsHandedInAroundEachCall) {
  fake_napi::setStoreVariable("/stores/a.json");
  fake_napi::call("snapshot", {fake_napi::string("a"), fake_napi::string("b")});
  fake_napi::setStoreVariable(std::nullopt);
  fake_napi::call("diagnostics");
  fake_napi::setStoreVariable("/stores/b.json");
  fake_napi::call("requestAccess");
  // snapshotAsync reads it when called, on the JavaScript thread, not when
  // the pool's thread gets to the work.
  fake_napi::setStoreVariable("/stores/c.json");
  fake_napi::call("snapshotAsync", {fake_napi::string("a"), fake_napi::string("b")});
  fake_napi::setStoreVariable("/stores/d.json");
  fake_napi::runAsyncWork();
  EXPECT_THAT(core().variableAtCalls,
              ElementsAre("/stores/a.json", "<unset>", "/stores/b.json", "/stores/c.json"));
  EXPECT_TRUE(core().variables.empty());
  auto [callback, context] = core().accessRequests.front();
  callback(1, nullptr, context);
  runQueued();

  // No process.env to read: the layer reads the environment itself.
  fake_napi::reset();
  SetUp();
  host().global = fake_napi::object();
  fake_napi::call("diagnostics");
  EXPECT_THAT(core().variableAtCalls, ElementsAre("<environment>"));
}

}  // namespace
