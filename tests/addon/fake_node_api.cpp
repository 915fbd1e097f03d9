#include "fake_node_api.h"

#include "vantrel_host.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace fake_napi {

namespace {
std::unique_ptr<Host> hostInstance = std::make_unique<Host>();
std::unique_ptr<Core> coreInstance = std::make_unique<Core>();
// Each test's environment is another, as each worker's is in Node: the module
// may key what it keeps on it.
int envMarkers[4096];
int environment = 0;

char* handOut(const std::string& text) {
  ++core().textsHandedOut;
  return strdup(text.c_str());
}
}  // namespace

Host& host() { return *hostInstance; }
Core& core() { return *coreInstance; }
void reset() {
  hostInstance = std::make_unique<Host>();
  coreInstance = std::make_unique<Core>();
  environment = (environment + 1) % 4096;
}

namespace {
// What a call into the core sees of the variable.
void recordVariableAtCall() {
  const auto& variables = core().variables;
  core().variableAtCalls.push_back(
      variables.empty() ? "<environment>" : variables.back().value_or("<unset>"));
}
}  // namespace

napi_value Host::make(Value value) {
  values.push_back(std::move(value));
  return reinterpret_cast<napi_value>(&values.back());
}

napi_env env() { return reinterpret_cast<napi_env>(&envMarkers[environment]); }

namespace {
void finalize(ThreadsafeFunction& function) {
  function.finalized = true;
  if (function.finalize != nullptr) function.finalize(env(), function.finalizeData, nullptr);
}
}  // namespace

void endEnvironment() {
  while (!host().cleanupHooks.empty()) {
    auto [hook, argument] = host().cleanupHooks.back();
    host().cleanupHooks.pop_back();
    hook(argument);
  }
  for (ThreadsafeFunction& function : host().threadsafeFunctions) {
    if (function.finalized) continue;
    finalize(function);
    for (void* data : function.queued) function.callJs(nullptr, nullptr, function.context, data);
    function.queued.clear();
  }
  for (auto [run, data, hint] : host().finalizers) run(env(), data, hint);
  host().finalizers.clear();
}

napi_value string(const std::string& text) {
  return host().make({Value::Kind::string, text, false, nullptr});
}

napi_value number() { return host().make({Value::Kind::object, "", false, nullptr}); }

napi_value object(std::map<std::string, napi_value> members) {
  Value value{Value::Kind::object, "", false, nullptr};
  value.members = std::move(members);
  return host().make(std::move(value));
}

namespace {
Value& mutableValue(napi_value value) { return *reinterpret_cast<Value*>(value); }

Value& process() { return mutableValue(mutableValue(global()).members.at("process")); }
}  // namespace

napi_value global() {
  if (host().global == nullptr) {
    // Electron's main process, which turns the main thread's run loop itself:
    // the module starts no interval of its own under this host.
    host().global = object({{"process", object({{"env", object()},
                                                {"versions", object({{"electron", string("33.0.0")}})},
                                                {"type", string("browser")}})}});
  }
  return host().global;
}

void setStoreVariable(const std::optional<std::string>& value) {
  auto& variables = mutableValue(process().members.at("env")).members;
  if (value) {
    variables["VANTREL_STANDIN_STORE"] = string(*value);
  } else {
    variables.erase("VANTREL_STANDIN_STORE");
  }
}

void setEngineStringLimit(std::optional<double> limit) {
  process().members.erase("getBuiltinModule");
  host().stringLimit = SIZE_MAX;
  if (!limit) return;
  host().stringLimit = static_cast<std::size_t>(*limit);
  Value getBuiltinModule{Value::Kind::function, "getBuiltinModule", false, nullptr};
  const double value = *limit;
  getBuiltinModule.body = [value](const std::vector<napi_value>& arguments) -> napi_value {
    if (arguments.size() != 1 || valueOf(arguments[0]).text != "buffer") return host().make({});
    Value number{Value::Kind::number, "", false, nullptr};
    number.number = value;
    return object({{"constants", object({{"MAX_STRING_LENGTH", host().make(number)}})}});
  };
  process().members["getBuiltinModule"] = host().make(std::move(getBuiltinModule));
}

const Value& valueOf(napi_value value) { return *reinterpret_cast<const Value*>(value); }

napi_value call(const std::string& name, std::vector<napi_value> arguments) {
  for (const auto& [property, function] : host().properties) {
    if (property != name) continue;
    host().arguments = std::move(arguments);
    return valueOf(function).function(env(), nullptr);
  }
  throw std::logic_error("no function " + name);
}

