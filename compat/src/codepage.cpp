// Host stand-in for the code-page calls: OEM 437 <-> ANSI 1252, UTF-8 and ANSI to UTF-16 and
// back, double-byte lead bytes. Tests can switch the ANSI code page to 932 for lead bytes.
#include "control.h"
#include <windows.h>

#include <atomic>
#include <cstring>

namespace {

constexpr DWORD kErrorInvalidParameter = 87;
constexpr DWORD kErrorInsufficientBuffer = 122;
constexpr unsigned kReplacement = 0xFFFD; // stands for a malformed UTF-8 sequence

std::atomic<unsigned> ansiCodePage{1252};

// Upper halves of the OEM/ANSI conversions. A character the other page lacks becomes its
// unaccented letter when it is an accented Latin letter (as Windows' best fit does), else '_'.
// Generated with:
// python3 -c "import unicodedata as u; f=lambda c,cp: (c if c.encode(cp,'ignore') else
//   u.normalize('NFKD',c)[0] if c.isalpha() and u.normalize('NFKD',c)[0].isascii() else
//   '_').encode(cp); print(', '.join('0x%02X' % f(bytes([b]).decode('cp437'), 'cp1252')[0]
//   for b in range(128, 256)))"
// and the same with bytes([b]).decode('cp1252', 'replace') encoded to 'cp437' for the reverse.
const unsigned char kOemToAnsi[128] = {
    0xC7, 0xFC, 0xE9, 0xE2, 0xE4, 0xE0, 0xE5, 0xE7, 0xEA, 0xEB, 0xE8, 0xEF, 0xEE, 0xEC, 0xC4, 0xC5,
    0xC9, 0xE6, 0xC6, 0xF4, 0xF6, 0xF2, 0xFB, 0xF9, 0xFF, 0xD6, 0xDC, 0xA2, 0xA3, 0xA5, 0x5F, 0x83,
    0xE1, 0xED, 0xF3, 0xFA, 0xF1, 0xD1, 0xAA, 0xBA, 0xBF, 0x5F, 0xAC, 0xBD, 0xBC, 0xA1, 0xAB, 0xBB,
    0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F,
    0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F,
    0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F,
    0x5F, 0xDF, 0x5F, 0x5F, 0x5F, 0x5F, 0xB5, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F,
    0x5F, 0xB1, 0x5F, 0x5F, 0x5F, 0x5F, 0xF7, 0x5F, 0xB0, 0x5F, 0xB7, 0x5F, 0x6E, 0xB2, 0x5F, 0xA0};
const unsigned char kAnsiToOem[128] = {
    0x5F, 0x5F, 0x5F, 0x9F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x53, 0x5F, 0x5F, 0x5F, 0x5A, 0x5F,
    0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x5F, 0x73, 0x5F, 0x5F, 0x5F, 0x7A, 0x59,
    0xFF, 0xAD, 0x9B, 0x9C, 0x5F, 0x9D, 0x5F, 0x5F, 0x5F, 0x5F, 0xA6, 0xAE, 0xAA, 0x5F, 0x5F, 0x5F,
    0xF8, 0xF1, 0xFD, 0x5F, 0x5F, 0xE6, 0x5F, 0xFA, 0x5F, 0x5F, 0xA7, 0xAF, 0xAC, 0xAB, 0x5F, 0xA8,
    0x41, 0x41, 0x41, 0x41, 0x8E, 0x8F, 0x92, 0x80, 0x45, 0x90, 0x45, 0x45, 0x49, 0x49, 0x49, 0x49,
    0x5F, 0xA5, 0x4F, 0x4F, 0x4F, 0x4F, 0x99, 0x5F, 0x5F, 0x55, 0x55, 0x55, 0x9A, 0x59, 0x5F, 0xE1,
    0x85, 0xA0, 0x83, 0x61, 0x84, 0x86, 0x91, 0x87, 0x8A, 0x82, 0x88, 0x89, 0x8D, 0xA1, 0x8C, 0x8B,
    0x5F, 0xA4, 0x95, 0xA2, 0x93, 0x6F, 0x94, 0xF6, 0x5F, 0x97, 0xA3, 0x96, 0x81, 0x5F, 0x5F, 0x98};

// Code page 1252 bytes 0x80..0x9F in UTF-16; the rest of the page is Latin-1. The five unused
// bytes map to the C1 control of the same value, as Windows does. Generated with:
// python3 -c "print(', '.join('0x%04X' % ord(bytes([b]).decode('cp1252', 'ignore') or chr(b))
//   for b in range(128, 160)))"
const WCHAR kAnsiHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                             0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                             0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                             0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

BOOL translate(LPCSTR src, LPSTR dst, const unsigned char *table) {
    if (!src || !dst) return FALSE;
    for (;; ++src, ++dst) { // src may equal dst: each byte is read before it is written
        unsigned char c = (unsigned char)*src;
        *dst = (char)(c < 0x80 ? c : table[c - 0x80]);
        if (!c) return TRUE;
    }
}

// Decodes one UTF-8 sequence at s (n bytes left) into a code point; *used is its length.
// Overlong forms, surrogates and values beyond U+10FFFF give U+FFFD for their first byte.
unsigned decodeUtf8(const unsigned char *s, int n, int *used) {
    *used = 1;
    unsigned c = s[0];
    if (c < 0x80) return c;
    int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
    if (length == 0 || c > 0xF4 || length > n) return kReplacement;
    unsigned cp = c & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if ((s[i] & 0xC0) != 0x80) return kReplacement;
        cp = (cp << 6) | (s[i] & 0x3F);
    }
    static const unsigned kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return kReplacement;
    *used = length;
    return cp;
}

