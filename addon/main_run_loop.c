/*
 * The calendar store's change notices reach a process only through its main
 * thread's run loop. Electron's main process turns that loop itself (its main
 * thread runs the Cocoa run loop, libuv beside it), so nothing is added there.
 * Elsewhere the main thread runs libuv alone, and while a watch runs anywhere
 * in the process the module turns the main thread's run loop from an
 * unreferenced interval on the main thread's environment: a turn handles what
 * is ready and never waits, and the interval keeps nothing alive. A worker's
 * watch asks the main environment to start it; without a main environment
 * that has loaded the module nothing would, and the watch is refused.
 */
#include <pthread.h>
#include <stdbool.h>
#include <string.h>

#include "main_run_loop.h"
#include "vantrel_module.h"

/* Often enough that a change is heard well within a second, rarely enough that
 * an idle watch costs nothing measurable. */
enum { kTurnEveryMs = 100 };

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
/* Guarded by `lock`. */
static bool host_turns_it;
static int watches_running; /* in every environment of the process */
static napi_threadsafe_function main_wake; /* the main environment's, or NULL */

/* The main thread's alone: the interval's timer, NULL while none runs. */
static napi_ref interval;

static int running_watches(void) {
  pthread_mutex_lock(&lock);
  const int running = watches_running;
  pthread_mutex_unlock(&lock);
  return running;
}

static napi_value global_property(napi_env env, const char* name) {
  napi_value global;
  napi_value value;
  if (napi_get_global(env, &global) != napi_ok ||
      napi_get_named_property(env, global, name, &value) != napi_ok) {
    return NULL;
  }
  return value;
}

/* A property of an object; NULL when `object` is none, or on failure. */
static napi_value property(napi_env env, napi_value object, const char* name) {
  napi_valuetype type;
  napi_value value;
  if (object == NULL || napi_typeof(env, object, &type) != napi_ok ||
      (type != napi_object && type != napi_function) ||
      napi_get_named_property(env, object, name, &value) != napi_ok) {
    return NULL;
  }
  return value;
}

static bool is_text(napi_env env, napi_value value, const char* expected) {
  char text[16];
  size_t length = 0;
  napi_valuetype type;
  if (value == NULL || napi_typeof(env, value, &type) != napi_ok || type != napi_string) {
    return false;
  }
  if (expected == NULL) return true;
  return napi_get_value_string_utf8(env, value, text, sizeof text, &length) == napi_ok &&
         strcmp(text, expected) == 0;
}

/* process.versions.electron is set in every Electron process and
 * process.type is "browser" in its main process alone. */
static bool in_electron_main_process(napi_env env) {
  napi_value process = global_property(env, "process");
  bool electron = is_text(env, property(env, property(env, process, "versions"), "electron"), NULL) &&
                  is_text(env, property(env, process, "type"), "browser");
  bool pending = false;
  if (napi_is_exception_pending(env, &pending) == napi_ok && pending) {
    napi_value ignored;
    napi_get_and_clear_last_exception(env, &ignored);
    return false;
  }
  return electron;
}

/* Calls global[name](arguments...) and returns its result, or NULL. */
static napi_value call_global(napi_env env, const char* name, size_t argc,
                              const napi_value* argv) {
  napi_value global;
  napi_value function = global_property(env, name);
  napi_value result;
  if (function == NULL || napi_get_global(env, &global) != napi_ok ||
      napi_call_function(env, global, function, argc, argv, &result) != napi_ok) {
    return NULL;
  }
  return result;
}

static void stop_turning(napi_env env) {
  if (interval == NULL) return;
  napi_value timer;
  if (napi_get_reference_value(env, interval, &timer) == napi_ok && timer != NULL) {
    call_global(env, "clearInterval", 1, &timer);
  }
  napi_delete_reference(env, interval);
  interval = NULL;
}

static napi_value TurnMainRunLoop(napi_env env, napi_callback_info info) {
  (void)info;
  if (running_watches() == 0) {
    stop_turning(env);
  } else {
    vantrel_turn_main_run_loop();
  }
  return NULL;
}

