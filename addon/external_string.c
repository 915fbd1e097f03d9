/* RTLD_DEFAULT is an extension of POSIX. */
#define _GNU_SOURCE
#include "external_string.h"

#include <dlfcn.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "tavimo_calendar.h"
#include "vantrel_module.h"

/* As the host declares them from Node-API version 10 on (experimental from
 * Node 18.18 and 20.4, with the same signature). */
typedef napi_status (*ExternalLatin1)(napi_env env, char* str, size_t length,
                                      napi_finalize finalize_callback, void* finalize_hint,
                                      napi_value* result, bool* copied);
typedef napi_status (*ExternalUtf16)(napi_env env, char16_t* str, size_t length,
                                     napi_finalize finalize_callback, void* finalize_hint,
                                     napi_value* result, bool* copied);

/* Every module registration writes the same values, from any thread. */
static _Atomic(ExternalLatin1) host_latin1;
static _Atomic(ExternalUtf16) host_utf16;

_Static_assert(sizeof(void*) == sizeof(ExternalLatin1) && sizeof(void*) == sizeof(ExternalUtf16),
               "dlsym hands functions over as object pointers");

void external_strings_look_up(void) {
  void* latin1_symbol = dlsym(RTLD_DEFAULT, "node_api_create_external_string_latin1");
  void* utf16_symbol = dlsym(RTLD_DEFAULT, "node_api_create_external_string_utf16");
  ExternalLatin1 latin1 = NULL;
  ExternalUtf16 utf16 = NULL;
  if (latin1_symbol != NULL && utf16_symbol != NULL) {
    memcpy(&latin1, &latin1_symbol, sizeof latin1);
    memcpy(&utf16, &utf16_symbol, sizeof utf16);
  }
  atomic_store_explicit(&host_latin1, latin1, memory_order_relaxed);
  atomic_store_explicit(&host_utf16, utf16, memory_order_relaxed);
}

bool external_strings_available(void) {
  return atomic_load_explicit(&host_latin1, memory_order_relaxed) != NULL &&
         atomic_load_explicit(&host_utf16, memory_order_relaxed) != NULL;
}

/* V8 counts none of an external string's characters as its own memory, so
 * without being told it never collects for them: each string's bytes are
 * added to the engine's external memory, as Node's own external strings do,
 * and taken off by its finalizer. The finalizer gets them as its hint. */
static void tell_engine(napi_env env, int64_t change) {
  int64_t total;
  if (env == NULL) return;
  /* Nothing else to do when it cannot be told: the string is as before. */
  NAPI_CALL(napi_adjust_external_memory(env, change, &total), return);
}

/* V8 runs the finalizers inside its collection's pause on the JavaScript
 * thread, and giving a document's megabytes back to the system takes about
 * half a millisecond each. Characters that large are handed to a thread of the
 * module's own, which frees them and ends when none are left; smaller ones,
 * those of a teardown, and all of them where no thread can be started, are
 * freed at once. The list is kept in the characters themselves, so handing
 * them over needs no memory. */
enum { kFreedElsewhereFrom = 64 * 1024 };

typedef struct ToFree {
  struct ToFree* next;
  bool core_text; /* tavimo_calendar_string_free's, else free's */
} ToFree;

static pthread_mutex_t to_free_lock = PTHREAD_MUTEX_INITIALIZER;
/* Guarded by to_free_lock. */
static ToFree* to_free;
static bool freeing;

static void free_now(void* data, bool core_text) {
  if (core_text) {
    tavimo_calendar_string_free(data);
  } else {
    free(data);
  }
}

static void* free_handed_over(void* unused) {
  (void)unused;
  pthread_mutex_lock(&to_free_lock);
  while (to_free != NULL) {
    ToFree* taken = to_free;
    to_free = NULL;
    pthread_mutex_unlock(&to_free_lock);
    while (taken != NULL) {
      ToFree* next = taken->next;
      free_now(taken, taken->core_text);
      taken = next;
    }
    pthread_mutex_lock(&to_free_lock);
  }
  freeing = false;
  pthread_mutex_unlock(&to_free_lock);
  return NULL;
}

static void free_characters(napi_env env, void* data, size_t bytes, bool core_text) {
  if (env == NULL || bytes < kFreedElsewhereFrom) {
    free_now(data, core_text);
    return;
  }
  ToFree* handed = data;
  handed->core_text = core_text;
  pthread_mutex_lock(&to_free_lock);
  handed->next = to_free;
  to_free = handed;
  bool started = freeing;
  if (!started) {
    pthread_attr_t detached;
    pthread_t thread;
    started = pthread_attr_init(&detached) == 0;
    if (started) {
      started = pthread_attr_setdetachstate(&detached, PTHREAD_CREATE_DETACHED) == 0 &&
                pthread_create(&thread, &detached, free_handed_over, NULL) == 0;
      pthread_attr_destroy(&detached);
    }
    freeing = started;
  }
  /* Without a thread, nothing else takes these: they are this call's alone. */
  if (!started) to_free = NULL;
  pthread_mutex_unlock(&to_free_lock);
  if (!started) free_now(handed, core_text);
}

/* Finalizers: they may run during the environment's teardown (env NULL), so
 * they only free, and take their bytes off while the environment lives. */
static void free_core_text(napi_env env, void* data, void* hint) {
  tell_engine(env, -(int64_t)(uintptr_t)hint);
  free_characters(env, data, (size_t)(uintptr_t)hint, true);
}

static void free_code_units(napi_env env, void* data, void* hint) {
  tell_engine(env, -(int64_t)(uintptr_t)hint);
  free_characters(env, data, (size_t)(uintptr_t)hint, false);
}

void external_string_text_free(V8Text* text) {
  if (text->two_byte) {
    free(text->characters);
  } else {
    tavimo_calendar_string_free(text->characters);
  }
  text->characters = NULL;
}

napi_value external_string_make(napi_env env, V8Text* text) {
  ExternalLatin1 latin1 = atomic_load_explicit(&host_latin1, memory_order_relaxed);
  ExternalUtf16 utf16 = atomic_load_explicit(&host_utf16, memory_order_relaxed);
  napi_value result = NULL;
  bool copied = false;
  napi_status status;
  /* Told before the string is made: a copying host calls the finalizer at
   * once, which takes the bytes off again. */
  size_t bytes = text->two_byte ? text->length * sizeof(char16_t) : text->length;
  void* hint = (void*)(uintptr_t)bytes;
  /* A host that fails leaves the characters with the caller (Node checks
   * its arguments first, and a copying host calls the finalizer only on
   * success): copy them the plain way, then free them here. */
  if (text->two_byte ? utf16 == NULL : latin1 == NULL) goto copy;
  tell_engine(env, (int64_t)bytes);
  NAPI_CALL(text->two_byte ? utf16(env, text->characters, text->length, free_code_units, hint,
                                   &result, &copied)
                           : latin1(env, text->characters, text->length, free_core_text, hint,
                                    &result, &copied),
            tell_engine(env, -(int64_t)bytes);
            goto copy);
  text->characters = NULL;
  return result;
copy:
  status = text->two_byte
               ? napi_create_string_utf16(env, text->characters, text->length, &result)
               : napi_create_string_latin1(env, text->characters, text->length, &result);
  external_string_text_free(text);
  NAPI_CALL(status, return NULL);
  return result;
}