// The ANSI byte for one UTF-16 unit, or -1 when the ANSI page has none.
int ansiByte(unsigned unit) {
    if (unit < 0x80) return (int)unit;
    if (ansiCodePage.load() != 1252) return -1; // only ASCII is known of the other pages
    if (unit >= 0xA0 && unit <= 0xFF) return (int)unit;
    for (int i = 0; i < 32; ++i)
        if ((unsigned)kAnsiHigh[i] == unit) return 0x80 + i;
    return -1;
}

// Stores one output unit, or only counts it when there is no buffer. False when it does not fit.
template <typename T> bool put(T *dst, int dstLen, int *count, unsigned value) {
    if (dstLen > 0) {
        if (*count >= dstLen) return false;
        dst[*count] = (T)value;
    }
    ++*count;
    return true;
}

} // namespace

namespace compat {
namespace detail {

void resetCodePage() {
    ansiCodePage = 1252;
}

} // namespace detail

void setAnsiCodePage(unsigned codePage) {
    ansiCodePage = codePage;
}

} // namespace compat

BOOL OemToCharA(LPCSTR src, LPSTR dst) {
    return translate(src, dst, kOemToAnsi);
}
BOOL CharToOemA(LPCSTR src, LPSTR dst) {
    return translate(src, dst, kAnsiToOem);
}

BOOL IsDBCSLeadByte(BYTE c) {
    if (ansiCodePage.load() != 932) return FALSE;
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// WCHAR holds UTF-16 code units as on Windows (wchar_t is wider on the host); characters
// beyond U+FFFF become surrogate pairs. dstLen 0 asks for the size needed.
int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR src, int srcLen, WCHAR *dst, int dstLen) {
    bool utf8 = codePage == CP_UTF8;
    if (!src || srcLen == 0 || dstLen < 0 || (dstLen > 0 && !dst) ||
        (!utf8 && codePage != CP_ACP)) {
        SetLastError(kErrorInvalidParameter);
        return 0;
    }
    const unsigned char *s = (const unsigned char *)src;
    int n = srcLen < 0 ? (int)strlen(src) + 1 : srcLen; // -1 takes the terminator along
    int count = 0;
    for (int i = 0; i < n;) {
        int used = 1;
        unsigned cp;
        if (utf8)
            cp = decodeUtf8(s + i, n - i, &used);
        else if (s[i] < 0x80)
            cp = s[i];
        else if (ansiCodePage.load() != 1252)
            cp = '?'; // only ASCII is known of the other pages
        else
            cp = s[i] < 0xA0 ? kAnsiHigh[s[i] - 0x80] : s[i];
        i += used;
        bool fits = cp < 0x10000 ? put(dst, dstLen, &count, cp)
                                 : put(dst, dstLen, &count, 0xD800 + ((cp - 0x10000) >> 10)) &&
                                       put(dst, dstLen, &count, 0xDC00 + ((cp - 0x10000) & 0x3FF));
        if (!fits) {
            SetLastError(kErrorInsufficientBuffer);
            return 0;
        }
    }
    return count;
}

// Units the ANSI page lacks become defaultChar ('?' when null) and set *usedDefault; a
// surrogate pair is one character and gets one default character. No best fit is attempted.
int WideCharToMultiByte(UINT codePage, DWORD, const WCHAR *src, int srcLen, LPSTR dst, int dstLen,
                        LPCSTR defaultChar, BOOL *usedDefault) {
    if (!src || srcLen == 0 || dstLen < 0 || (dstLen > 0 && !dst) || codePage != CP_ACP) {
        SetLastError(kErrorInvalidParameter);
        return 0;
    }
    int n = srcLen;
    if (n < 0) { // -1 takes the terminator along
        n = 0;
        while (src[n])
            ++n;
        ++n;
    }
    unsigned char fallback = defaultChar ? (unsigned char)defaultChar[0] : '?';
    if (usedDefault) *usedDefault = FALSE;
    int count = 0;
    for (int i = 0; i < n; ++i) {
        unsigned unit = (unsigned)src[i];
        int b = ansiByte(unit);
        if (b < 0) {
            if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < n && (unsigned)src[i + 1] >= 0xDC00 &&
                (unsigned)src[i + 1] <= 0xDFFF)
                ++i;
            b = fallback;
            if (usedDefault) *usedDefault = TRUE;
        }
        if (!put(dst, dstLen, &count, (unsigned)b)) {
            SetLastError(kErrorInsufficientBuffer);
            return 0;
        }
    }
    return count;
}
