#include "v8_text.h"

#include <stdlib.h>
#include <string.h>

enum { kBlock = 16 };

/* How many of the kBlock bytes at `bytes` are ASCII before the first that is
 * not: most of a snapshot document (its keys, dates and identifiers) is. */
static size_t ascii_prefix(const unsigned char* bytes) {
  const uint64_t high_bits = UINT64_C(0x8080808080808080);
  for (size_t half = 0; half < kBlock; half += 8) {
    uint64_t word;
    memcpy(&word, bytes + half, sizeof word);
    word &= high_bits;
    if (word != 0) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
      return half + (size_t)__builtin_clzll(word) / 8;
#else
      return half + (size_t)__builtin_ctzll(word) / 8;
#endif
    }
  }
  return kBlock;
}

/* How many bytes from `read` on are ASCII, up to the first that is not or to
 * `size`: the run both passes copy in one go. */
static size_t ascii_run(const unsigned char* text, size_t size, size_t read) {
  const size_t start = read;
  while (size - read >= kBlock) {
    size_t ascii = ascii_prefix(text + read);
    read += ascii;
    if (ascii < kBlock) return read - start;
  }
  while (read < size && text[read] < 0x80) ++read;
  return read - start;
}

/* Widens `count` one-byte characters into code units: a block at a time
 * through a local copy, which the compiler may widen in vector registers. */
static void widen(uint16_t* units, const unsigned char* bytes, size_t count) {
  size_t i = 0;
  for (; count - i >= kBlock; i += kBlock) {
    unsigned char block[kBlock];
    memcpy(block, bytes + i, kBlock);
    for (int j = 0; j < kBlock; ++j) units[i + j] = block[j];
  }
  for (; i < count; ++i) units[i] = bytes[i];
}

/* Undoes the Latin-1 rewriting of the first `written` characters, which came
 * from the first `read` bytes: back to front, each character is read before
 * the bytes it came from (never fewer positions from the start) are written. */
static void restore_utf8(unsigned char* text, size_t written, size_t read) {
  while (written > 0) {
    unsigned char character = text[--written];
    if (character < 0x80) {
      text[--read] = character;
    } else {
      text[--read] = (unsigned char)(0x80 | (character & 0x3F));
      text[--read] = (unsigned char)(0xC0 | (character >> 6));
    }
  }
}

/* Continues in UTF-16 from byte `read` of `text`, the first `written`
 * characters already rewritten as Latin-1. */
static bool lay_out_utf16(unsigned char* text, size_t size, size_t written, size_t read,
                          V8Text* result) {
  /* No sequence gives more code units than it has bytes. */
  size_t capacity = written + (size - read);
  uint16_t* units = calloc(capacity, sizeof *units);
  if (units == NULL) {
    restore_utf8(text, written, read);
    return false;
  }
  widen(units, text, written);
  size_t out = written;
  while (read < size) {
    size_t ascii = ascii_run(text, size, read);
    widen(units + out, text + read, ascii);
    read += ascii;
    out += ascii;
    if (read == size) break;
    unsigned lead = text[read];
    size_t left = size - read;
    if (lead >= 0xC2 && lead < 0xE0 && left >= 2) {
      units[out++] = (uint16_t)((lead & 0x1F) << 6 | (text[read + 1] & 0x3F));
      read += 2;
    } else if (lead >= 0xE0 && lead < 0xF0 && left >= 3) {
      units[out++] = (uint16_t)((lead & 0x0F) << 12 | (text[read + 1] & 0x3F) << 6 |
                                (text[read + 2] & 0x3F));
      read += 3;
    } else if (lead >= 0xF0 && lead < 0xF5 && left >= 4) {
      uint32_t point = ((uint32_t)(lead & 0x07) << 18 | (uint32_t)(text[read + 1] & 0x3F) << 12 |
                        (uint32_t)(text[read + 2] & 0x3F) << 6 | (text[read + 3] & 0x3F)) -
                       0x10000;
      units[out++] = (uint16_t)(0xD800 | point >> 10);
      units[out++] = (uint16_t)(0xDC00 | (point & 0x3FF));
      read += 4;
    } else {
      units[out++] = 0xFFFD;
      read += 1;
    }
  }
  /* Memory past `out` was never touched; give it back. */
  uint16_t* fitted = out < capacity ? realloc(units, out * sizeof *units) : NULL;
  result->characters = fitted != NULL ? fitted : units;
  result->length = out;
  result->two_byte = true;
  return true;
}

bool v8_text_lay_out(char* utf8, size_t size, V8Text* result) {
  unsigned char* text = (unsigned char*)utf8;
  size_t read = 0;
  size_t written = 0;
  while (read < size) {
    size_t ascii = ascii_run(text, size, read);
    /* Up to the first character past ASCII every byte stays where it is. */
    if (written != read) memmove(text + written, text + read, ascii);
    read += ascii;
    written += ascii;
    if (read == size) break;
    unsigned lead = text[read];
    if ((lead == 0xC2 || lead == 0xC3) && size - read >= 2) {
      text[written++] = (unsigned char)((lead & 0x03) << 6 | (text[read + 1] & 0x3F));
      read += 2;
    } else {
      return lay_out_utf16(text, size, written, read, result);
    }
  }
  result->characters = text;
  result->length = written;
  result->two_byte = false;
  return true;
}
