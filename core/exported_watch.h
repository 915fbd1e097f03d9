/*
 * tavimo_calendar_watch_changes for the module, which throws the reason a
 * watch could not start (the C interface answers NULL alone).
 */
#ifndef VANTREL_EXPORTED_WATCH_H
#define VANTREL_EXPORTED_WATCH_H

#include "tavimo_calendar.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * As tavimo_calendar_watch_changes. When it returns NULL, *failure is a text
 * saying why, for tavimo_calendar_string_free, or NULL when memory is short or
 * the callback is NULL; otherwise *failure is NULL.
 */
tavimo_calendar_watch* vantrel_watch_changes(tavimo_calendar_change_callback callback,
                                             void* context, char** failure);

#ifdef __cplusplus
}
#endif

#endif
