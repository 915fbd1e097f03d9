// Just enough of Node-API, and of the C functions of the core, to drive
// the module's native code through paths a real host cannot be made to take:
// Node-API calls that fail, a core that gives nothing, memory that runs out.
#pragma once

#include <node_api.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "tavimo_calendar.h"
#include "vantrel_host.h"

namespace fake_napi {

struct Value {
  enum class Kind { undefined, boolean, string, error, function, object, promise, number };
  Kind kind = Kind::undefined;
  std::string text;  // string: its bytes; error: its message
  bool flag = false;
  napi_callback function = nullptr;
  double number = 0;
  std::map<std::string, napi_value> members{};  // object: its properties
  // A function of JavaScript: its body, given the arguments.
  std::function<napi_value(const std::vector<napi_value>&)> body{};
};

struct Settlement {
  bool resolved;
  Value value;
};

struct ThreadsafeFunction {
  std::string name;
  void* context = nullptr;
  napi_threadsafe_function_call_js callJs = nullptr;
  napi_value function = nullptr;
  napi_finalize finalize = nullptr;
  void* finalizeData = nullptr;
  std::vector<void*> queued;
  int released = 0;
  // As Node: deleted once released by its one thread, or when the environment
  // ends; calling it after that is a use after free in a real host.
  bool finalized = false;
};

// Queued async work, run when the test says (runAsyncWork).
struct AsyncWork {
  napi_async_execute_callback execute = nullptr;
  napi_async_complete_callback complete = nullptr;
  void* data = nullptr;
  bool queued = false;
  bool deleted = false;
};

// What the host does with node_api_create_external_string_latin1 and _utf16:
// has none (the module cannot find them), keeps the characters until the
// environment ends (as V8 until it collects the string), copies them and
// calls the finalizer at once (a V8 sandbox), or fails.
enum class ExternalStrings { absent, kept, copied, failing };

struct Host {
  std::deque<Value> values;  // a deque: napi_values point into it
  std::vector<std::pair<std::string, napi_value>> properties;  // of the exports
  std::vector<napi_value> arguments;                            // of the next call
  std::vector<std::string> thrown;
  std::deque<std::optional<Settlement>> promises;  // deferred handles point into it
  std::deque<ThreadsafeFunction> threadsafeFunctions;
  std::deque<AsyncWork> asyncWorks;

  napi_value global = nullptr;  // with `process` and `process.env`
  // V8 aborts the process when asked for a longer string; the fake throws.
  std::size_t stringLimit = SIZE_MAX;
  ExternalStrings externalStrings = ExternalStrings::kept;
  std::vector<std::string> externalStringsMade;  // "latin1" or "utf16", and the length
  bool exceptionPending = false;
  std::vector<std::pair<napi_cleanup_hook, void*>> cleanupHooks;
  // Finalizers of objects, run when the environment ends (nothing is collected).
  std::vector<std::tuple<napi_finalize, void*, void*>> finalizers;  // with the hint

  // Failures to inject.
  bool failStrings = false;
  bool failThreadsafeFunctions = false;
  bool failCalloc = false;
  // An environment that ends: no JavaScript runs, so no promise settles.
  bool javaScriptStopped = false;
  bool failAsyncWork = false;

  napi_value make(Value value);
};

// What the fake core was asked and hands out.
struct Core {
  std::optional<std::string> snapshotJson;
  std::optional<std::string> snapshotFailure;
  std::optional<std::string> diagnosticsJson;
  int snapshotCalls = 0;
  std::vector<std::pair<tavimo_calendar_access_callback, void*>> accessRequests;
  bool refuseWatches = false;
  std::optional<std::string> watchFailure;  // why a refused watch was refused
  std::vector<std::pair<tavimo_calendar_change_callback, void*>> watchCallbacks;
  int watchesRunning = 0;
  int textsHandedOut = 0;
  std::atomic<int> textsFreed = 0;  // large ones are freed on a thread of the module's
  // The stand-in variable's values handed in, innermost last (nullopt: unset),
  // and the innermost one at each call into the core ("<environment>": none
  // handed in, the layer would read the environment).
  std::vector<std::optional<std::string>> variables;
  std::vector<std::string> variableAtCalls;
};

Host& host();
Core& core();
void reset();

napi_env env();
// Ends the environment as Node does: the cleanup hooks run, newest first; every
// thread-safe function not yet deleted is finalized, then its queued calls run
// with no environment; then the objects' finalizers run.
void endEnvironment();
napi_value string(const std::string& text);
napi_value number();
napi_value object(std::map<std::string, napi_value> members = {});
// globalThis, with `process` and `process.env`.
napi_value global();
// Sets process.env.VANTREL_STANDIN_STORE (nullopt: deletes it).
void setStoreVariable(const std::optional<std::string>& value);
// process.getBuiltinModule('buffer').constants.MAX_STRING_LENGTH is `limit`,
// which the fake host then also enforces; nullopt: no getBuiltinModule.
void setEngineStringLimit(std::optional<double> limit);
// Calls the registered JavaScript function `name` with `arguments`.
napi_value call(const std::string& name, std::vector<napi_value> arguments = {});
// Runs every queued async work: its execute, then its complete with `status`
// (napi_cancelled: as Node does for work it dropped, without the execute).
void runAsyncWork(napi_status status = napi_ok);
const Value& valueOf(napi_value value);

}  // namespace fake_napi
