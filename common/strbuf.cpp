// Bounded copies and path joins for the fixed buffers of both programs (see strbuf.h).
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/strbuf.h"

void copyPrefix(char *dst, size_t size, const char *src, size_t n) {
    if (size == 0) return;
    size_t len = 0;
    while (len < n && len + 1 < size && src[len] != '\0')
        ++len;
    memcpy(dst, src, len);
    dst[len] = '\0';
}

void copyBounded(char *dst, const char *src, size_t size) {
    copyPrefix(dst, size, src, (size_t)-1);
}

void appendBounded(char *dst, const char *src, size_t size) {
    size_t used = strnlen(dst, size);
    if (used >= size) return; // not terminated within size: leave it alone
    copyBounded(dst + used, src, size - used);
}

int joinPath(char *dst, size_t size, const char *a, const char *b) {
    size_t la = strlen(a), lb = strlen(b);
    if (size == 0) return 0;
    if (la + 1 + lb + 1 > size) {
        dst[0] = '\0';
        return 0;
    }
    memcpy(dst, a, la);
    dst[la] = '\\';
    memcpy(dst + la + 1, b, lb + 1);
    return 1;
}

char *dupString(const char *s) {
    size_t len = strlen(s) + 1;
    char *copy = (char *)malloc(len);
    if (copy != NULL) memcpy(copy, s, len);
    return copy;
}

char *formatAlloc(const char *format, ...) {
    va_list values;
    va_start(values, format);
    int len = vsnprintf(NULL, 0, format, values);
    va_end(values);
    char *text = len >= 0 ? (char *)malloc((size_t)len + 1) : NULL;
    if (text == NULL) return NULL;
    va_start(values, format);
    vsnprintf(text, (size_t)len + 1, format, values);
    va_end(values);
    return text;
}
