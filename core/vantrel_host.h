/*
 * What the core offers the module that hosts it, beside the exported C
 * interface: none of it is exported.
 *
 * Threads: vantrel_watch_changes, vantrel_range_watch_read,
 * vantrel_layer_variable, vantrel_unavailable_reason and
 * vantrel_on_main_thread may be called from any thread. A layer variable's
 * begin and end pair up on the thread that calls into the bridge, around that
 * call. vantrel_turn_main_run_loop does its work on the main thread alone.
 */
#ifndef VANTREL_HOST_H
#define VANTREL_HOST_H

#include "tavimo_calendar.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * As tavimo_calendar_watch_changes, for a module that throws the reason a
 * watch could not start. When it returns NULL, *failure is a text saying why,
 * for tavimo_calendar_string_free, or NULL when memory is short or the
 * callback is NULL; otherwise *failure is NULL.
 */
tavimo_calendar_watch* vantrel_watch_changes(tavimo_calendar_change_callback callback,
                                             void* context, char** failure);

/*
 * The environment variable a platform layer reads at each call (the stand-in:
 * its document's path). getenv is not safe while another thread changes the
 * environment, and a Node host changes it at any time under a lock of its own
 * (process.env writes, from workers with SHARE_ENV too). So the module reads
 * the variable through process.env on its JavaScript thread and hands the
 * value to the layer around each call into the bridge. Each layer defines
 * vantrel_layer_variable.
 */
typedef struct vantrel_layer_variable_hook {
  const char* name;
  /* Until the matching end on this thread, the layer takes `value` (copied;
   * NULL: unset) as the variable's value instead of reading the environment.
   * Pairs nest. Returns 0 when it could not (out of memory): the environment
   * is then read as before, and no end is due. */
  int (*begin)(const char* value);
  void (*end)(void);
} vantrel_layer_variable_hook;

/* The layer's variable; NULL when it reads none. */
const vantrel_layer_variable_hook* vantrel_layer_variable(void);

/*
 * For the module's range watch: as tavimo_calendar_snapshot_of_calendars,
 * with one more member after "events": "occurrences", for each event at its
 * position its item identifier, "::" and its occurrence date (its original
 * start in its series; a single event's start) in whole milliseconds. An
 * occurrence keeps that key when it moves, while its "id" follows its start.
 * Any thread.
 */
char* vantrel_range_watch_read(const char* start_iso, const char* end_iso,
                               const char* calendar_ids_json, char** failure_text);

/*
 * Why the calendar store cannot be read now, where the layer knows more than
 * the status says (a library or a bus name missing, what a sandbox needs): a
 * text for tavimo_calendar_string_free, or NULL. Reads the layer's variable as
 * the bridge's calls do.
 */
char* vantrel_unavailable_reason(void);

/* 1 on the process's main thread, else 0. */
int vantrel_on_main_thread(void);
/*
 * On the main thread: handles what its run loop, which carries the calendar
 * store's change notices, has ready, without waiting.
 * Does nothing on another thread or inside a turn of that loop already under
 * way (the host's own).
 */
void vantrel_turn_main_run_loop(void);

#ifdef __cplusplus
}
#endif

#endif
