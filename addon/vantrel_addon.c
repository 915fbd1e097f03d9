/*
 * vantrel.node: snapshot(), snapshotAsync(), diagnostics(), requestAccess() and
 * watchChanges() (watch_changes.c) for JavaScript, each a thin layer over the C
 * functions of tavimo_calendar.h.
 */
/* dladdr and RTLD_NODELETE are extensions of POSIX. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <node_api.h>
#include <pthread.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "host_environment.h"
#include "js_string.h"
#include "tavimo_calendar.h"
#include "watch_changes.h"

static const char kTwoStrings[] = "snapshot(startIso, endIso) requires two strings.";
static const char kSyncFailed[] = "System calendar sync failed.";
static const char kInvalidResponse[] = "The macOS Vantrel returned an invalid response.";
static const char kDiagnosticsUnavailable[] = "Calendar diagnostics are unavailable.";
static const char kRequestFailed[] = "Calendar access request failed.";
static const char kNotGranted[] = "Calendar access was not granted.";

/* V8's String::kMaxLength, for an engine that cannot be asked: the longest
 * string it makes, in UTF-16 code units. */
#if UINTPTR_MAX > 0xFFFFFFFFu
#define V8_STRING_LIMIT ((size_t)(1u << 29) - 24)
#else
#define V8_STRING_LIMIT ((size_t)(1u << 28) - 16)
#endif

/* No engine limits strings to fewer code units than this, so only longer
 * texts are measured and the engine asked. A test build lowers it to reach
 * those paths without half a gigabyte of text. */
#ifndef VANTREL_STRING_LIMIT_FLOOR
#define VANTREL_STRING_LIMIT_FLOOR ((size_t)(1u << 28) - 16)
#endif

/* Throws `message` and returns NULL from the calling function unless `call`
 * succeeds. */
#define NAPI_CALL(env, call, message)         \
  do {                                        \
    if ((call) != napi_ok) {                  \
      napi_throw_error((env), NULL, message); \
      return NULL;                            \
    }                                         \
  } while (0)

/* Shared by the pending answer, which may come on any thread at any time, and
 * the thread-safe function, which the host finalizes on the JavaScript thread:
 * after a settled request, or when a worker's environment ends before the
 * answer came. Whichever of the two lets go last frees it. */
typedef struct AccessContext {
  napi_deferred deferred;
  napi_threadsafe_function tsfn;
  pthread_mutex_t lock;   /* guards the two fields below */
  int tsfn_finalized;     /* the host has deleted tsfn: it must not be called */
  int owners;             /* the pending answer and the thread-safe function */
} AccessContext;

typedef struct AccessResult {
  int32_t granted;
  char* message;
} AccessResult;

/* Queued instead of an answer that could not be copied for lack of memory, so
 * the promise still settles and the thread-safe function is still released.
 * Never written and never freed. */
static AccessResult access_result_unavailable;

/* The engine's own limit, as require('buffer').constants.MAX_STRING_LENGTH
 * gives it, through process.getBuiltinModule (Node 20.16, 22.3 and later);
 * V8's constant where that cannot be reached. Leaves no exception pending. */
static size_t engine_string_limit(napi_env env) {
  napi_value global, process, get_module, name, buffer, constants, limit;
  napi_valuetype type = napi_undefined;
  double value = 0;
  bool asked = napi_get_global(env, &global) == napi_ok &&
               napi_get_named_property(env, global, "process", &process) == napi_ok &&
               napi_typeof(env, process, &type) == napi_ok && type == napi_object &&
               napi_get_named_property(env, process, "getBuiltinModule", &get_module) == napi_ok &&
               napi_typeof(env, get_module, &type) == napi_ok && type == napi_function &&
               napi_create_string_utf8(env, "buffer", NAPI_AUTO_LENGTH, &name) == napi_ok &&
               napi_call_function(env, process, get_module, 1, &name, &buffer) == napi_ok &&
               napi_typeof(env, buffer, &type) == napi_ok && type == napi_object &&
               napi_get_named_property(env, buffer, "constants", &constants) == napi_ok &&
               napi_typeof(env, constants, &type) == napi_ok && type == napi_object &&
               napi_get_named_property(env, constants, "MAX_STRING_LENGTH", &limit) == napi_ok &&
               napi_get_value_double(env, limit, &value) == napi_ok;
  bool pending = false;
  if (napi_is_exception_pending(env, &pending) == napi_ok && pending) {
    napi_value ignored;
    napi_get_and_clear_last_exception(env, &ignored);
    asked = false;
  }
  if (!asked || !(value >= 1) || value > (double)SIZE_MAX) return V8_STRING_LIMIT;
  return (size_t)value;
}

