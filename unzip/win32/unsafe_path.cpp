// Member names that would leave the extraction folder or that Windows opens as a device.
// Asked of the stored name and of the mapped one before anything is created.
#include <string.h>

#include "unzip/win32/win32.h"

static int is_separator(unsigned char c) {
    return c == '/' || c == '\\';
}

// Windows drops trailing dots and spaces of a component, so "...", ".. " and ". ." can all
// end up as "..". A component of only dots and spaces is refused unless it is "." or empty.
static int reaches_parent(const unsigned char *begin, const unsigned char *end) {
    size_t n = (size_t)(end - begin);
    while (n > 0 && (begin[n - 1] == '.' || begin[n - 1] == ' ')) {
        n--;
    }
    if (n > 0) {
        return 0;
    }
    size_t len = (size_t)(end - begin);
    return !(len == 0 || (len == 1 && begin[0] == '.'));
}

static int base_is(const unsigned char *base, size_t n, const char *device) {
    return n == strlen(device) && _strnicmp((const char *)base, device, n) == 0;
}

// Windows opens a component whose base name (up to the first dot, trailing spaces dropped)
// is a device name as that device, in any folder and with any extension: "lib/NUL.dll",
// "nul " and "nul.txt" reach the null device, "COM1.log" a serial port. Superscript digits
// count as digits of COM and LPT.
static int names_device(const unsigned char *begin, const unsigned char *end) {
    const unsigned char *stop = (const unsigned char *)memchr(begin, '.', (size_t)(end - begin));
    if (stop == NULL) {
        stop = end;
    }
    while (stop > begin && stop[-1] == ' ') {
        stop--;
    }
    size_t n = (size_t)(stop - begin);
    if (n == 4 && (base_is(begin, 3, "COM") || base_is(begin, 3, "LPT"))) {
        return (begin[3] >= '1' && begin[3] <= '9') || is_superscript_digit(begin[3]);
    }
    static const char *const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char *device : devices) {
        if (base_is(begin, n, device)) {
            return 1;
        }
    }
    return 0;
}

// Both "/" and "\" separate components on Windows, except a "\" that is the second byte of
// a double-byte character; the scan runs from the start so trail bytes are never taken for
// lead bytes.
int is_unsafe_path(const char *name) {
    const unsigned char *s = (const unsigned char *)name;
    if (is_separator(s[0])) {
        return PATH_LEAVES_FOLDER; // absolute, "//server/share", "\\server\share", "\\?\..."
    }
    if (((s[0] | 0x20) >= 'a' && (s[0] | 0x20) <= 'z') && s[1] == ':') {
        return PATH_LEAVES_FOLDER; // "C:\x" and the drive-relative "C:x"
    }
    const unsigned char *comp = s;
    size_t i = 0;
    for (;;) {
        unsigned char c = s[i];
        if (c == '\0' || is_separator(c)) {
            if (reaches_parent(comp, s + i)) {
                return PATH_LEAVES_FOLDER;
            }
            if (names_device(comp, s + i)) {
                return PATH_NAMES_DEVICE;
            }
            if (c == '\0') {
                return PATH_SAFE;
            }
            comp = s + ++i;
        } else if (is_dbcs_lead_byte(c) && s[i + 1] != '\0') {
            i += 2;
        } else {
            i++;
        }
    }
}
