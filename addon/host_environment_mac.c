/* The macOS layer reads nothing from the environment. */
#include "host_environment.h"

HostEnvironment* host_environment_read(napi_env env) {
  (void)env;
  return NULL;
}

void host_environment_enter(HostEnvironment* environment) { (void)environment; }

void host_environment_leave(HostEnvironment* environment) { (void)environment; }

void host_environment_free(HostEnvironment* environment) { (void)environment; }