/* UTF-16 code units of the UTF-8 text `text` of `size` bytes: one for each
 * sequence, two for a four-byte one (a surrogate pair). Exact for valid
 * UTF-8, which every text of the bridge is. */
static size_t utf16_length(const char* text, size_t size) {
  size_t units = 0;
  for (size_t i = 0; i < size; ++i) {
    unsigned char byte = (unsigned char)text[i];
    units += (byte & 0xC0) != 0x80;
    units += byte >= 0xF0;
  }
  return units;
}

/* Whether `text` is short enough for a JavaScript string. V8 does not fail
 * on a longer one: it ends the whole process. A UTF-8 text has at least as
 * many bytes as code units, so a short one is not even measured. */
static bool fits_string(napi_env env, const char* text) {
  size_t size = strlen(text);
  if (size <= VANTREL_STRING_LIMIT_FLOOR) return true;
  size_t units = utf16_length(text, size);
  return units <= VANTREL_STRING_LIMIT_FLOOR || units <= engine_string_limit(env);
}

/* A JavaScript string of `text`, or NULL when it is too long or cannot be
 * made. */
static napi_value string_of(napi_env env, const char* text) {
  napi_value result;
  if (!fits_string(env, text) ||
      napi_create_string_utf8(env, text, NAPI_AUTO_LENGTH, &result) != napi_ok) {
    return NULL;
  }
  return result;
}

/* Throws `message`, or `fallback` when it is empty or too long for a
 * string: a thrown error always says something. */
static void throw_text(napi_env env, const char* message, const char* fallback) {
  if (message == NULL || message[0] == '\0' || !fits_string(env, message)) message = fallback;
  napi_throw_error(env, NULL, message);
}

static napi_value Snapshot(napi_env env, napi_callback_info info) {
  size_t argc = 2;
  napi_value argv[2];
  NAPI_CALL(env, napi_get_cb_info(env, info, &argc, argv, NULL, NULL), kTwoStrings);
  if (argc < 2) {
    napi_throw_error(env, NULL, kTwoStrings);
    return NULL;
  }
  char* start = js_string_copy(env, argv[0]);
  char* end = js_string_copy(env, argv[1]);
  if (start == NULL || end == NULL) {
    free(start);
    free(end);
    napi_throw_error(env, NULL, kTwoStrings);
    return NULL;
  }

  char* failure = NULL;
  HostEnvironment* environment = host_environment_read(env);
  host_environment_enter(environment);
  char* json = tavimo_calendar_snapshot(start, end, &failure);
  host_environment_leave(environment);
  host_environment_free(environment);
  free(start);
  free(end);

  if (json != NULL) {
    napi_value result = string_of(env, json);
    tavimo_calendar_string_free(json);
    tavimo_calendar_string_free(failure);
    if (result == NULL) napi_throw_error(env, NULL, kInvalidResponse);
    return result;
  }
  /* Without a text, or with an empty one, the failure says what failed; a
   * text too long for a string is an invalid response. */
  throw_text(env, failure, failure != NULL && failure[0] != '\0' ? kInvalidResponse : kSyncFailed);
  tavimo_calendar_string_free(failure);
  return NULL;
}

