#include "js_string.h"

#include <stdlib.h>
#include <string.h>

char* js_string_copy(napi_env env, napi_value value) {
  size_t length = 0;
  if (napi_get_value_string_utf8(env, value, NULL, 0, &length) != napi_ok) return NULL;
  char* text = malloc(length + 1);
  if (text == NULL) return NULL;
  size_t copied = 0;
  if (napi_get_value_string_utf8(env, value, text, length + 1, &copied) != napi_ok ||
      copied != length || strlen(text) != length) {
    free(text);
    return NULL;
  }
  return text;
}
