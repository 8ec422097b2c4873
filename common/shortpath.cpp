// The ANSI form of a path that may lie outside the ANSI code page (see shortpath.h).
#include <direct.h>
#include <string.h>
#include <windows.h>

#include "common/shortpath.h"
#include "common/strbuf.h"

enum { WIDE_PATH = MAX_PATH + 1, ANSI_SPELLING = 2 * WIDE_PATH }; // a DBCS character: 2 bytes

// 1 when every character of wide has its own ANSI byte(s). Without WC_NO_BEST_FIT_CHARS a
// best-fit substitute ("a" for "ā") would pass unflagged, and name another file.
static int spellsInAnsi(const WCHAR *wide, char *out, int size) {
    BOOL usedDefault = FALSE;
    int n =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, out, size, NULL, &usedDefault);
    return n > 0 && !usedDefault;
}

AnsiPathForm ansiPathForm(const WCHAR *wide, char *out, size_t size) {
    char spelled[ANSI_SPELLING];
    if (spellsInAnsi(wide, spelled, ANSI_SPELLING)) return PATH_AS_IS;
    WCHAR shortWide[WIDE_PATH];
    DWORD n = GetShortPathNameW(wide, shortWide, WIDE_PATH); // needs the path to exist
    if (n == 0 || n >= WIDE_PATH || !spellsInAnsi(shortWide, spelled, ANSI_SPELLING) ||
        strlen(spelled) >= size)
        return PATH_UNSPELLABLE;
    copyBounded(out, spelled, size);
    return PATH_SHORTENED;
}

// Appends the variable's wide value at wide[used]; 0 when it is not set or does not fit.
static int appendWideValue(const char *name, WCHAR *wide, DWORD *used) {
    WCHAR wideName[64];
    size_t i = 0;
    for (; name[i] != '\0' && i + 1 < sizeof wideName / sizeof wideName[0]; ++i)
        wideName[i] = (WCHAR)(unsigned char)name[i]; // names are ASCII
    wideName[i] = 0;
    DWORD room = WIDE_PATH - *used;
    DWORD n = GetEnvironmentVariableW(wideName, wide + *used, room);
    if (n == 0 || n >= room) return 0;
    *used += n;
    return 1;
}

AnsiPathForm ansiEnvPathForm(const char *const *names, int count, char *out, size_t size) {
    WCHAR wide[WIDE_PATH];
    DWORD used = 0;
    wide[0] = 0;
    for (int i = 0; i < count; ++i)
        if (!appendWideValue(names[i], wide, &used)) return PATH_AS_IS; // the ANSI test decides
    return ansiPathForm(wide, out, size);
}

void getAnsiCurrentDir(char *out, int limit) {
    if (_getcwd(out, limit) == NULL) out[0] = '\0';
    WCHAR wide[WIDE_PATH];
    DWORD n = GetCurrentDirectoryW(WIDE_PATH, wide);
    if (n == 0 || n >= WIDE_PATH) return;
    // "?" in place of letters names nothing: no directory rather than a wrong one.
    if (ansiPathForm(wide, out, (size_t)limit) == PATH_UNSPELLABLE) out[0] = '\0';
}
