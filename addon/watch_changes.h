/*
 * watchChanges(listener) for JavaScript: the listener runs on the JavaScript
 * thread after the calendar store has changed; the function returned stops it.
 */
#ifndef VANTREL_WATCH_CHANGES_H
#define VANTREL_WATCH_CHANGES_H

#include <node_api.h>

napi_value WatchChanges(napi_env env, napi_callback_info info);

#endif /* VANTREL_WATCH_CHANGES_H */
