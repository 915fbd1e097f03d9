/* snapshot(startIso, endIso): the bridge's snapshot, on the JavaScript thread. */
#include <stdlib.h>

#include "host_environment.h"
#include "tavimo_calendar.h"
#include "vantrel_module.h"

const char kTwoStrings[] = "snapshot(startIso, endIso) requires two strings.";
const char kSyncFailed[] = "System calendar sync failed.";

napi_value Snapshot(napi_env env, napi_callback_info info) {
  size_t argc = 2;
  napi_value argv[2];
  NAPI_CALL(napi_get_cb_info(env, info, &argc, argv, NULL, NULL),
            return fail_call(env, NULL, kTwoStrings, kTwoStrings));
  if (argc < 2) return fail_call(env, NULL, kTwoStrings, kTwoStrings);
  char* start = js_string_copy(env, argv[0]);
  char* end = js_string_copy(env, argv[1]);
  if (start == NULL || end == NULL) {
    free(start);
    free(end);
    return fail_call(env, NULL, kTwoStrings, kTwoStrings);
  }

  char* failure = NULL;
  HostEnvironment* environment = host_environment_read(env);
  host_environment_enter(environment);
  char* json = tavimo_calendar_snapshot(start, end, &failure);
  host_environment_leave(environment);
  host_environment_free(environment);
  free(start);
  free(end);

  napi_value result = NULL;
  if (json != NULL && (result = js_string_of(env, json)) == NULL) {
    fail_call(env, NULL, kInvalidResponse, kInvalidResponse);
  } else if (json == NULL) {
    fail_call(env, NULL, failure, kSyncFailed);
  }
  tavimo_calendar_string_free(json);
  tavimo_calendar_string_free(failure);
  return result;
}
