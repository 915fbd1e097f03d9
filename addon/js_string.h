#ifndef VANTREL_JS_STRING_H
#define VANTREL_JS_STRING_H

#include <node_api.h>

/* A JavaScript string as a new NUL-terminated UTF-8 text, freed with free();
 * NULL when `value` is not a string, memory is short, or the string holds a
 * NUL: cut at that NUL it would read as a shorter, possibly valid, text. */
char* js_string_copy(napi_env env, napi_value value);

#endif
