/*
 * What the platform layer would otherwise read from the process environment,
 * read instead on the JavaScript thread through process.env, where the host
 * guards its environment with its own lock: getenv on another thread while
 * JavaScript (a worker with SHARE_ENV, say) writes process.env can read freed
 * memory. Read it on the JavaScript thread, hand it over around the call into
 * the bridge on whichever thread makes it, then free it.
 */
#ifndef VANTREL_HOST_ENVIRONMENT_H
#define VANTREL_HOST_ENVIRONMENT_H

#include <node_api.h>

typedef struct HostEnvironment HostEnvironment;

/* NULL when there is nothing to hand over, or it could not be read; the
 * layer then reads the environment itself. Leaves no exception pending. */
HostEnvironment* host_environment_read(napi_env env);
/* Both accept NULL, and do nothing with it. */
void host_environment_enter(HostEnvironment* environment);
void host_environment_leave(HostEnvironment* environment);
void host_environment_free(HostEnvironment* environment);

#endif
