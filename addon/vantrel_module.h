/*
 * What the files of vantrel.node share: the functions of its table, one file
 * each, and the texts they pass to and from JavaScript.
 */
#ifndef VANTREL_MODULE_H
#define VANTREL_MODULE_H

#include <node_api.h>
#include <stdbool.h>

#include "v8_text.h"

/* Every Node-API status is checked here, so none is dropped unseen: unless
 * `call` succeeds, runs `otherwise`, a return or a goto to the function's
 * cleanup (never break or continue: they would leave this loop alone). */
#define NAPI_CALL(call, otherwise)         \
  do {                                     \
    if ((call) != napi_ok) { otherwise; }  \
  } while (0)

extern const char kTwoStrings[];
extern const char kSyncFailed[];
extern const char kInvalidResponse[];

napi_value Snapshot(napi_env env, napi_callback_info info);
napi_value SnapshotAsync(napi_env env, napi_callback_info info);
/* The meeting-note details of the snapshot's events, off the JavaScript thread. */
napi_value DetailsAsync(napi_env env, napi_callback_info info);
napi_value Diagnostics(napi_env env, napi_callback_info info);
napi_value UnavailableReason(napi_env env, napi_callback_info info);
napi_value RequestAccess(napi_env env, napi_callback_info info);
/* The listener runs on the JavaScript thread after the calendar store has
 * changed; the function returned stops it. */
napi_value WatchChanges(napi_env env, napi_callback_info info);
/* The typed helpers' reads of some calendars, and the range watch's read with
 * its occurrence keys (range_reads.c); not exported to JavaScript callers. */
napi_value SnapshotOfCalendarsAsync(napi_env env, napi_callback_info info);
napi_value DetailsOfCalendarsAsync(napi_env env, napi_callback_info info);
napi_value RangeWatchReadAsync(napi_env env, napi_callback_info info);

/* A read of [start_iso, end_iso) of the calendars named (NULL: every one),
 * with the C functions' contract. */
typedef char* (*ReadRange)(const char* start_iso, const char* end_iso, const char* calendar_ids_json,
                           char** failure_text);
/* Reads on a thread of the host's pool, at most a few at a time per
 * environment, and settles the promise it returns on the JavaScript thread;
 * rejects with `usage` for arguments that are not two strings followed, where
 * `calendars`, by a string or nothing. */
napi_value read_range_async(napi_env env, napi_callback_info info, ReadRange read,
                            const char* usage, bool calendars);

/* A JavaScript string as a new NUL-terminated UTF-8 text, freed with free();
 * NULL when `value` is not a string, memory is short, or the string holds a
 * NUL: cut at that NUL it would read as a shorter, possibly valid, text. */
char* js_string_copy(napi_env env, napi_value value);

/* The global object; NULL when it cannot be had. */
napi_value js_global(napi_env env);
/* object[name] where `object` is an object or a function; NULL when it is
 * not (NULL included), or the property cannot be read. */
napi_value js_property(napi_env env, napi_value object, const char* name);
/* Whether `value` (NULL: none) is of `type`. */
bool js_is(napi_env env, napi_value value, napi_valuetype type);
/* Whether an exception was pending, which is then cleared. */
bool js_exception_cleared(napi_env env);

/* The main thread's run loop, which carries the calendar store's change
 * notices and changes of permission (main_run_loop.c). At load, on each
 * environment's thread: */
void main_run_loop_attach(napi_env env);
typedef enum MainRunLoopTurns {
  kTurnsHeld,         /* the host turns that loop, or the module from now on */
  kTurnsUnavailable,  /* the module could not start turning it */
  kNoMainEnvironment, /* a worker's, and the main thread has not loaded the module */
} MainRunLoopTurns;
/* Before a watch starts, on its environment's thread. Only kTurnsHeld is
 * counted, and paired with one main_run_loop_watch_stopped, on any thread. */
MainRunLoopTurns main_run_loop_watch_starts(void);
void main_run_loop_watch_stopped(void);
/* Around a pending access request, whose grant may show only once that loop
 * has turned: true when counted, to be paired with one
 * main_run_loop_request_ended. */
bool main_run_loop_request_starts(void);
void main_run_loop_request_ended(void);

/* A JavaScript string of `text`, or NULL when it is too long or cannot be
 * made. */
napi_value js_string_of(napi_env env, const char* text);

/* A JavaScript string of `text`, laid out for V8, whose memory it takes (see
 * external_string_make), or NULL when it is too long or cannot be made. */
napi_value js_string_of_v8_text(napi_env env, V8Text* text);

/* Throws, or rejects `deferred` unless it is NULL, with `failure`: a core's
 * failure text or the module's own. A failure always says something, so one
 * that is NULL or empty gives `unsaid`; one too long for a string is an
 * invalid response. Returns NULL. */
napi_value fail_call(napi_env env, napi_deferred deferred, const char* failure,
                     const char* unsaid);

#endif /* VANTREL_MODULE_H */
