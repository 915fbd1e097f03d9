/*
 * watchChanges(listener): one core watch per call, whose callback queues a
 * call of the listener on a thread-safe function of its own. Everything but
 * that callback runs on the JavaScript thread of the watch's environment.
 */
#include <stdatomic.h>
#include <stdlib.h>

#include "host_environment.h"
#include "tavimo_calendar.h"
#include "vantrel_host.h"
#include "vantrel_module.h"

static const char kNeedsFunction[] = "watchChanges(listener) requires a function.";
static const char kCannotWatch[] = "Calendar changes cannot be watched.";
static const char kNoRunLoop[] =
    "Calendar changes cannot be watched from this thread: macOS hands them to a process "
    "through its main thread's run loop, which nothing turns here. Load Vantrel on the main "
    "thread as well (it turns that loop while a watch runs), or watch from there.";

/* Freed once its three holders have let go, all on the JavaScript thread: the
 * stop function (when collected or torn down), the thread-safe function (when
 * finalized) and the cleanup hook (when run, or removed by a stop). */
typedef struct Watch {
  napi_threadsafe_function tsfn;
  tavimo_calendar_watch* core; /* NULL once stopped */
  int stopped;
  int holders;
  /* A listener call is queued and has not begun: further changes join it, so
   * a busy JavaScript thread finds at most one call waiting. */
  atomic_int waiting;
} Watch;

static void let_go_of_watch(Watch* watch) {
  if (--watch->holders == 0) free(watch);
}

/* On the core's thread. The core calls nothing after its stop has returned,
 * and the thread-safe function is released only after that. */
static void watch_changed(void* context) {
  Watch* watch = context;
  if (atomic_exchange(&watch->waiting, 1)) return;
  /* Unlimited queue: never waits, and never fails but while closing. */
  NAPI_CALL(napi_call_threadsafe_function(watch->tsfn, NULL, napi_tsfn_nonblocking),
            atomic_store(&watch->waiting, 0));
}

/* Stops the core watch first, so nothing is queued once the thread-safe
 * function is released; calls still queued find the watch stopped. */
static void stop_watch(Watch* watch) {
  if (watch->stopped) return;
  watch->stopped = 1;
  tavimo_calendar_watch_stop(watch->core);
  watch->core = NULL;
  main_run_loop_watch_stopped();
  napi_release_threadsafe_function(watch->tsfn, napi_tsfn_release);
}

/* The environment is ending (a worker that ends, or the process): its watches
 * stop before Node deletes their thread-safe functions, since cleanup hooks
 * run in the reverse order of their adding. */
static void watch_cleanup(void* data) {
  Watch* watch = data;
  stop_watch(watch);
  let_go_of_watch(watch);
}

static void watch_call_js(napi_env env, napi_value listener, void* context, void* data) {
  (void)data;
  Watch* watch = context;
  if (env == NULL || watch == NULL || watch->stopped) return;
  /* Before the call: a change while the listener runs gives one more. */
  atomic_store(&watch->waiting, 0);
  napi_value receiver;
  napi_value result;
  NAPI_CALL(napi_get_undefined(env, &receiver), return);
  if (napi_call_function(env, receiver, listener, 0, NULL, &result) == napi_pending_exception) {
    /* As a throwing timer or event listener would: an uncaught exception,
     * whatever Node does by default with an exception left in a callback of
     * a module of this Node-API version. The watch goes on. */
    napi_value error;
    NAPI_CALL(napi_get_and_clear_last_exception(env, &error), return);
    napi_fatal_exception(env, error);
  }
}

static void watch_tsfn_finalize(napi_env env, void* finalize_data, void* finalize_hint) {
  (void)env;
  (void)finalize_hint;
  let_go_of_watch(finalize_data);
}

static void stop_function_finalize(napi_env env, void* finalize_data, void* finalize_hint) {
  (void)env;
  (void)finalize_hint;
  let_go_of_watch(finalize_data);
}

static napi_value StopWatching(napi_env env, napi_callback_info info) {
  void* data = NULL;
  NAPI_CALL(napi_get_cb_info(env, info, NULL, NULL, NULL, &data), return NULL);
  if (data == NULL) return NULL;
  Watch* watch = data;
  if (!watch->stopped) {
    stop_watch(watch);
    napi_remove_env_cleanup_hook(env, watch_cleanup, watch);
    let_go_of_watch(watch);
  }
  return NULL;
}

napi_value WatchChanges(napi_env env, napi_callback_info info) {
  size_t argc = 1;
  napi_value listener = NULL;
  NAPI_CALL(napi_get_cb_info(env, info, &argc, &listener, NULL, NULL), argc = 0);
  if (argc < 1 || !js_is(env, listener, napi_function)) {
    return fail_call(env, NULL, kNeedsFunction, kNeedsFunction);
  }
  Watch* watch = calloc(1, sizeof *watch);
  if (watch == NULL) return fail_call(env, NULL, kCannotWatch, kCannotWatch);
  atomic_init(&watch->waiting, 0);
  napi_value name;
  napi_value stop;
  NAPI_CALL(napi_create_string_utf8(env, "VantrelCalendarChanges", NAPI_AUTO_LENGTH, &name),
            goto unmade);
  NAPI_CALL(napi_create_function(env, "stopWatchingChanges", NAPI_AUTO_LENGTH, StopWatching, watch,
                                 &stop),
            goto unmade);
  NAPI_CALL(napi_create_threadsafe_function(env, listener, NULL, name, 0, 1, watch,
                                            watch_tsfn_finalize, watch, watch_call_js, &watch->tsfn),
            goto unmade);
  watch->holders = 1; /* the thread-safe function */
  /* Like an unreferenced timer: a watch alone does not keep the process alive. */
  napi_unref_threadsafe_function(env, watch->tsfn);

  /* A watch that nothing would let hear is refused, never returned. */
  const MainRunLoopTurns turns = main_run_loop_watch_starts();
  if (turns != kTurnsHeld) {
    watch->stopped = 1;
    napi_release_threadsafe_function(watch->tsfn, napi_tsfn_release);
    const char* why = turns == kNoMainEnvironment ? kNoRunLoop : kCannotWatch;
    return fail_call(env, NULL, why, why);
  }
  /* The stand-in's document is the one process.env names now. */
  HostEnvironment* environment = host_environment_read(env);
  host_environment_enter(environment);
  char* failure = NULL;
  watch->core = vantrel_watch_changes(watch_changed, watch, &failure);
  host_environment_leave(environment);
  host_environment_free(environment);
  if (watch->core == NULL) {
    main_run_loop_watch_stopped();
    watch->stopped = 1;
    napi_release_threadsafe_function(watch->tsfn, napi_tsfn_release);
    fail_call(env, NULL, failure, kCannotWatch);
    tavimo_calendar_string_free(failure);
    return NULL;
  }
  NAPI_CALL(napi_add_env_cleanup_hook(env, watch_cleanup, watch), goto stop_now);
  ++watch->holders;
  /* Without its finalizer the stop function could not let go: stop now. */
  NAPI_CALL(napi_add_finalizer(env, stop, watch, stop_function_finalize, NULL, NULL),
            goto unhook);
  ++watch->holders;
  return stop;
unmade:
  free(watch);
  return fail_call(env, NULL, kCannotWatch, kCannotWatch);
unhook:
  napi_remove_env_cleanup_hook(env, watch_cleanup, watch);
  let_go_of_watch(watch);
stop_now:
  stop_watch(watch);
  return fail_call(env, NULL, kCannotWatch, kCannotWatch);
}
