/*
 * A UTF-8 text laid out the way V8 keeps its strings: one byte a character
 * (Latin-1) when every character fits in one, else UTF-16 code units. Done on
 * the pool's thread, it leaves the JavaScript thread nothing to decode.
 */
#ifndef VANTREL_V8_TEXT_H
#define VANTREL_V8_TEXT_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

typedef struct V8Text {
  /* Latin-1: the UTF-8 text itself, rewritten in place. UTF-16: memory of
   * its own, from malloc. */
  void* characters;
  size_t length; /* in characters (Latin-1) or code units (UTF-16) */
  bool two_byte;
} V8Text;

/* Lays out the UTF-8 text `text` of `size` bytes in one pass. Valid UTF-8 is
 * read exactly; any other byte becomes U+FFFD, and nothing past `size` is
 * read. False only when there is no memory for UTF-16; `text` is then the
 * UTF-8 it was. The text itself stays the caller's either way. */
bool v8_text_lay_out(char* text, size_t size, V8Text* result);

#endif