/* On the main thread. False when no interval could be started. */
static bool start_turning(napi_env env) {
  if (interval != NULL) return true;
  napi_value argv[2];
  if (napi_create_function(env, "turnMainRunLoop", NAPI_AUTO_LENGTH, TurnMainRunLoop, NULL,
                           &argv[0]) != napi_ok ||
      napi_create_int32(env, kTurnEveryMs, &argv[1]) != napi_ok) {
    return false;
  }
  napi_value timer = call_global(env, "setInterval", 2, argv);
  if (timer == NULL || napi_create_reference(env, timer, 1, &interval) != napi_ok) {
    if (timer != NULL) call_global(env, "clearInterval", 1, &timer);
    return false;
  }
  /* Node's timers have unref(); a browser's do not need it. */
  napi_value unref = property(env, timer, "unref");
  napi_valuetype type = napi_undefined;
  napi_value ignored;
  if (unref != NULL && napi_typeof(env, unref, &type) == napi_ok && type == napi_function) {
    napi_call_function(env, timer, unref, 0, NULL, &ignored);
  }
  return true;
}

/* On the main thread, asked by a worker whose watch has started. */
static void wake_call_js(napi_env env, napi_value function, void* context, void* data) {
  (void)function;
  (void)context;
  (void)data;
  if (env != NULL && running_watches() > 0) start_turning(env);
}

static void main_environment_ends(void* data) {
  napi_env env = data;
  pthread_mutex_lock(&lock);
  napi_threadsafe_function wake = main_wake;
  main_wake = NULL;
  pthread_mutex_unlock(&lock);
  if (wake != NULL) napi_release_threadsafe_function(wake, napi_tsfn_abort);
  /* No JavaScript runs any more: the interval ends with the environment. */
  if (interval != NULL) napi_delete_reference(env, interval);
  interval = NULL;
}

void main_run_loop_attach(napi_env env) {
  if (!vantrel_on_main_thread()) return;
  if (in_electron_main_process(env)) {
    pthread_mutex_lock(&lock);
    host_turns_it = true;
    pthread_mutex_unlock(&lock);
    return;
  }
  napi_value name;
  napi_threadsafe_function wake;
  if (main_wake != NULL ||
      napi_create_string_utf8(env, "VantrelMainRunLoop", NAPI_AUTO_LENGTH, &name) != napi_ok ||
      napi_create_threadsafe_function(env, NULL, NULL, name, 0, 1, NULL, NULL, NULL,
                                      wake_call_js, &wake) != napi_ok) {
    return;
  }
  napi_unref_threadsafe_function(env, wake);
  if (napi_add_env_cleanup_hook(env, main_environment_ends, env) != napi_ok) {
    napi_release_threadsafe_function(wake, napi_tsfn_abort);
    return;
  }
  pthread_mutex_lock(&lock);
  main_wake = wake;
  pthread_mutex_unlock(&lock);
}

bool main_run_loop_watch_starts(napi_env env) {
  const bool on_main_thread = vantrel_on_main_thread();
  pthread_mutex_lock(&lock);
  bool heard = host_turns_it || on_main_thread || main_wake != NULL;
  if (heard) ++watches_running;
  /* Under the lock: the main environment's end releases main_wake under it. */
  if (heard && !host_turns_it && !on_main_thread &&
      napi_call_threadsafe_function(main_wake, NULL, napi_tsfn_nonblocking) != napi_ok) {
    --watches_running;
    heard = false;
  }
  const bool turn_here = heard && !host_turns_it && on_main_thread;
  pthread_mutex_unlock(&lock);
  if (turn_here && !start_turning(env)) {
    main_run_loop_watch_stopped();
    return false;
  }
  return heard;
}

void main_run_loop_watch_stopped(void) {
  pthread_mutex_lock(&lock);
  --watches_running;
  pthread_mutex_unlock(&lock);
}
