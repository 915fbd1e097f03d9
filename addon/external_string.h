/*
 * JavaScript strings whose characters stay in the module's memory, through
 * node_api_create_external_string_latin1 and _utf16 where the host has them.
 * They are found at run time in the process that loaded the module, as every
 * Node-API function the module calls is bound, so the module keeps declaring
 * Node-API version 8 and still loads in a host without them.
 */
#ifndef VANTREL_EXTERNAL_STRING_H
#define VANTREL_EXTERNAL_STRING_H

#include <node_api.h>
#include <stdbool.h>

#include "v8_text.h"

/* Looks the host's functions up; called when the module is registered. */
void external_strings_look_up(void);
/* Whether the host has both functions (as looked up last). */
bool external_strings_available(void);

/* A string of `text`, whose memory it takes in every case: Latin-1
 * characters are a text of the core (freed with tavimo_calendar_string_free),
 * UTF-16 code units come from malloc. V8 keeps the characters where the host
 * allows it and frees them when it collects the string; a host that answers
 * `copied` has freed them already. Where that cannot be done the host copies
 * them into a string and they are freed here. NULL when no string can be
 * made. The text must not be longer than the engine's limit. */
napi_value external_string_make(napi_env env, V8Text* text);
/* Frees the memory of `text` as external_string_make would; accepts a text
 * without characters. */
void external_string_text_free(V8Text* text);

#endif
