/* The stand-in's side of vantrel_host.h's layer variable, for VANTREL_STANDIN_STORE. */
#ifndef VANTREL_STANDIN_STORE_VARIABLE_H
#define VANTREL_STANDIN_STORE_VARIABLE_H

#ifdef __cplusplus
extern "C" {
#endif

int vantrel_standin_variable_begin(const char* value);
void vantrel_standin_variable_end(void);

#ifdef __cplusplus
}
#endif

#endif
