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

static int get_property(napi_env env, napi_value object, const char* name, napi_value* result) {
  napi_valuetype type;
  return napi_typeof(env, object, &type) == napi_ok && type == napi_object &&
         napi_get_named_property(env, object, name, result) == napi_ok;
}

HostEnvironment* host_environment_read(napi_env env) {
  const vantrel_layer_variable_hook* variable = vantrel_layer_variable();
  if (variable == NULL) return NULL;
  napi_value global;
  napi_value process;
  napi_value variables;
  napi_value value;
  napi_valuetype type;
  int read = napi_get_global(env, &global) == napi_ok &&
             get_property(env, global, "process", &process) &&
             get_property(env, process, "env", &variables) &&
             get_property(env, variables, variable->name, &value) &&
             napi_typeof(env, value, &type) == napi_ok;
  bool pending = false;
  if (napi_is_exception_pending(env, &pending) == napi_ok && pending) {
    napi_value ignored;
    napi_get_and_clear_last_exception(env, &ignored);
    read = 0;
  }
  if (!read || (type != napi_undefined && type != napi_string)) return NULL;
  HostEnvironment* environment = calloc(1, sizeof *environment);
  if (environment == NULL) return NULL;
  environment->variable = variable;
  if (type == napi_string && (environment->value = js_string_copy(env, value)) == NULL) {
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
