// Java version texts compared as text and as numbers (see version.h).
#include <string.h>

#include "launcher/version.h"

static int isDigit(char c) {
    return c >= '0' && c <= '9';
}

// One decimal component at *text, advanced past it; 0 when there is none or it is too large.
static int takeNumber(const char **text, unsigned *value) {
    const char *p = *text;
    unsigned long long n = 0;
    if (!isDigit(*p)) return 0;
    for (; isDigit(*p); ++p) {
        n = n * 10 + (unsigned)(*p - '0');
        if (n > VERSION_PART_MAX) return 0;
    }
    *value = (unsigned)n;
    *text = p;
    return 1;
}

int parseJavaVersion(const char *text, JavaVersion *out) {
    JavaVersion v;
    v.count = 0;
    const char *p = text;
    for (;;) {
        unsigned n;
        if (!takeNumber(&p, &n)) break;
        if (v.count < VERSION_PARTS) v.parts[v.count++] = n;
        if ((*p == '.' || *p == '_') && isDigit(p[1])) {
            ++p;
            continue;
        }
        if (*p == '\0' || *p == '-' || *p == '+') {
            // "1.8" is Java 8; a lone "1" stays 1.
            if (v.parts[0] == 1 && v.count > 1) {
                memmove(v.parts, v.parts + 1, sizeof v.parts[0] * (size_t)(v.count - 1));
                --v.count;
            }
            *out = v;
            return 1;
        }
        break;
    }
    out->count = 0;
    return 0;
}

int compareJavaVersions(const JavaVersion &a, const JavaVersion &b, int precision) {
    for (int i = 0; i < precision && i < VERSION_PARTS; ++i) {
        unsigned x = i < a.count ? a.parts[i] : 0, y = i < b.count ? b.parts[i] : 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

// The version against one bound: below 0, 0 or above 0 at the bound's precision; 2 when
// either is no version number.
static int againstBound(const JavaVersion &version, const char *bound) {
    JavaVersion b;
    if (!parseJavaVersion(bound, &b) || version.count == 0) return 2;
    return compareJavaVersions(version, b, b.count);
}

int versionWithinBounds(const char *required, const char *minimum, const char *maximum,
                        const char *version) {
    JavaVersion v;
    parseJavaVersion(version, &v);
    if (required[0] != '\0') return againstBound(v, required) == 0;
    if (minimum[0] != '\0') {
        int c = againstBound(v, minimum);
        if (c < 0 || c == 2) return 0;
    }
    if (maximum[0] != '\0') {
        int c = againstBound(v, maximum);
        if (c > 0) return 0;
    }
    return 1;
}

static char foldCase(char c) {
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

// Two digit runs as numbers, whatever their length: below 0, 0 or above 0.
static int compareDigitRuns(const char *a, size_t lenA, const char *b, size_t lenB) {
    while (lenA > 1 && *a == '0')
        ++a, --lenA;
    while (lenB > 1 && *b == '0')
        ++b, --lenB;
    if (lenA != lenB) return lenA < lenB ? -1 : 1;
    int c = memcmp(a, b, lenA);
    return c < 0 ? -1 : c > 0;
}

static size_t digitRun(const char *text) {
    size_t n = 0;
    while (isDigit(text[n]))
        ++n;
    return n;
}

// Characters compare by their 8-bit codes with letters folded to lower case, so "." sorts
// before digits and digits before "_" and letters; a shorter version sorts first.
int compareVersionText(const char *version, const char *bound) {
    const char *v = version, *b = bound;
    while (*b != '\0') {
        if (*b == '_' && *v == '_') {
            size_t runV = digitRun(v + 1), runB = digitRun(b + 1);
            if (runV > 0 && runB > 0) {
                int c = compareDigitRuns(v + 1, runV, b + 1, runB);
                if (c != 0) return c;
                v += 1 + runV;
                b += 1 + runB;
                continue;
            }
        }
        unsigned char cv = (unsigned char)foldCase(*v), cb = (unsigned char)foldCase(*b);
        if (cv != cb) return cv < cb ? -1 : 1;
        ++v;
        ++b;
    }
    return 0;
}
