/*
 * snapshotAsync(startIso, endIso) and detailsAsync(startIso, endIso): their
 * texts are read on the JavaScript thread, the bridge runs on a thread of the
 * host's pool, and the promise is settled back on the JavaScript thread.
 *
 * Node waits for every work it was handed before an environment that ends (a
 * terminated worker, the process) can go, and runs cleanup hooks only after
 * that, so cancelling there comes too late. So each environment hands the
 * pool a few reads at a time and keeps the rest queued here: once a promise
 * can no longer be settled the environment is ending, nothing more is handed
 * over, and what is queued is dropped unread when the environment goes.
 */
#include <pthread.h>
#include <stdbool.h>
#include <stdlib.h>
#include <string.h>

#include "external_string.h"
#include "host_environment.h"
#include "tavimo_calendar.h"
#include "vantrel_module.h"

static const char kDetailsTwoStrings[] = "detailsAsync(startIso, endIso) requires two strings.";

typedef struct ReadQueue ReadQueue;

typedef struct SnapshotWork {
  ReadQueue* queue; /* NULL: handed to the pool directly */
  struct SnapshotWork* next;
  napi_async_work work;
  ReadRange read;
  napi_deferred deferred;
  HostEnvironment* environment;
  char* start;
  char* end;
  char* calendars; /* a JSON array of ids; NULL: every calendar */
  char* json;
  char* failure;
  /* The document laid out for V8, where the host takes external strings:
   * then the JavaScript thread has no text to decode. */
  bool lay_out;
  V8Text text;
} SnapshotWork;

/* As many as the pool has threads by default: reads go as fast as before. */
enum { kReadsAtOnce = 4 };

/* One environment's reads; only its JavaScript thread touches one, but the
 * list of them is the process's. */
struct ReadQueue {
  napi_env env;
  int running; /* handed to the pool */
  int ending;
  SnapshotWork* first; /* waiting, oldest first */
  SnapshotWork* last;
  ReadQueue* next;
};

static pthread_mutex_t queues_lock = PTHREAD_MUTEX_INITIALIZER;
static ReadQueue* queues;

static void free_snapshot_work(napi_env env, SnapshotWork* snapshot);

/* The environment has gone: after every read handed to the pool completed. */
static void drop_queue(void* data) {
  ReadQueue* queue = data;
  pthread_mutex_lock(&queues_lock);
  for (ReadQueue** at = &queues; *at != NULL; at = &(*at)->next) {
    if (*at == queue) {
      *at = queue->next;
      break;
    }
  }
  pthread_mutex_unlock(&queues_lock);
  while (queue->first != NULL) {
    SnapshotWork* dropped = queue->first;
    queue->first = dropped->next;
    free_snapshot_work(queue->env, dropped);
  }
  free(queue);
}

/* The environment's queue, made on its first read; NULL when none can be. */
static ReadQueue* queue_of(napi_env env) {
  pthread_mutex_lock(&queues_lock);
  ReadQueue* queue = queues;
  while (queue != NULL && queue->env != env) queue = queue->next;
  if (queue == NULL && (queue = calloc(1, sizeof *queue)) != NULL) {
    queue->env = env;
    NAPI_CALL(napi_add_env_cleanup_hook(env, drop_queue, queue), free(queue); queue = NULL);
    if (queue != NULL) {
      queue->next = queues;
      queues = queue;
    }
  }
  pthread_mutex_unlock(&queues_lock);
  return queue;
}

static void free_snapshot_work(napi_env env, SnapshotWork* snapshot) {
  if (snapshot->work != NULL) napi_delete_async_work(env, snapshot->work);
  host_environment_free(snapshot->environment);
  free(snapshot->start);
  free(snapshot->end);
  free(snapshot->calendars);
  tavimo_calendar_string_free(snapshot->json);
  tavimo_calendar_string_free(snapshot->failure);
  external_string_text_free(&snapshot->text);
  free(snapshot);
}

/* On a thread of the pool: no Node-API call here. */
static void snapshot_execute(napi_env env, void* data) {
  (void)env;
  SnapshotWork* snapshot = data;
  host_environment_enter(snapshot->environment);
  snapshot->json =
      snapshot->read(snapshot->start, snapshot->end, snapshot->calendars, &snapshot->failure);
  host_environment_leave(snapshot->environment);
  /* Without memory for UTF-16 the document stays UTF-8, made as before. */
  if (snapshot->json != NULL && snapshot->lay_out &&
      v8_text_lay_out(snapshot->json, strlen(snapshot->json), &snapshot->text)) {
    /* Latin-1 is the document itself, rewritten. */
    if (snapshot->text.two_byte) tavimo_calendar_string_free(snapshot->json);
    snapshot->json = NULL;
  }
}

static void start_waiting(napi_env env, ReadQueue* queue);

