// Wildcard matching of member names against the command line's patterns: "*" (any bytes,
// "/" included), "?", "[set]" with ranges and "!" or "^" negation, "\" for a literal.
#include "unzip/unzip.h"

// "A" to "Z" and the Latin-1 capitals (but not the multiplication sign 0xD7).
static unsigned fold(unsigned c, int ignore_case) {
    if (ignore_case && ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)))
        return c | 0x20;
    return c;
}

// The end of a set: the first "]" not escaped by a backslash, or NULL.
static const uint8_t *set_end(const uint8_t *p) {
    for (; *p; p++) {
        if (*p == '\\' && p[1])
            p++;
        else if (*p == ']')
            return p;
    }
    return NULL;
}

// Whether c is in the set [p, end); a "-" at its start or end is literal.
static int in_set(const uint8_t *p, const uint8_t *end, unsigned c, int ic) {
    while (p < end) {
        unsigned lo = *p++;
        if (lo == '\\' && p < end) lo = *p++;
        if (p + 1 < end && *p == '-') {
            unsigned hi = p[1];
            p += 2;
            if (hi == '\\' && p < end) hi = *p++;
            if (fold(lo, ic) <= c && c <= fold(hi, ic)) return 1;
        } else if (fold(lo, ic) == c) {
            return 1;
        }
    }
    return 0;
}

int recmatch(const uint8_t *p, const uint8_t *s, int ic) {
    for (;;) {
        unsigned c = *p++;
        if (c == 0) return *s == 0;
        if (c == '?') {
            if (*s++ == 0) return 0;
            continue;
        }
        if (c == '*') {
            if (*p == 0) return 1;
            for (;; s++) {
                int r = recmatch(p, s, ic);
                if (r != 0) return r;
                if (*s == 0) return 2; // the rest cannot match any later start either
            }
        }
        if (c == '[') {
            if (*s == 0) return 0;
            int negate = *p == '!' || *p == '^';
            if (negate) p++;
            const uint8_t *end = set_end(p);
            if (end == NULL) return 0;
            if (in_set(p, end, fold(*s, ic), ic) == negate) return 0;
            p = end + 1;
            s++;
            continue;
        }
        if (c == '\\') {
            c = *p++;
            if (c == 0) return 0;
        }
        if (fold(c, ic) != fold(*s, ic)) return 0;
        s++;
    }
}

int match(const char *name, const char *pattern, int ignore_case) {
    return recmatch((const uint8_t *)pattern, (const uint8_t *)name, ignore_case) == 1;
}
