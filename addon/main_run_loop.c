/*
 * The calendar store's change notices, and a change of permission, reach a
 * process only through its main thread's run loop. Electron's main process
 * turns that loop itself (its main thread runs the Cocoa run loop, libuv
 * beside it), and so may a host that says so (VANTREL_MAIN_RUN_LOOP=host in
 * the environment when the module loads): nothing is added there. Elsewhere
 * the main thread runs libuv alone, and while a watch runs or an access
 * request is pending anywhere in the process, the module turns the main
 * thread's run loop every 100 ms: a thread of its own wakes the main
 * environment through an unreferenced thread-safe function, whose call turns
 * the loop once, handling what is ready and never waiting. No JavaScript
 * global is used, so a test's fake timers or a browser-style setInterval
 * change nothing, and nothing keeps the process alive. A worker relies on the
 * main environment: without one that has loaded the module nothing would turn
 * the loop, and the worker's watch is refused.
 */
#if !defined(__APPLE__)
/* clock_gettime and pthread_condattr_setclock under -std=c11. */
#define _POSIX_C_SOURCE 200809L
#endif
#include <pthread.h>
#include <stdbool.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "vantrel_host.h"
#include "vantrel_module.h"

/* Often enough that a change is heard well within a second, rarely enough that
 * an idle watch costs nothing measurable. */
enum { kTurnEveryMs = 100 };

static const char kHostTurnsVariable[] = "VANTREL_MAIN_RUN_LOOP";

/* Taken before `lock` by whoever starts or ends the ticking thread, so that
 * one of each runs at a time. */
static pthread_mutex_t ticker_lifetime = PTHREAD_MUTEX_INITIALIZER;
static pthread_t ticker;
static bool ticker_started; /* guarded by ticker_lifetime */

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t ticker_wakes; /* made once, on a monotonic clock */
static pthread_once_t ticker_wakes_made = PTHREAD_ONCE_INIT;
/* Guarded by `lock`. */
static bool host_turns_it;
static int holders;  /* running watches and pending requests, in every environment */
static napi_threadsafe_function main_wake; /* the main environment's, or NULL */
static bool turn_queued; /* a call of main_wake waits on the main thread */
static bool ticker_ends;

static void make_ticker_wakes(void) {
#if defined(__APPLE__)
  pthread_cond_init(&ticker_wakes, NULL);
#else
  pthread_condattr_t monotonic;
  pthread_condattr_init(&monotonic);
  pthread_condattr_setclock(&monotonic, CLOCK_MONOTONIC);
  pthread_cond_init(&ticker_wakes, &monotonic);
  pthread_condattr_destroy(&monotonic);
#endif
}

/* With `lock` held: a turn's time, or less when woken; a change of the wall
 * clock neither stretches nor cuts it. */
static void wait_for_next_turn(void) {
  const long step_ns = kTurnEveryMs * 1000000L;
#if defined(__APPLE__)
  const struct timespec step = {0, step_ns};
  pthread_cond_timedwait_relative_np(&ticker_wakes, &lock, &step);
#else
  struct timespec until;
  clock_gettime(CLOCK_MONOTONIC, &until);
  until.tv_nsec += step_ns;
  if (until.tv_nsec >= 1000000000L) {
    until.tv_sec += 1;
    until.tv_nsec -= 1000000000L;
  }
  pthread_cond_timedwait(&ticker_wakes, &lock, &until);
#endif
}

static void* tick(void* unused) {
  (void)unused;
  pthread_mutex_lock(&lock);
  while (!ticker_ends) {
    /* Under the lock: the main environment's end releases main_wake under it.
     * One call waits at most, however long the main thread is busy. */
    if (main_wake != NULL && !turn_queued) {
      turn_queued = true;
      NAPI_CALL(napi_call_threadsafe_function(main_wake, NULL, napi_tsfn_nonblocking),
                turn_queued = false);
    }
    wait_for_next_turn();
  }
  pthread_mutex_unlock(&lock);
  return NULL;
}

/* On the main thread, every turn's time while something holds the turns. */
static void turn_call_js(napi_env env, napi_value function, void* context, void* data) {
  (void)function;
  (void)context;
  (void)data;
  pthread_mutex_lock(&lock);
  turn_queued = false;
  const bool wanted = holders > 0;
  pthread_mutex_unlock(&lock);
  if (env != NULL && wanted) vantrel_turn_main_run_loop();
}

/* Counts one more holder, starting the thread if none runs and the module is
 * to turn the loop. False, and not counted, when no thread can be started. */
