/*
 * Texts to and from JavaScript strings, within the engine's limit on a
 * string's length, and the one rule for the text of a failure.
 */
#include <stdbool.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "external_string.h"
#include "vantrel_module.h"

const char kInvalidResponse[] = "The macOS Vantrel returned an invalid response.";

/* V8's String::kMaxLength, for an engine that cannot be asked: the longest
 * string it makes, in UTF-16 code units. */
#if UINTPTR_MAX > 0xFFFFFFFFu
#define V8_STRING_LIMIT ((size_t)(1u << 29) - 24)
#else
#define V8_STRING_LIMIT ((size_t)(1u << 28) - 16)
#endif

/* No engine limits strings to fewer code units than this, so only longer
 * texts are measured and the engine asked. A test build lowers it to reach
 * those paths without half a gigabyte of text. */
#ifndef VANTREL_STRING_LIMIT_FLOOR
#define VANTREL_STRING_LIMIT_FLOOR ((size_t)(1u << 28) - 16)
#endif

char* js_string_copy(napi_env env, napi_value value) {
  size_t length = 0;
  NAPI_CALL(napi_get_value_string_utf8(env, value, NULL, 0, &length), return NULL);
  char* text = malloc(length + 1);
  if (text == NULL) return NULL;
  size_t copied = 0;
  NAPI_CALL(napi_get_value_string_utf8(env, value, text, length + 1, &copied), goto fail);
  if (copied == length && strlen(text) == length) return text;
fail:
  free(text);
  return NULL;
}

napi_value js_global(napi_env env) {
  napi_value global;
  NAPI_CALL(napi_get_global(env, &global), return NULL);
  return global;
}

bool js_is(napi_env env, napi_value value, napi_valuetype type) {
  napi_valuetype actual;
  if (value == NULL) return false;
  NAPI_CALL(napi_typeof(env, value, &actual), return false);
  return actual == type;
}

napi_value js_property(napi_env env, napi_value object, const char* name) {
  napi_value value;
  if (!js_is(env, object, napi_object) && !js_is(env, object, napi_function)) return NULL;
  NAPI_CALL(napi_get_named_property(env, object, name, &value), return NULL);
  return value;
}

bool js_exception_cleared(napi_env env) {
  bool pending = false;
  napi_value ignored;
  NAPI_CALL(napi_is_exception_pending(env, &pending), return false);
  if (pending) napi_get_and_clear_last_exception(env, &ignored);
  return pending;
}

/* The engine's own limit, as require('buffer').constants.MAX_STRING_LENGTH
 * gives it, through process.getBuiltinModule (Node 20.16, 22.3 and later);
 * V8's constant where that cannot be reached. Leaves no exception pending. */
static double asked_string_limit(napi_env env) {
  napi_value process = js_property(env, js_global(env), "process");
  napi_value get_module = js_property(env, process, "getBuiltinModule");
  napi_value name, buffer = NULL, constants, limit;
  double value = 0;
  if (!js_is(env, process, napi_object) || !js_is(env, get_module, napi_function)) return 0;
  NAPI_CALL(napi_create_string_utf8(env, "buffer", NAPI_AUTO_LENGTH, &name), return 0);
  NAPI_CALL(napi_call_function(env, process, get_module, 1, &name, &buffer), return 0);
  if (!js_is(env, buffer, napi_object) ||
      !js_is(env, constants = js_property(env, buffer, "constants"), napi_object) ||
      (limit = js_property(env, constants, "MAX_STRING_LENGTH")) == NULL) {
    return 0;
  }
  NAPI_CALL(napi_get_value_double(env, limit, &value), return 0);
  return value;
}

static size_t engine_string_limit(napi_env env) {
  double value = asked_string_limit(env);
  if (js_exception_cleared(env) || !(value >= 1) || value > (double)SIZE_MAX) {
    return V8_STRING_LIMIT;
  }
  return (size_t)value;
}

/* UTF-16 code units of the UTF-8 text `text` of `size` bytes: one for each
 * sequence, two for a four-byte one (a surrogate pair). Exact for valid
 * UTF-8, which every text of the bridge is. */
static size_t utf16_length(const char* text, size_t size) {
  size_t units = 0;
  for (size_t i = 0; i < size; ++i) {
    unsigned char byte = (unsigned char)text[i];
    units += (byte & 0xC0) != 0x80;
    units += byte >= 0xF0;
  }
  return units;
}

static bool fits_units(napi_env env, size_t units) {
  return units <= VANTREL_STRING_LIMIT_FLOOR || units <= engine_string_limit(env);
}

/* Whether `text` is short enough for a JavaScript string. V8 does not fail
 * on a longer one: it ends the whole process. A UTF-8 text has at least as
 * many bytes as code units, so a short one is not even measured. */
static bool fits_string(napi_env env, const char* text) {
  size_t size = strlen(text);
  return size <= VANTREL_STRING_LIMIT_FLOOR || fits_units(env, utf16_length(text, size));
}

napi_value js_string_of(napi_env env, const char* text) {
  napi_value result;
  if (!fits_string(env, text)) return NULL;
  NAPI_CALL(napi_create_string_utf8(env, text, NAPI_AUTO_LENGTH, &result), return NULL);
  return result;
}

napi_value js_string_of_v8_text(napi_env env, V8Text* text) {
  if (fits_units(env, text->length)) return external_string_make(env, text);
  external_string_text_free(text);
  return NULL;
}

napi_value fail_call(napi_env env, napi_deferred deferred, const char* failure,
                     const char* unsaid) {
  const char* message = failure == NULL || failure[0] == '\0' ? unsaid
                        : fits_string(env, failure)            ? failure
                                                               : kInvalidResponse;
  if (deferred == NULL) {
    napi_throw_error(env, NULL, message);
    return NULL;
  }
  napi_value text = js_string_of(env, message);
  napi_value error = NULL;
  if (text == NULL) text = js_string_of(env, kInvalidResponse);
  /* Without memory for an error the promise still settles, so none is left
   * pending for ever. */
  if (text != NULL) NAPI_CALL(napi_create_error(env, NULL, text, &error), error = NULL);
  if (error == NULL) napi_get_undefined(env, &error);
  napi_reject_deferred(env, deferred, error);
  return NULL;
}
