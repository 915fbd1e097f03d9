/* diagnostics(): the permission diagnostics of this process; unavailableReason():
 * why the store cannot be read, or undefined. */
#include "host_environment.h"
#include "tavimo_calendar.h"
#include "vantrel_host.h"
#include "vantrel_module.h"

/* The call made with the environment the layer reads handed over. */
static char* with_host_environment(napi_env env, char* (*call)(void)) {
  HostEnvironment* environment = host_environment_read(env);
  host_environment_enter(environment);
  char* text = call();
  host_environment_leave(environment);
  host_environment_free(environment);
  return text;
}

napi_value Diagnostics(napi_env env, napi_callback_info info) {
  (void)info;
  char* json = with_host_environment(env, tavimo_calendar_diagnostics);
  napi_value result = json != NULL ? js_string_of(env, json) : NULL;
  tavimo_calendar_string_free(json);
  return result != NULL ? result : fail_call(env, NULL, NULL, "Calendar diagnostics are unavailable.");
}

napi_value UnavailableReason(napi_env env, napi_callback_info info) {
  (void)info;
  char* reason = with_host_environment(env, vantrel_unavailable_reason);
  napi_value result = NULL;
  if (reason != NULL) {
    result = js_string_of(env, reason);
  } else {
    NAPI_CALL(napi_get_undefined(env, &result), result = NULL);
  }
  tavimo_calendar_string_free(reason);
  return result;
}