static bool hold_turns(void) {
  pthread_once(&ticker_wakes_made, make_ticker_wakes);
  pthread_mutex_lock(&ticker_lifetime);
  pthread_mutex_lock(&lock);
  ++holders;
  const bool needed = !host_turns_it && main_wake != NULL && !ticker_started;
  ticker_ends = false;
  pthread_mutex_unlock(&lock);
  bool held = true;
  if (needed) {
    ticker_started = pthread_create(&ticker, NULL, tick, NULL) == 0;
    if (!ticker_started) {
      pthread_mutex_lock(&lock);
      --holders;
      pthread_mutex_unlock(&lock);
      held = false;
    }
  }
  pthread_mutex_unlock(&ticker_lifetime);
  return held;
}

/* Ends the thread with the last holder, and waits for it: nothing of it is
 * left once the last watch has stopped. */
static void let_go_of_turns(void) {
  pthread_mutex_lock(&ticker_lifetime);
  pthread_mutex_lock(&lock);
  const bool last = --holders == 0 && ticker_started;
  if (last) {
    ticker_ends = true;
    pthread_cond_signal(&ticker_wakes);
  }
  pthread_mutex_unlock(&lock);
  if (last) {
    pthread_join(ticker, NULL);
    ticker_started = false;
  }
  pthread_mutex_unlock(&ticker_lifetime);
}

static bool is_text(napi_env env, napi_value value, const char* expected) {
  char text[16];
  size_t length = 0;
  if (!js_is(env, value, napi_string)) return false;
  if (expected == NULL) return true;
  NAPI_CALL(napi_get_value_string_utf8(env, value, text, sizeof text, &length), return false);
  return strcmp(text, expected) == 0;
}

/* process.versions.electron is set in every Electron process and
 * process.type is "browser" in its main process alone. */
static bool in_electron_main_process(napi_env env) {
  napi_value process = js_property(env, js_global(env), "process");
  bool electron =
      is_text(env, js_property(env, js_property(env, process, "versions"), "electron"), NULL) &&
      is_text(env, js_property(env, process, "type"), "browser");
  return !js_exception_cleared(env) && electron;
}

/* A host that turns the main run loop itself between its own turns of libuv
 * says so; the module's turn would run that loop's sources inside a
 * JavaScript callback there. */
static bool host_says_it_turns(void) {
  const char* value = getenv(kHostTurnsVariable);
  return value != NULL && strcmp(value, "host") == 0;
}

static void main_environment_ends(void* data) {
  (void)data;
  pthread_mutex_lock(&lock);
  napi_threadsafe_function wake = main_wake;
  main_wake = NULL;
  pthread_mutex_unlock(&lock);
  if (wake != NULL) napi_release_threadsafe_function(wake, napi_tsfn_abort);
}

void main_run_loop_attach(napi_env env) {
  if (!vantrel_on_main_thread()) return;
  if (in_electron_main_process(env) || host_says_it_turns()) {
    pthread_mutex_lock(&lock);
    host_turns_it = true;
    pthread_mutex_unlock(&lock);
    return;
  }
  napi_value name;
  napi_threadsafe_function wake;
  if (main_wake != NULL) return;
  NAPI_CALL(napi_create_string_utf8(env, "VantrelMainRunLoop", NAPI_AUTO_LENGTH, &name), return);
  NAPI_CALL(napi_create_threadsafe_function(env, NULL, NULL, name, 0, 1, NULL, NULL, NULL,
                                            turn_call_js, &wake),
            return);
  napi_unref_threadsafe_function(env, wake);
  NAPI_CALL(napi_add_env_cleanup_hook(env, main_environment_ends, NULL),
            napi_release_threadsafe_function(wake, napi_tsfn_abort);
            return);
  pthread_mutex_lock(&lock);
  main_wake = wake;
  pthread_mutex_unlock(&lock);
}

MainRunLoopTurns main_run_loop_watch_starts(void) {
  pthread_mutex_lock(&lock);
  const bool turned = host_turns_it || main_wake != NULL;
  pthread_mutex_unlock(&lock);
  if (!turned) return vantrel_on_main_thread() ? kTurnsUnavailable : kNoMainEnvironment;
  return hold_turns() ? kTurnsHeld : kTurnsUnavailable;
}

void main_run_loop_watch_stopped(void) { let_go_of_turns(); }

bool main_run_loop_request_starts(void) { return hold_turns(); }

void main_run_loop_request_ended(void) { let_go_of_turns(); }