static napi_value Diagnostics(napi_env env, napi_callback_info info) {
  (void)info;
  HostEnvironment* environment = host_environment_read(env);
  host_environment_enter(environment);
  char* json = tavimo_calendar_diagnostics();
  host_environment_leave(environment);
  host_environment_free(environment);
  if (json == NULL) {
    napi_throw_error(env, NULL, kDiagnosticsUnavailable);
    return NULL;
  }
  napi_value result = string_of(env, json);
  tavimo_calendar_string_free(json);
  if (result == NULL) napi_throw_error(env, NULL, kDiagnosticsUnavailable);
  return result;
}

static char* copy_text(const char* text) {
  size_t size = strlen(text) + 1;
  char* copy = malloc(size);
  if (copy != NULL) memcpy(copy, text, size);
  return copy;
}

static AccessContext* new_access_context(void) {
  AccessContext* access = calloc(1, sizeof *access);
  if (access != NULL && pthread_mutex_init(&access->lock, NULL) != 0) {
    free(access);
    return NULL;
  }
  if (access != NULL) access->owners = 2;
  return access;
}

static void free_access_context(AccessContext* access) {
  pthread_mutex_destroy(&access->lock);
  free(access);
}

/* Called once by each owner; the last one frees. */
static void let_go_of_access_context(AccessContext* access, int tsfn_finalized) {
  pthread_mutex_lock(&access->lock);
  if (tsfn_finalized) access->tsfn_finalized = 1;
  int last = --access->owners == 0;
  pthread_mutex_unlock(&access->lock);
  if (last) free_access_context(access);
}

static void free_access_result(AccessResult* result) {
  if (result == NULL || result == &access_result_unavailable) return;
  free(result->message);
  free(result);
}

/* Runs on whichever thread the bridge answers on: copies the answer and queues
 * it for the JavaScript thread. */
static void access_callback(uint8_t granted, const char* message, void* context) {
  AccessContext* access = context;
  if (access == NULL) return;
  AccessResult* result = calloc(1, sizeof *result);
  if (result != NULL) {
    result->granted = granted != 0;
    if (message != NULL && (result->message = copy_text(message)) == NULL) {
      free(result);
      result = NULL;
    }
  }
  if (result == NULL) result = &access_result_unavailable;
  /* Held across the call, so the host cannot finalize the function meanwhile. */
  pthread_mutex_lock(&access->lock);
  /* Unlimited queue: blocking mode never waits. */
  if (access->tsfn_finalized ||
      napi_call_threadsafe_function(access->tsfn, result, napi_tsfn_blocking) != napi_ok) {
    /* The environment has ended or is ending; nobody will read the answer. */
    free_access_result(result);
  }
  pthread_mutex_unlock(&access->lock);
  let_go_of_access_context(access, 0);
}

/* Runs on the JavaScript thread once the host has deleted the thread-safe
 * function: released after the answer, or torn down with its environment. */
static void access_finalize(napi_env env, void* finalize_data, void* finalize_hint) {
  (void)env;
  (void)finalize_hint;
  let_go_of_access_context(finalize_data, 1);
}

static napi_value error_with_message(napi_env env, const char* message) {
  napi_value text = string_of(env, message);
  napi_value error;
  if (text == NULL) text = string_of(env, kInvalidResponse);
  if (text == NULL || napi_create_error(env, NULL, text, &error) != napi_ok) return NULL;
  return error;
}

/* Runs on the JavaScript thread: settles the promise, then releases the
 * thread-safe function, whose finalizer lets go of the context. */