void runAsyncWork(napi_status status) {
  for (AsyncWork& work : host().asyncWorks) {
    if (!work.queued) continue;
    work.queued = false;
    if (status == napi_ok) work.execute(env(), work.data);
    work.complete(env(), status, work.data);
  }
}

namespace {
// Strings of other encodings keep their text as UTF-8, for comparison.
napi_status makeString(std::u16string_view units, napi_value* result) {
  if (host().failStrings) return napi_generic_failure;
  if (units.size() > host().stringLimit) throw std::logic_error("V8 would abort: a string too long");
  std::string text;
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t point = units[i];
    if (point >= 0xD800 && point < 0xDC00 && i + 1 < units.size()) {
      point = 0x10000 + ((point - 0xD800) << 10) + (units[++i] - 0xDC00);
    }
    if (point < 0x80) {
      text += static_cast<char>(point);
    } else if (point < 0x800) {
      text += {static_cast<char>(0xC0 | point >> 6), static_cast<char>(0x80 | (point & 0x3F))};
    } else if (point < 0x10000) {
      text += {static_cast<char>(0xE0 | point >> 12), static_cast<char>(0x80 | (point >> 6 & 0x3F)),
               static_cast<char>(0x80 | (point & 0x3F))};
    } else {
      text += {static_cast<char>(0xF0 | point >> 18), static_cast<char>(0x80 | (point >> 12 & 0x3F)),
               static_cast<char>(0x80 | (point >> 6 & 0x3F)), static_cast<char>(0x80 | (point & 0x3F))};
    }
  }
  *result = fake_napi::string(text);
  return napi_ok;
}

template <typename Character>
napi_status makeExternalString(napi_env env, Character* text, size_t length,
                                      napi_finalize finalize, void* hint, napi_value* result,
                                      bool* copied) {
  if (host().externalStrings == fake_napi::ExternalStrings::failing) return napi_generic_failure;
  const bool latin1 = sizeof(Character) == 1;
  napi_status status = latin1 ? napi_create_string_latin1(env, reinterpret_cast<char*>(text), length, result)
                              : napi_create_string_utf16(env, reinterpret_cast<char16_t*>(text), length, result);
  if (status != napi_ok) return status;
  host().externalStringsMade.push_back((latin1 ? "latin1 " : "utf16 ") + std::to_string(length));
  *copied = host().externalStrings == fake_napi::ExternalStrings::copied;
  if (*copied) {
    finalize(env, text, hint);
  } else {
    host().finalizers.emplace_back(finalize, text, hint);
  }
  return napi_ok;
}

}  // namespace

}  // namespace fake_napi

using fake_napi::host;
using fake_napi::Value;

