/*
 * The value of VANTREL_STANDIN_STORE handed in by a host that reads its own
 * environment safely. getenv is not safe while another thread changes the
 * environment (setenv may free the array getenv is walking), and a Node host
 * changes it at any time: process.env writes, from workers with SHARE_ENV too,
 * go through Node's own lock, which getenv does not take. So the module reads
 * the variable through process.env on its JavaScript thread and hands the
 * value to the stand-in around each call into the bridge.
 */
#ifndef VANTREL_STANDIN_STORE_VARIABLE_H
#define VANTREL_STANDIN_STORE_VARIABLE_H

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Until the matching vantrel_standin_variable_end on this thread, the stand-in
 * takes `value` (copied; NULL: unset) as the variable's value instead of
 * reading the environment. Pairs nest. Returns 0 when it could not (out of
 * memory): the environment is then read as before, and no end is due.
 */
int vantrel_standin_variable_begin(const char* value);
void vantrel_standin_variable_end(void);

#ifdef __cplusplus
}
#endif

#endif