static void access_call_js(napi_env env, napi_value js_callback, void* context, void* data) {
  (void)js_callback;
  AccessContext* access = context;
  AccessResult* result = data;
  if (env == NULL || access == NULL || result == NULL) {
    /* Teardown: the context is left to the finalizer. */
    free_access_result(result);
    return;
  }

  napi_value outcome = NULL;
  int resolved = 0;
  if (result == &access_result_unavailable) {
    outcome = error_with_message(env, kRequestFailed);
  } else if (result->granted) {
    resolved = napi_get_boolean(env, true, &outcome) == napi_ok;
  } else {
    /* A rejection always says something. */
    const char* message = result->message;
    if (message == NULL || message[0] == '\0') message = kNotGranted;
    outcome = error_with_message(env, message);
  }
  if (outcome == NULL) {
    /* Making the value failed (out of memory): settle anyway, so no promise is
     * left pending for ever. */
    napi_get_undefined(env, &outcome);
    resolved = 0;
  }
  if (resolved) {
    napi_resolve_deferred(env, access->deferred, outcome);
  } else {
    napi_reject_deferred(env, access->deferred, outcome);
  }

  free_access_result(result);
  napi_release_threadsafe_function(access->tsfn, napi_tsfn_release);
}

static napi_value RequestAccess(napi_env env, napi_callback_info info) {
  (void)info;
  AccessContext* access = new_access_context();
  if (access == NULL) {
    napi_throw_error(env, NULL, kRequestFailed);
    return NULL;
  }
  /* The promise exists before the request starts: an answer given at once
   * must find the deferred in place. */
  napi_value promise;
  if (napi_create_promise(env, &access->deferred, &promise) != napi_ok) {
    free_access_context(access);
    napi_throw_error(env, NULL, kRequestFailed);
    return NULL;
  }
  napi_value name = NULL;
  napi_status status = napi_create_string_utf8(env, "EventKitAccess", NAPI_AUTO_LENGTH, &name);
  if (status == napi_ok) {
    status = napi_create_threadsafe_function(env, NULL, NULL, name, 0, 1, access, access_finalize,
                                             access, access_call_js, &access->tsfn);
  }
  if (status != napi_ok) {
    napi_value error = error_with_message(env, kRequestFailed);
    if (error == NULL) napi_get_undefined(env, &error);
    napi_reject_deferred(env, access->deferred, error);
    free_access_context(access);
    return promise;
  }
  HostEnvironment* environment = host_environment_read(env);
  host_environment_enter(environment);
  tavimo_calendar_request_access(access_callback, access);
  host_environment_leave(environment);
  host_environment_free(environment);
  return promise;
}

/* One snapshotAsync call: its texts are read on the JavaScript thread, the
 * bridge runs on a thread of the host's pool, and the promise is settled back
 * on the JavaScript thread. */
typedef struct SnapshotWork {
  napi_async_work work;
  napi_deferred deferred;
  HostEnvironment* environment;
  char* start;
  char* end;
  char* json;
  char* failure;
} SnapshotWork;

static void free_snapshot_work(napi_env env, SnapshotWork* snapshot) {
  if (snapshot->work != NULL) napi_delete_async_work(env, snapshot->work);
  host_environment_free(snapshot->environment);
  free(snapshot->start);
  free(snapshot->end);
  tavimo_calendar_string_free(snapshot->json);
  tavimo_calendar_string_free(snapshot->failure);
  free(snapshot);
}

/* Rejects with `message`, or `fallback` when it is empty or too long for a
 * string: the texts snapshot() would throw. */
static void reject_with_text(napi_env env, napi_deferred deferred, const char* message,
                             const char* fallback) {
  if (message == NULL || message[0] == '\0' || !fits_string(env, message)) message = fallback;
  napi_value error = error_with_message(env, message);
  if (error == NULL) napi_get_undefined(env, &error);
  napi_reject_deferred(env, deferred, error);
}

/* On a thread of the pool: no Node-API call here. */
static void snapshot_execute(napi_env env, void* data) {
  (void)env;
  SnapshotWork* snapshot = data;
  host_environment_enter(snapshot->environment);
  snapshot->json = tavimo_calendar_snapshot(snapshot->start, snapshot->end, &snapshot->failure);
  host_environment_leave(snapshot->environment);
}