extern "C" {

// The module's allocations of its per-request records go through here.
void* __real_calloc(size_t count, size_t size);
void* __wrap_calloc(size_t count, size_t size) {
  if (host().failCalloc) return nullptr;
  return __real_calloc(count, size);
}

napi_status napi_get_undefined(napi_env, napi_value* result) {
  *result = host().make({});
  return napi_ok;
}

napi_status napi_get_boolean(napi_env, bool value, napi_value* result) {
  *result = host().make({Value::Kind::boolean, "", value, nullptr});
  return napi_ok;
}

napi_status napi_create_string_utf8(napi_env, const char* text, size_t length,
                                    napi_value* result) {
  if (host().failStrings) return napi_generic_failure;
  std::string bytes = length == NAPI_AUTO_LENGTH ? std::string(text) : std::string(text, length);
  std::size_t units = 0;
  for (unsigned char byte : bytes) units += ((byte & 0xC0) != 0x80) + (byte >= 0xF0);
  if (units > host().stringLimit) throw std::logic_error("V8 would abort: a string too long");
  *result = fake_napi::string(bytes);
  return napi_ok;
}

napi_status napi_create_string_latin1(napi_env, const char* text, size_t length,
                                      napi_value* result) {
  std::u16string units(text, text + length);
  for (char16_t& unit : units) unit &= 0xFF;
  return fake_napi::makeString(units, result);
}

napi_status napi_create_string_utf16(napi_env, const char16_t* text, size_t length,
                                     napi_value* result) {
  return fake_napi::makeString(std::u16string_view(text, length), result);
}

NAPI_EXTERN napi_status node_api_create_external_string_latin1(napi_env env, char* text, size_t length,
                                                   napi_finalize finalize, void* hint,
                                                   napi_value* result, bool* copied) {
  return fake_napi::makeExternalString(env, text, length, finalize, hint, result, copied);
}

NAPI_EXTERN napi_status node_api_create_external_string_utf16(napi_env env, char16_t* text, size_t length,
                                                  napi_finalize finalize, void* hint,
                                                  napi_value* result, bool* copied) {
  return fake_napi::makeExternalString(env, text, length, finalize, hint, result, copied);
}

// The module finds those two in the process, unless the host has none.
void* __real_dlsym(void* handle, const char* name);
void* __wrap_dlsym(void* handle, const char* name) {
  if (host().externalStrings == fake_napi::ExternalStrings::absent &&
      std::strstr(name, "external_string") != nullptr) {
    return nullptr;
  }
  return __real_dlsym(handle, name);
}

napi_status napi_get_value_string_utf8(napi_env, napi_value value, char* buffer, size_t size,
                                       size_t* result) {
  const Value& v = fake_napi::valueOf(value);
  if (v.kind != Value::Kind::string) return napi_string_expected;
  if (buffer == nullptr) {
    *result = v.text.size();
    return napi_ok;
  }
  size_t copied = std::min(size - 1, v.text.size());
  std::memcpy(buffer, v.text.data(), copied);
  buffer[copied] = '\0';
  if (result) *result = copied;
  return napi_ok;
}

napi_status napi_get_global(napi_env, napi_value* result) {
  *result = fake_napi::global();
  return napi_ok;
}

napi_status napi_typeof(napi_env, napi_value value, napi_valuetype* result) {
  switch (fake_napi::valueOf(value).kind) {
    case Value::Kind::undefined: *result = napi_undefined; break;
    case Value::Kind::boolean: *result = napi_boolean; break;
    case Value::Kind::string: *result = napi_string; break;
    case Value::Kind::number: *result = napi_number; break;
    case Value::Kind::function: *result = napi_function; break;
    default: *result = napi_object; break;
  }
  return napi_ok;
}

napi_status napi_get_named_property(napi_env, napi_value object, const char* name,
                                    napi_value* result) {
  const Value& value = fake_napi::valueOf(object);
  if (value.kind == Value::Kind::undefined) return napi_object_expected;
  const auto member = value.members.find(name);
  *result = member != value.members.end() ? member->second : host().make({});
  return napi_ok;
}

napi_status napi_call_function(napi_env, napi_value, napi_value function, size_t argc,
                               const napi_value* argv, napi_value* result) {
  const Value& called = fake_napi::valueOf(function);
  if (!called.body) return napi_function_expected;
  *result = called.body(std::vector<napi_value>(argv, argv + argc));
  return napi_ok;
}

napi_status napi_get_value_double(napi_env, napi_value value, double* result) {
  if (fake_napi::valueOf(value).kind != Value::Kind::number) return napi_number_expected;
  *result = fake_napi::valueOf(value).number;
  return napi_ok;
}

napi_status napi_is_exception_pending(napi_env, bool* result) {
  *result = host().exceptionPending;
  return napi_ok;
}

napi_status napi_get_and_clear_last_exception(napi_env, napi_value* result) {
  host().exceptionPending = false;
  *result = host().make({});
  return napi_ok;
}

napi_status napi_create_function(napi_env, const char* name, size_t, napi_callback function,
                                 void*, napi_value* result) {
  *result = host().make({Value::Kind::function, name, false, function});
  return napi_ok;
}

napi_status napi_set_named_property(napi_env, napi_value, const char* name, napi_value value) {
  host().properties.emplace_back(name, value);
  return napi_ok;
}

napi_status napi_get_cb_info(napi_env, napi_callback_info, size_t* argc, napi_value* argv,
                             napi_value*, void**) {
  for (size_t i = 0; i < *argc; ++i) {
    argv[i] = i < host().arguments.size() ? host().arguments[i] : host().make({});
  }
  *argc = host().arguments.size();
  return napi_ok;
}

napi_status napi_throw_error(napi_env, const char*, const char* message) {
  host().thrown.emplace_back(message);
  return napi_ok;
}

napi_status napi_create_error(napi_env, napi_value code, napi_value message, napi_value* result) {
  if (code != nullptr) return napi_invalid_arg;
  *result = host().make({Value::Kind::error, fake_napi::valueOf(message).text, false, nullptr});
  return napi_ok;
}

napi_status napi_create_promise(napi_env, napi_deferred* deferred, napi_value* promise) {
  host().promises.emplace_back();
  *deferred = reinterpret_cast<napi_deferred>(&host().promises.back());
  *promise = host().make({Value::Kind::promise, "", false, nullptr});
  return napi_ok;
}

static napi_extended_error_info lastError{};

static napi_status settle(napi_deferred deferred, bool resolved, napi_value value) {
  auto& slot = *reinterpret_cast<std::optional<fake_napi::Settlement>*>(deferred);
  if (slot) throw std::logic_error("a promise was settled twice");
  lastError.error_code = host().javaScriptStopped ? napi_pending_exception : napi_ok;
  if (!host().javaScriptStopped) slot = fake_napi::Settlement{resolved, fake_napi::valueOf(value)};
  return lastError.error_code;
}

// Only what the settling calls leave: the module reads it after them alone.
napi_status napi_get_last_error_info(node_api_basic_env, const napi_extended_error_info** result) {
  *result = &lastError;
  return napi_ok;
}

napi_status napi_resolve_deferred(napi_env, napi_deferred deferred, napi_value value) {
  return settle(deferred, true, value);
}

napi_status napi_reject_deferred(napi_env, napi_deferred deferred, napi_value value) {
  return settle(deferred, false, value);
}

napi_status napi_create_threadsafe_function(napi_env, napi_value function, napi_value, napi_value name,
                                            size_t, size_t threads, void* finalizeData,
                                            napi_finalize finalize, void* context,
                                            napi_threadsafe_function_call_js callJs,
                                            napi_threadsafe_function* result) {
  if (host().failThreadsafeFunctions) return napi_generic_failure;
  if (threads != 1) throw std::logic_error("a thread-safe function for one thread expected");
  host().threadsafeFunctions.push_back(
      {fake_napi::valueOf(name).text, context, callJs, function, finalize, finalizeData, {}, 0, false});
  *result = reinterpret_cast<napi_threadsafe_function>(&host().threadsafeFunctions.back());
  return napi_ok;
}

napi_status napi_call_threadsafe_function(napi_threadsafe_function function, void* data,
                                          napi_threadsafe_function_call_mode) {
  auto& called = *reinterpret_cast<fake_napi::ThreadsafeFunction*>(function);
  if (called.finalized) throw std::logic_error("a deleted thread-safe function was called");
  called.queued.push_back(data);
  return napi_ok;
}

napi_status napi_release_threadsafe_function(napi_threadsafe_function function,
                                             napi_threadsafe_function_release_mode) {
  auto& released = *reinterpret_cast<fake_napi::ThreadsafeFunction*>(function);
  if (released.finalized) throw std::logic_error("a deleted thread-safe function was released");
  if (++released.released == 1) fake_napi::finalize(released);
  return napi_ok;
}

napi_status napi_create_async_work(napi_env, napi_value, napi_value, napi_async_execute_callback execute,
                                   napi_async_complete_callback complete, void* data,
                                   napi_async_work* result) {
  if (host().failAsyncWork) return napi_generic_failure;
  host().asyncWorks.push_back({execute, complete, data, false, false});
  *result = reinterpret_cast<napi_async_work>(&host().asyncWorks.back());
  return napi_ok;
}

napi_status napi_queue_async_work(napi_env, napi_async_work work) {
  reinterpret_cast<fake_napi::AsyncWork*>(work)->queued = true;
  return napi_ok;
}

napi_status napi_delete_async_work(napi_env, napi_async_work work) {
  auto& deleted = *reinterpret_cast<fake_napi::AsyncWork*>(work);
  if (deleted.deleted) throw std::logic_error("async work was deleted twice");
  deleted.deleted = true;
  return napi_ok;
}

napi_status napi_fatal_exception(napi_env, napi_value) { return napi_ok; }

napi_status napi_unref_threadsafe_function(node_api_basic_env, napi_threadsafe_function) {
  return napi_ok;
}

napi_status napi_add_env_cleanup_hook(node_api_basic_env, napi_cleanup_hook hook, void* argument) {
  host().cleanupHooks.emplace_back(hook, argument);
  return napi_ok;
}

napi_status napi_remove_env_cleanup_hook(node_api_basic_env, napi_cleanup_hook hook,
                                         void* argument) {
  auto& hooks = host().cleanupHooks;
  for (auto entry = hooks.begin(); entry != hooks.end(); ++entry) {
    if (entry->first == hook && entry->second == argument) {
      hooks.erase(entry);
      break;
    }
  }
  return napi_ok;
}

napi_status napi_add_finalizer(napi_env, napi_value, void* data, node_api_basic_finalize finalize,
                               void*, napi_ref*) {
  host().finalizers.emplace_back(finalize, data, nullptr);
  return napi_ok;
}

tavimo_calendar_watch* tavimo_calendar_watch_changes(tavimo_calendar_change_callback, void*) {
  auto& core = fake_napi::core();
  if (core.refuseWatches) return nullptr;
  ++core.watchesRunning;
  static char marker;
  return reinterpret_cast<tavimo_calendar_watch*>(&marker);
}

tavimo_calendar_watch* vantrel_watch_changes(tavimo_calendar_change_callback callback, void* context,
                                             char** failure) {
  auto& core = fake_napi::core();
  *failure = core.refuseWatches && core.watchFailure ? fake_napi::handOut(*core.watchFailure) : nullptr;
  if (core.refuseWatches) return nullptr;
  core.watchCallbacks.emplace_back(callback, context);
  return tavimo_calendar_watch_changes(callback, context);
}

void tavimo_calendar_watch_stop(tavimo_calendar_watch* watch) {
  if (watch != nullptr) --fake_napi::core().watchesRunning;
}

char* tavimo_calendar_snapshot(const char*, const char*, char** failure) {
  auto& core = fake_napi::core();
  ++core.snapshotCalls;
  fake_napi::recordVariableAtCall();
  if (core.snapshotJson) return fake_napi::handOut(*core.snapshotJson);
  if (failure != nullptr) {
    *failure = core.snapshotFailure ? fake_napi::handOut(*core.snapshotFailure) : nullptr;
  }
  return nullptr;
}

// Answers as the snapshot does: the module treats both reads alike.
char* tavimo_calendar_details(const char* start, const char* end, char** failure) {
  return tavimo_calendar_snapshot(start, end, failure);
}

// The filtered reads answer as the snapshot does; which calendars is the core's.
char* tavimo_calendar_snapshot_of_calendars(const char* start, const char* end, const char*,
                                            char** failure) {
  return tavimo_calendar_snapshot(start, end, failure);
}
char* tavimo_calendar_details_of_calendars(const char* start, const char* end, const char*,
                                           char** failure) {
  return tavimo_calendar_snapshot(start, end, failure);
}
char* vantrel_range_watch_read(const char* start, const char* end, const char*, char** failure) {
  return tavimo_calendar_snapshot(start, end, failure);
}

char* tavimo_calendar_diagnostics(void) {
  auto& core = fake_napi::core();
  fake_napi::recordVariableAtCall();
  return core.diagnosticsJson ? fake_napi::handOut(*core.diagnosticsJson) : nullptr;
}

void tavimo_calendar_request_access(tavimo_calendar_access_callback callback, void* context) {
  fake_napi::recordVariableAtCall();
  fake_napi::core().accessRequests.emplace_back(callback, context);
}

// Never reached under a host that turns the main run loop itself.
napi_status napi_create_int32(napi_env, int32_t, napi_value*) { return napi_generic_failure; }
napi_status napi_create_reference(napi_env, napi_value, uint32_t, napi_ref*) {
  return napi_generic_failure;
}
napi_status napi_get_reference_value(napi_env, napi_ref, napi_value*) { return napi_generic_failure; }
napi_status napi_delete_reference(napi_env, napi_ref) { return napi_generic_failure; }
napi_status napi_adjust_external_memory(node_api_basic_env, int64_t, int64_t*) { return napi_ok; }
int vantrel_on_main_thread(void) { return 1; }
char* vantrel_unavailable_reason(void) { return nullptr; }
void vantrel_turn_main_run_loop(void) {}

int vantrel_standin_variable_begin(const char* value) {
  fake_napi::core().variables.emplace_back(value != nullptr ? std::optional<std::string>(value)
                                                            : std::nullopt);
  return 1;
}

void vantrel_standin_variable_end(void) {
  auto& variables = fake_napi::core().variables;
  if (variables.empty()) throw std::logic_error("a handed-in variable ended twice");
  variables.pop_back();
}

const vantrel_layer_variable_hook* vantrel_layer_variable(void) {
  static constexpr vantrel_layer_variable_hook hook{
      "VANTREL_STANDIN_STORE", vantrel_standin_variable_begin, vantrel_standin_variable_end};
  return &hook;
}

void tavimo_calendar_string_free(char* text) {
  if (text != nullptr) ++fake_napi::core().textsFreed;
  std::free(text);
}

}  // extern "C"
