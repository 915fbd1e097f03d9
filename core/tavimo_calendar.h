/*
 * The calendar bridge's C interface, exported by vantrel.node and by
 * vantrel-command. Usable from C and C++.
 *
 * Every text crossing it is NUL-terminated UTF-8. Texts handed out are the
 * caller's: release each exactly once with tavimo_calendar_string_free. Texts
 * handed in are only borrowed for the duration of the call. Booleans are one
 * byte, 0 or 1.
 */
#ifndef TAVIMO_CALENDAR_H
#define TAVIMO_CALENDAR_H

#include <stdint.h>

#if defined(__GNUC__) || defined(__clang__)
#define TAVIMO_CALENDAR_EXPORT __attribute__((visibility("default")))
#else
#define TAVIMO_CALENDAR_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The answer to an access request. `granted` is 1 when access was granted.
 * `message` (NULL when there is none) says why it was not, and belongs to the
 * bridge: it is valid only until the callback returns, so copy it to keep it.
 * `context` is what was passed to tavimo_calendar_request_access, unchanged.
 */
typedef void (*tavimo_calendar_access_callback)(uint8_t granted,
                                                const char* message,
                                                void* context);

/*
 * The permission diagnostics of this process as JSON:
 * {"bundleId":…,"canRead":…,"executablePath":…,"status":…}. When they cannot be
 * encoded, a fixed fallback document with the same keys and "unknown" values.
 * Returns a new text that the caller frees with tavimo_calendar_string_free;
 * NULL only when out of memory.
 */
TAVIMO_CALENDAR_EXPORT char* tavimo_calendar_diagnostics(void);

/*
 * The calendars and the events of [start_iso, end_iso) as JSON, read only if
 * full access is granted already: this never asks for access and never waits
 * for the user. Both dates are ISO-8601 internet date-times with a zone, the
 * start strictly before the end.
 *
 * On success returns a new text (free it with tavimo_calendar_string_free) and
 * leaves *failure_text untouched. On failure returns NULL and, when
 * failure_text is not NULL, stores in *failure_text a new text saying why (free
 * it with tavimo_calendar_string_free), or NULL when out of memory.
 * start_iso, end_iso and failure_text may each be NULL; a NULL date fails.
 */
TAVIMO_CALENDAR_EXPORT char* tavimo_calendar_snapshot(const char* start_iso,
                                                      const char* end_iso,
                                                      char** failure_text);

/*
 * What a meeting note needs of the events of [start_iso, end_iso), as JSON:
 * {"events":[…]}, the same events in the same order as tavimo_calendar_snapshot
 * gives for the same range, each with its snapshot "id" and its attendees,
 * availability, conference link, notes, organizer, recurrence, status, time
 * zone and URL. Same dates, permission rule (reads only with full access,
 * never asks), failure texts and ownership as tavimo_calendar_snapshot: on
 * success a new text, on failure NULL and a new text in *failure_text when
 * failure_text is not NULL. Reading attendees costs time, so the snapshot
 * leaves them to this function.
 */
TAVIMO_CALENDAR_EXPORT char* tavimo_calendar_details(const char* start_iso,
                                                     const char* end_iso,
                                                     char** failure_text);

/*
 * tavimo_calendar_snapshot and tavimo_calendar_details of some calendars only:
 * calendar_ids_json names them as one JSON array of strings, for example
 * ["A1B2C3D4-0000-4000-8000-000000000001"]. The document lists only those
 * calendars, in the store's order, and only they are read: the store is
 * queried with them alone. An id that no calendar has is ignored; an empty
 * array reads no calendar and creates no store, though the permission rule
 * still holds. A NULL calendar_ids_json reads every calendar, exactly as the
 * functions without a filter do. Same dates, permission rule, failure texts
 * and ownership as tavimo_calendar_snapshot; ids that are not a JSON array of
 * strings fail with "Vantrel requires the calendar ids as a JSON array of
 * strings." (after the dates are checked).
 */
TAVIMO_CALENDAR_EXPORT char* tavimo_calendar_snapshot_of_calendars(const char* start_iso,
                                                                   const char* end_iso,
                                                                   const char* calendar_ids_json,
                                                                   char** failure_text);
TAVIMO_CALENDAR_EXPORT char* tavimo_calendar_details_of_calendars(const char* start_iso,
                                                                  const char* end_iso,
                                                                  const char* calendar_ids_json,
                                                                  char** failure_text);

/*
 * Asks for full calendar access; the answer comes through `callback`, exactly
 * once per call. When the answer is already known (access granted, restricted
 * or denied) the callback runs on the calling thread before this returns;
 * otherwise the user is asked and the callback runs later, on another thread,
 * once the calendar store has answered (never, if it never answers).
 * `context` may be NULL; it is passed to the callback unread. A NULL callback
 * does nothing and makes no request.
 */
TAVIMO_CALENDAR_EXPORT void tavimo_calendar_request_access(
    tavimo_calendar_access_callback callback, void* context);

/* Releases a text handed out by the functions above. NULL is ignored. */
TAVIMO_CALENDAR_EXPORT void tavimo_calendar_string_free(char* text);

/*
 * Called after the calendar store has changed: events or calendars added,
 * changed or removed, by the user, by sync, or by a change of permission. A
 * burst of changes within 250 ms gives one call, which says nothing about what
 * changed: read what you need. `context` is what was passed to
 * tavimo_calendar_watch_changes, unchanged.
 */
typedef void (*tavimo_calendar_change_callback)(void* context);

/* A running watch of the calendar store's changes. */
typedef struct tavimo_calendar_watch tavimo_calendar_watch;

/*
 * Starts watching the calendar store for changes. The callback may run on any
 * thread (never inside this call); the calls of one watch never overlap.
 * `context` may be NULL; it is passed to the callback unread.
 *
 * Returns the watch, which the caller stops exactly once with
 * tavimo_calendar_watch_stop. Returns NULL, with nothing started, when the
 * callback is NULL, the store cannot be watched, or memory is short.
 *
 * macOS hands the store's changes to a process only through its main
 * thread's run loop: while a watch runs, the process's main thread must turn
 * that loop in its default mode. An application's main thread does
 * (NSApplicationMain, or Electron's main process); a command-line program
 * whose main thread does something else turns it now and then itself, for
 * example CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true) every 100 ms or
 * CFRunLoopRun() for good. Otherwise the callback is never called.
 */
TAVIMO_CALENDAR_EXPORT tavimo_calendar_watch* tavimo_calendar_watch_changes(
    tavimo_calendar_change_callback callback, void* context);

/*
 * Stops a watch and frees it. Once this returns, the watch's callback is not
 * running and is never called again: a call in progress on another thread is
 * waited for, so a callback must not wait for a thread that is stopping its
 * watch. Stopping a watch from inside its own callback is allowed and returns
 * at once. NULL is ignored. The first stop frees the watch: stopping it again
 * uses freed memory, as freeing memory twice does, and is undefined (a second
 * stop cannot be told from the stop of a later watch at the same address).
 */
TAVIMO_CALENDAR_EXPORT void tavimo_calendar_watch_stop(tavimo_calendar_watch* watch);

#ifdef __cplusplus
}
#endif

#endif /* TAVIMO_CALENDAR_H */
