// The stub's own working directory: a fresh tmpqel01..tmpqel99 under the first usable base,
// tried from the user's temporary-directory settings down to the start directory. Every
// base and candidate lives in a 261-byte buffer; a base that does not fit whole is skipped
// rather than cut, so nothing is ever made or removed under a truncated path.
#include <ctype.h>
#include <direct.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "common/registry.h"
#include "common/shortpath.h"
#include "common/winversion.h"
#include "stub/stub.h"

enum { TEMP_NUMBERS = 99 };

static const char TempPrefix[] = "tmpqel";

void getCurrentDir(char *out, int size) {
    char cwd[PATH_BUF];
    (void)size; // callers pass PATH_BUF-sized buffers
    // A directory longer than 260 characters does not fit, and one that the ANSI code page
    // cannot spell (without a short form) names nothing: report the empty string so that no
    // base, candidate or clean-up is ever built from a cut or garbled path.
    getAnsiCurrentDir(cwd, PATH_BUF - 1);
    size_t len = strlen(cwd);
    if (len > 0 && cwd[len - 1] == '\\') cwd[len - 1] = '\0'; // C:\ becomes C:
    copyBounded(out, cwd, PATH_BUF);
}

// A value that the ANSI code page cannot spell is taken in its short form (into shortForm),
// and is passed over when it has none.
static const char *firstExisting(const char *const *names, int count, char *shortForm) {
    for (int i = 0; i < count; ++i) {
        const char *value = getenv(names[i]);
        if (value == NULL) continue;
        AnsiPathForm form = ansiEnvPathForm(&names[i], 1, shortForm, PATH_BUF);
        if (form == PATH_UNSPELLABLE) continue;
        if (form == PATH_SHORTENED) value = shortForm;
        if (exists(value)) return value;
    }
    return NULL;
}

char *getTempEnv(void) {
    static const char *const names[] = {"TEMP", "TMP", "temp", "tmp"};
    static char shortForm[PATH_BUF];
    return (char *)firstExisting(names, 4, shortForm);
}

char *getHomeEnv(void) {
    static const char *const names[] = {"home", "Home", "HOME"};
    static char shortForm[PATH_BUF];
    return (char *)firstExisting(names, 3, shortForm);
}

// base + "\tmpqelNN"; 0 when it does not fit (then no number fits).
static int buildCandidate(char *candidate, const char *base, int number) {
    char name[16];
    snprintf(name, sizeof name, "%s%02d", TempPrefix, number);
    return joinPath(candidate, PATH_BUF, base, name);
}

// A leftover of an earlier run goes whole when it is free; the directory the stub was
// started from is never one.
static void removeIfLeftover(const char *startDir, const char *candidate) {
    if (strcmp(candidate, startDir) != 0) removeLeftover(candidate);
}

// Makes candidate afresh. 1 when the new directory could be created and entered.
static int makeFreshDir(const char *startDir, const char *candidate) {
    removeIfLeftover(startDir, candidate);
    if (exists(candidate)) return 0; // a leftover in use, or the start directory
    _mkdir(candidate);
    if (!exists(candidate)) return 0;
    int entered = _chdir(candidate) == 0;
    _chdir(startDir);
    return entered;
}

// The free leftovers numbered after the new directory go too: otherwise the trees of
// earlier runs would stay in the base for good, as every later run takes a lower number.
static void removeLaterLeftovers(const char *startDir, const char *base, int madeNumber) {
    char later[PATH_BUF];
    for (int number = madeNumber + 1; number <= TEMP_NUMBERS; ++number)
        if (buildCandidate(later, base, number)) removeIfLeftover(startDir, later);
}

static int writeStartDirFile(const char *startDir, const char *dir) {
    char path[PATH_BUF];
    if (!joinPath(path, PATH_BUF, dir, StartDirFileName)) return 0;
    FILE *file = fopen(path, "wt");
    if (file == NULL) return 0;
    int written = fprintf(file, "%s\n", startDir) >= 0;
    if (fclose(file) != 0) written = 0;
    return written;
}

int createTempDir(const char *startDir, char *base) {
    char candidate[PATH_BUF];
    int made = 0;
    int number = 0;
    while (!made && number < TEMP_NUMBERS) {
        if (!buildCandidate(candidate, base, ++number)) break; // base too long for the name
        made = makeFreshDir(startDir, candidate);
    }
    if (!made) {
        _chdir(startDir);
        return 0;
    }
    removeLaterLeftovers(startDir, base, number);
    copyBounded(base, candidate, PATH_BUF);
    if (exists(base) && writeStartDirFile(startDir, base)) {
        createLogsInTempDir(startDir, base);
        _chdir(base);
        return 1;
    }
    _rmdir(base);
    _chdir(startDir);
    return 0;
}

// Tries value as a base; a value longer than a path buffer is skipped, not cut.
static int tryBase(const char *startDir, char *base, const char *value) {
    if (strlen(value) >= PATH_BUF) return 0;
    copyBounded(base, value, PATH_BUF);
    return createTempDir(startDir, base);
}

static int tryJoinedBase(const char *startDir, char *base, const char *dir, const char *name) {
    if (!joinPath(base, PATH_BUF, dir, name)) return 0;
    return createTempDir(startDir, base);
}

