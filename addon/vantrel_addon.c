/*
 * vantrel.node: snapshot(), snapshotAsync(), detailsAsync(), diagnostics(),
 * requestAccess() and watchChanges() for JavaScript, each a thin layer, in a file of its own, over
 * the C functions of tavimo_calendar.h.
 */
/* dladdr and RTLD_NODELETE are extensions of POSIX. */
#define _GNU_SOURCE
#include <dlfcn.h>

#include "external_string.h"
#include "vantrel_module.h"

/* Keeps this library mapped until the process ends. A host may unload the
 * module (a worker thread that ends) while an access answer is still on its
 * way; that answer then runs access_callback on another thread, so the code
 * must still be there. */
static void keep_library_loaded(void) {
  static const char anchor = 0;
  Dl_info library;
  if (dladdr(&anchor, &library) != 0 && library.dli_fname != NULL) {
    dlopen(library.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
  }
}

NAPI_MODULE_INIT() {
  keep_library_loaded();
  main_run_loop_attach(env);
  external_strings_look_up();
  static const struct {
    const char* name;
    napi_callback function;
  } functions[] = {
      {"snapshot", Snapshot},
      {"diagnostics", Diagnostics},
      {"requestAccess", RequestAccess},
      {"snapshotAsync", SnapshotAsync},
      {"detailsAsync", DetailsAsync},
      {"watchChanges", WatchChanges},
      {"snapshotOfCalendarsAsync", SnapshotOfCalendarsAsync},
      {"detailsOfCalendarsAsync", DetailsOfCalendarsAsync},
      {"rangeWatchReadAsync", RangeWatchReadAsync},
      {"unavailableReason", UnavailableReason},
  };
  enum { kFunctions = sizeof functions / sizeof functions[0] };
  napi_value values[kFunctions];
  for (size_t i = 0; i < kFunctions; ++i) {
    NAPI_CALL(napi_create_function(env, functions[i].name, NAPI_AUTO_LENGTH,
                                   functions[i].function, NULL, &values[i]),
              return NULL);
  }
  for (size_t i = 0; i < kFunctions; ++i) {
    NAPI_CALL(napi_set_named_property(env, exports, functions[i].name, values[i]), return NULL);
  }
  return exports;
}
