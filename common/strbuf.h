// Bounded copies for the fixed path and message buffers of both programs. Every 261-byte
// buffer is filled through these, so an over-long text is cut or refused, never written
// past the end of its buffer.
#ifndef COMMON_STRBUF_H
#define COMMON_STRBUF_H

#include <stddef.h>

// Copies src into dst of size bytes; always terminated, cut when it does not fit.
void copyBounded(char *dst, const char *src, size_t size);
// Copies at most n characters of src (which need not be terminated within them).
void copyPrefix(char *dst, size_t size, const char *src, size_t n);
// Appends src to the text in dst (size bytes in all); cut when it does not fit.
void appendBounded(char *dst, const char *src, size_t size);
// dst := a + "\" + b; 0 (and dst empty) when it does not fit.
int joinPath(char *dst, size_t size, const char *a, const char *b);
// Heap copy of s, or NULL when memory is short.
char *dupString(const char *s);
// The formatted text in a heap buffer made to fit; NULL when memory is short.
char *formatAlloc(const char *format, ...) __attribute__((format(printf, 1, 2)));

#endif