int getPlatformTempDir(const char *startDir, char *base) {
    base[0] = '\0';
    const char *drive = getenv("homedrive");
    if (drive == NULL || strlen(drive) >= PATH_BUF) return 0;
    copyBounded(base, drive, PATH_BUF);
    const char *path = getenv("homepath");
    if (path == NULL || !exists(base)) {
        base[0] = '\0';
        return 0;
    }
    // homepath usually starts with "\" already; the doubled separator is harmless.
    static const char *const names[] = {"homedrive", "homepath"};
    char tested[PATH_BUF];
    AnsiPathForm form = ansiEnvPathForm(names, 2, tested, PATH_BUF);
    if (form == PATH_SHORTENED && exists(tested))
        copyBounded(base, tested, PATH_BUF);
    else if (form == PATH_AS_IS && joinPath(tested, PATH_BUF, drive, path) && exists(tested))
        appendBounded(base, path, PATH_BUF); // fits: tested is one character longer
    return createTempDir(startDir, base);
}

int getWinTempDir(const char *startDir, char *base) {
    char winDir[PATH_BUF];
    int found = getWinDir(winDir);
    // Without a Windows directory these bases are "\tmp" and "", the current drive's root.
    if (found && tryJoinedBase(startDir, base, winDir, "temp")) return 1;
    if (tryJoinedBase(startDir, base, winDir, "tmp")) return 1;
    return tryBase(startDir, base, winDir);
}

// One registry try: opens key afresh and queries name into value (PATH_BUF bytes).
// A value that does not fit or is not a string leaves the buffer empty.
static int queryWinDirValue(const char *key, const char *name, char *value) {
    return readRegStringAt(HKEY_LOCAL_MACHINE, key, 0, name, value, PATH_BUF) == REG_STRING_OK;
}

static int findWinDirInRegistry(int nt, char *value) {
    static const char NtKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    static const char NtSetupKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SETUP";
    static const char SetupKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SETUP";
    if (nt &&
        (queryWinDirValue(NtKey, "SystemRoot", value) ||
         queryWinDirValue(NtKey, "PathName", value) || queryWinDirValue(NtKey, "WinDir", value) ||
         queryWinDirValue(NtSetupKey, "WinDir", value)))
        return 1;
    return queryWinDirValue(SetupKey, "WinDir", value);
}

int getWinDir(char *out) {
    int nt = isWindowsNT();
    char value[PATH_BUF] = "";
    int found = findWinDirInRegistry(nt, value);
    if (!found) {
        char name[8];
        copyBounded(name, nt ? "winnt" : "windows", sizeof name);
        found = isDirInPath(name, value);
    }
    if (!found) {
        const char *fixed = nt ? "c:\\winnt" : "c:\\windows";
        found = exists(fixed);
        if (found) copyBounded(value, fixed, sizeof value);
    }
    copyBounded(out, found ? value : "", PATH_BUF);
    return found;
}

static void lowerInPlace(char *text) {
    for (; *text; ++text)
        *text = (char)tolower((unsigned char)*text);
}

// The first occurrence of name in entry is at its very end.
static int endsWithOnly(const char *entry, const char *name) {
    const char *hit = strstr(entry, name);
    return hit != NULL && strlen(hit) == strlen(name);
}

int isDirInPath(char *dirName, char *out) {
    lowerInPlace(dirName);
    const char *path = getenv("path");
    if (path == NULL) return 0;
    char *copy = (char *)malloc(PATH_ENV_COPY + 1);
    if (copy == NULL) return 0;
    copyBounded(copy, path, PATH_ENV_COPY + 1);
    // A PATH longer than the copy: drop the cut last entry, which might otherwise match
    // as a directory that is not on the PATH at all.
    if (strlen(path) > PATH_ENV_COPY) {
        char *lastSep = strrchr(copy, ';');
        if (lastSep != NULL)
            *lastSep = '\0';
        else
            copy[0] = '\0';
    }
    lowerInPlace(copy);
    int found = 0;
    for (char *entry = copy; entry != NULL && !found;) {
        char *sep = strchr(entry, ';');
        if (sep != NULL) *sep = '\0';
        if (strlen(entry) < PATH_BUF && endsWithOnly(entry, dirName) && exists(entry)) {
            copyBounded(out, entry, PATH_BUF);
            found = 1;
        }
        entry = sep != NULL ? sep + 1 : NULL;
    }
    free(copy);
    return found;
}

static int tryHomeBases(const char *startDir, char *base) {
    const char *home = getHomeEnv();
    if (home == NULL) return 0;
    return tryJoinedBase(startDir, base, home, "temp") ||
           tryJoinedBase(startDir, base, home, "tmp") || tryBase(startDir, base, home);
}

int moveToTempDir(char *startDir, char *base) {
    getCurrentDir(startDir, PATH_BUF);
    const char *temp = getTempEnv();
    int made = temp != NULL && tryBase(startDir, base, temp);
    if (!made) made = getPlatformTempDir(startDir, base);
    if (!made) made = tryHomeBases(startDir, base);
    if (!made) made = getWinTempDir(startDir, base);
    // An unknown (too long) start directory is no base: "" would mean the drive's root.
    if (!made && startDir[0] != '\0') made = tryBase(startDir, base, startDir);
    if (!made) {
        logErrorMessage("Unable to create a temp directory");
        return 0;
    }
    return 1;
}
