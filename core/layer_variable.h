/*
 * The environment variable a platform layer reads at each call (the stand-in:
 * the path of its document), for a host that reads its own environment
 * safely. getenv is not safe while another thread changes the environment
 * (setenv may free the array getenv is walking), and a Node host changes it at
 * any time: process.env writes, from workers with SHARE_ENV too, go through
 * Node's own lock, which getenv does not take. So the module reads the
 * variable through process.env on its JavaScript thread and hands the value
 * to the layer around each call into the bridge. Each layer defines
 * vantrel_layer_variable; it is not exported.
 */
#ifndef VANTREL_LAYER_VARIABLE_H
#define VANTREL_LAYER_VARIABLE_H

#ifdef __cplusplus
extern "C" {
#endif

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

#ifdef __cplusplus
}
#endif

#endif