static void snapshot_complete(napi_env env, napi_status status, void* data) {
  SnapshotWork* snapshot = data;
  ReadQueue* queue = snapshot->queue;
  napi_value result;
  /* The pool's own status, not a call's: cancelled or run. */
  if (status != napi_ok) {
    /* Cancelled: the bridge never ran. */
    fail_call(env, snapshot->deferred, NULL, kSyncFailed);
  } else if (snapshot->json == NULL && snapshot->text.characters == NULL) {
    fail_call(env, snapshot->deferred, snapshot->failure, kSyncFailed);
  } else if ((result = snapshot->json != NULL ? js_string_of(env, snapshot->json)
                                              : js_string_of_v8_text(env, &snapshot->text)) ==
             NULL) {
    fail_call(env, snapshot->deferred, kInvalidResponse, kInvalidResponse);
  } else {
    napi_resolve_deferred(env, snapshot->deferred, result);
  }
  /* The settling call was the last: one that failed means no JavaScript runs
   * here any more. */
  const napi_extended_error_info* settled = NULL;
  if (queue != NULL) NAPI_CALL(napi_get_last_error_info(env, &settled), settled = NULL);
  /* That call's status as the host recorded it, read back. */
  if (settled != NULL && settled->error_code != napi_ok) queue->ending = 1;
  free_snapshot_work(env, snapshot);
  if (queue != NULL) {
    --queue->running;
    start_waiting(env, queue);
  }
}

/* Hands the pool queued reads while it has fewer than kReadsAtOnce. */
static void start_waiting(napi_env env, ReadQueue* queue) {
  while (!queue->ending && queue->running < kReadsAtOnce && queue->first != NULL) {
    SnapshotWork* snapshot = queue->first;
    queue->first = snapshot->next;
    if (queue->first == NULL) queue->last = NULL;
    snapshot->next = NULL;
    ++queue->running;
    NAPI_CALL(napi_queue_async_work(env, snapshot->work), --queue->running;
              fail_call(env, snapshot->deferred, NULL, kSyncFailed);
              free_snapshot_work(env, snapshot));
  }
}

/* Whether the third argument names calendars: a string is copied to
 * `calendars`, undefined or null leaves it NULL; false for anything else, or
 * a string that cannot be copied. */
static bool read_calendars(napi_env env, size_t argc, napi_value value, char** calendars) {
  napi_valuetype type = napi_undefined;
  if (argc >= 3) NAPI_CALL(napi_typeof(env, value, &type), return false);
  if (type == napi_undefined || type == napi_null) return true;
  return (*calendars = js_string_copy(env, value)) != NULL;
}

/* Queues the work of a new read; the text of the rejection when it cannot,
 * `usage` for arguments that are not two strings (and, where `calendars`,
 * a JSON text of calendar ids or nothing). */
static const char* start_snapshot(napi_env env, napi_callback_info info, napi_deferred deferred,
                                  ReadRange read, const char* usage, bool calendars) {
  size_t argc = 3;
  napi_value argv[3];
  NAPI_CALL(napi_get_cb_info(env, info, &argc, argv, NULL, NULL), return usage);
  if (argc < 2) return usage;
  SnapshotWork* snapshot = calloc(1, sizeof *snapshot);
  if (snapshot == NULL) return kSyncFailed;
  snapshot->read = read;
  snapshot->deferred = deferred;
  snapshot->start = js_string_copy(env, argv[0]);
  snapshot->end = js_string_copy(env, argv[1]);
  const char* failure = usage;
  if (snapshot->start == NULL || snapshot->end == NULL) goto fail;
  if (calendars && !read_calendars(env, argc, argv[2], &snapshot->calendars)) goto fail;
  /* Read here: the pool's thread must not read what JavaScript may write. */
  snapshot->environment = host_environment_read(env);
  snapshot->lay_out = external_strings_available();
  failure = kSyncFailed;
  napi_value name;
  NAPI_CALL(napi_create_string_utf8(env, "VantrelSnapshot", NAPI_AUTO_LENGTH, &name), goto fail);
  NAPI_CALL(napi_create_async_work(env, NULL, name, snapshot_execute, snapshot_complete, snapshot,
                                   &snapshot->work),
            goto fail);
  if ((snapshot->queue = queue_of(env)) != NULL) {
    ReadQueue* queue = snapshot->queue;
    if (queue->last != NULL) {
      queue->last->next = snapshot;
    } else {
      queue->first = snapshot;
    }
    queue->last = snapshot;
    start_waiting(env, queue);
    return NULL;
  }
  NAPI_CALL(napi_queue_async_work(env, snapshot->work), goto fail);
  return NULL;
fail:
  free_snapshot_work(env, snapshot);
  return failure;
}

napi_value read_range_async(napi_env env, napi_callback_info info, ReadRange read,
                            const char* usage, bool calendars) {
  /* The promise comes first, so every failure after it is a rejection. */
  napi_deferred deferred;
  napi_value promise;
  NAPI_CALL(napi_create_promise(env, &deferred, &promise),
            return fail_call(env, NULL, kSyncFailed, kSyncFailed));
  const char* failure = start_snapshot(env, info, deferred, read, usage, calendars);
  if (failure != NULL) fail_call(env, deferred, failure, failure);
  return promise;
}

static char* read_snapshot(const char* start_iso, const char* end_iso, const char* calendars,
                           char** failure_text) {
  (void)calendars;
  return tavimo_calendar_snapshot(start_iso, end_iso, failure_text);
}

static char* read_details(const char* start_iso, const char* end_iso, const char* calendars,
                          char** failure_text) {
  (void)calendars;
  return tavimo_calendar_details(start_iso, end_iso, failure_text);
}

napi_value SnapshotAsync(napi_env env, napi_callback_info info) {
  return read_range_async(env, info, read_snapshot, kTwoStrings, false);
}

napi_value DetailsAsync(napi_env env, napi_callback_info info) {
  return read_range_async(env, info, read_details, kDetailsTwoStrings, false);
}
