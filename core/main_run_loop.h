/*
 * For the module: the main thread's run loop, which carries the calendar
 * store's change notices. Not part of the exported C interface.
 */
#ifndef VANTREL_MAIN_RUN_LOOP_H
#define VANTREL_MAIN_RUN_LOOP_H

#ifdef __cplusplus
extern "C" {
#endif

/* 1 on the process's main thread, else 0. */
int vantrel_on_main_thread(void);

/*
 * On the main thread: handles what its run loop has ready, without waiting.
 * Does nothing on another thread or inside a turn of that loop already under
 * way (the host's own).
 */
void vantrel_turn_main_run_loop(void);

#ifdef __cplusplus
}
#endif

#endif
