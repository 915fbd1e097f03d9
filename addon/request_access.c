/*
 * requestAccess(): a promise of the answer to an access request, which may
 * come on any thread at any time, or never.
 */
#include <pthread.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "host_environment.h"
#include "tavimo_calendar.h"
#include "vantrel_module.h"

static const char kRequestFailed[] = "Calendar access request failed.";

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
  bool turns_held;        /* the main run loop turns until the request ends */
} AccessContext;

typedef struct AccessResult {
  int32_t granted;
  char* message;
} AccessResult;

/* Queued instead of an answer that could not be copied for lack of memory, so
 * the promise still settles and the thread-safe function is still released.
 * Never written and never freed. */
static AccessResult access_result_unavailable;

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
  /* Once the environment has ended or is ending, nobody will read the answer.
   * Unlimited queue: blocking mode never waits. */
  if (access->tsfn_finalized) {
    free_access_result(result);
  } else {
    NAPI_CALL(napi_call_threadsafe_function(access->tsfn, result, napi_tsfn_blocking),
              free_access_result(result));
  }
  pthread_mutex_unlock(&access->lock);
  let_go_of_access_context(access, 0);
}

/* Runs on the JavaScript thread once the host has deleted the thread-safe
 * function: released after the answer, or torn down with its environment. */
static void access_finalize(napi_env env, void* finalize_data, void* finalize_hint) {
  (void)env;
  (void)finalize_hint;
  AccessContext* access = finalize_data;
  if (access->turns_held) main_run_loop_request_ended();
  let_go_of_access_context(access, 1);
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

  napi_value granted = NULL;
  if (result == &access_result_unavailable) {
    fail_call(env, access->deferred, kRequestFailed, kRequestFailed);
  } else if (!result->granted) {
    fail_call(env, access->deferred, result->message, "Calendar access was not granted.");
  } else {
    NAPI_CALL(napi_get_boolean(env, true, &granted), granted = NULL);
    if (granted != NULL) {
      napi_resolve_deferred(env, access->deferred, granted);
    } else {
      /* Settled anyway, so no promise is left pending for ever. */
      napi_get_undefined(env, &granted);
      napi_reject_deferred(env, access->deferred, granted);
    }
  }
  free_access_result(result);
  napi_release_threadsafe_function(access->tsfn, napi_tsfn_release);
}

napi_value RequestAccess(napi_env env, napi_callback_info info) {
  (void)info;
  AccessContext* access = new_access_context();
  if (access == NULL) return fail_call(env, NULL, kRequestFailed, kRequestFailed);
  /* The promise exists before the request starts: an answer given at once
   * must find the deferred in place. */
  napi_value promise;
  napi_value name = NULL;
  NAPI_CALL(napi_create_promise(env, &access->deferred, &promise), goto no_promise);
  NAPI_CALL(napi_create_string_utf8(env, "EventKitAccess", NAPI_AUTO_LENGTH, &name), goto reject);
  NAPI_CALL(napi_create_threadsafe_function(env, NULL, NULL, name, 0, 1, access, access_finalize,
                                            access, access_call_js, &access->tsfn),
            goto reject);
  /* A grant may show in the status only once the main thread's run loop has
   * turned, and the answer waits for that on a thread of the bridge's. */
  access->turns_held = main_run_loop_request_starts();
  HostEnvironment* environment = host_environment_read(env);
  host_environment_enter(environment);
  tavimo_calendar_request_access(access_callback, access);
  host_environment_leave(environment);
  host_environment_free(environment);
  return promise;
reject:
  fail_call(env, access->deferred, kRequestFailed, kRequestFailed);
  free_access_context(access);
  return promise;
no_promise:
  free_access_context(access);
  return fail_call(env, NULL, kRequestFailed, kRequestFailed);
}