static void snapshot_complete(napi_env env, napi_status status, void* data) {
  SnapshotWork* snapshot = data;
  if (status != napi_ok) {
    /* Cancelled: the bridge never ran. */
    reject_with_text(env, snapshot->deferred, NULL, kSyncFailed);
  } else if (snapshot->json != NULL) {
    napi_value result = string_of(env, snapshot->json);
    if (result != NULL) {
      napi_resolve_deferred(env, snapshot->deferred, result);
    } else {
      reject_with_text(env, snapshot->deferred, kInvalidResponse, kInvalidResponse);
    }
  } else {
    const char* failure = snapshot->failure;
    reject_with_text(env, snapshot->deferred, failure,
                     failure != NULL && failure[0] != '\0' ? kInvalidResponse : kSyncFailed);
  }
  free_snapshot_work(env, snapshot);
}

static napi_value SnapshotAsync(napi_env env, napi_callback_info info) {
  /* The promise comes first, so every failure after it is a rejection. */
  napi_deferred deferred;
  napi_value promise;
  NAPI_CALL(env, napi_create_promise(env, &deferred, &promise), kSyncFailed);

  size_t argc = 2;
  napi_value argv[2];
  if (napi_get_cb_info(env, info, &argc, argv, NULL, NULL) != napi_ok || argc < 2) {
    reject_with_text(env, deferred, kTwoStrings, kTwoStrings);
    return promise;
  }
  SnapshotWork* snapshot = calloc(1, sizeof *snapshot);
  if (snapshot == NULL) {
    reject_with_text(env, deferred, kSyncFailed, kSyncFailed);
    return promise;
  }
  snapshot->deferred = deferred;
  snapshot->start = js_string_copy(env, argv[0]);
  snapshot->end = js_string_copy(env, argv[1]);
  if (snapshot->start == NULL || snapshot->end == NULL) {
    reject_with_text(env, deferred, kTwoStrings, kTwoStrings);
    free_snapshot_work(env, snapshot);
    return promise;
  }
  /* Read here: the pool's thread must not read what JavaScript may write. */
  snapshot->environment = host_environment_read(env);

  napi_value name;
  if (napi_create_string_utf8(env, "VantrelSnapshot", NAPI_AUTO_LENGTH, &name) != napi_ok ||
      napi_create_async_work(env, NULL, name, snapshot_execute, snapshot_complete, snapshot,
                             &snapshot->work) != napi_ok ||
      napi_queue_async_work(env, snapshot->work) != napi_ok) {
    reject_with_text(env, deferred, kSyncFailed, kSyncFailed);
    free_snapshot_work(env, snapshot);
  }
  return promise;
}

/* Keeps this library mapped until the process ends. A host may unload the
 * module (a worker thread that ends) while an access answer is still on its
 * way; that answer then runs access_callback on another thread, so the code
 * must still be there. */
static void keep_library_loaded(void) {
  static const char anchor = 0;
  Dl_info library;
  if (dladdr(&anchor, &library) != 0 && library.dli_fname != NULL) {
    dlopen(library.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
  }
}

NAPI_MODULE_INIT() {
  keep_library_loaded();
  static const struct {
    const char* name;
    napi_callback function;
  } functions[] = {
      {"snapshot", Snapshot},
      {"diagnostics", Diagnostics},
      {"requestAccess", RequestAccess},
      {"snapshotAsync", SnapshotAsync},
      {"watchChanges", WatchChanges},
  };
  enum { kFunctions = sizeof functions / sizeof functions[0] };
  napi_value values[kFunctions];
  for (size_t i = 0; i < kFunctions; ++i) {
    if (napi_create_function(env, functions[i].name, NAPI_AUTO_LENGTH, functions[i].function,
                             NULL, &values[i]) != napi_ok) {
      return NULL;
    }
  }
  for (size_t i = 0; i < kFunctions; ++i) {
    if (napi_set_named_property(env, exports, functions[i].name, values[i]) != napi_ok) {
      return NULL;
    }
  }
  return exports;
}
