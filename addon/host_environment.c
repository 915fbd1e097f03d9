/* The platform layer's variable (vantrel_host.h), read through process.env. */
#include <stdbool.h>
#include <stdlib.h>

#include "host_environment.h"
#include "vantrel_host.h"
#include "vantrel_module.h"

struct HostEnvironment {
  const vantrel_layer_variable_hook* variable;
  char* value; /* NULL: the variable is unset */
  int entered;
};

HostEnvironment* host_environment_read(napi_env env) {
  const vantrel_layer_variable_hook* variable = vantrel_layer_variable();
  if (variable == NULL) return NULL;
  napi_value process = js_property(env, js_global(env), "process");
  napi_value variables = js_is(env, process, napi_object) ? js_property(env, process, "env") : NULL;
  napi_value value = js_is(env, variables, napi_object)
                         ? js_property(env, variables, variable->name)
                         : NULL;
  bool set = js_is(env, value, napi_string);
  if (js_exception_cleared(env) || (!set && !js_is(env, value, napi_undefined))) return NULL;
  HostEnvironment* environment = calloc(1, sizeof *environment);
  if (environment == NULL) return NULL;
  environment->variable = variable;
  if (set && (environment->value = js_string_copy(env, value)) == NULL) {
    free(environment);
    return NULL;
  }
  return environment;
}

void host_environment_enter(HostEnvironment* environment) {
  if (environment == NULL) return;
  environment->entered = environment->variable->begin(environment->value);
}

void host_environment_leave(HostEnvironment* environment) {
  if (environment != NULL && environment->entered) environment->variable->end();
}

void host_environment_free(HostEnvironment* environment) {
  if (environment == NULL) return;
  free(environment->value);
  free(environment);
}
