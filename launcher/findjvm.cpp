// Java runtime discovery through the registry and the version test (see findjvm.h).
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/strbuf.h"
#include "launcher/buffers.h"
#include "launcher/clib.h"
#include "launcher/findjvm.h"

static const char ClassicRuntimeKey[] = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
// Where Java 9 and later register, searched only when the classic key accepts nothing.
static const char *const ModularRuntimeKeys[] = {"SOFTWARE\\JavaSoft\\JRE",
                                                 "SOFTWARE\\JavaSoft\\JDK"};

static const char MicroVersionValue[] = "MicroVersion";
static const char JavaHomeValue[] = "JavaHome";
static const char HomeValue[] = "Home";

enum { NUMBER_TEXT_SIZE = 24 };

typedef BOOL(WINAPI *IsWow64Fn)(HANDLE, PBOOL);

// Looked up at run time: Windows versions before XP SP2 lack it (and have no 64-bit view).
static int runsUnderWow64(void) {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    FARPROC proc = kernel != NULL ? GetProcAddress(kernel, "IsWow64Process") : NULL;
    if (proc == NULL) return 0;
    IsWow64Fn isWow64 = reinterpret_cast<IsWow64Fn>(reinterpret_cast<void (*)(void)>(proc));
    BOOL wow64 = FALSE;
    return isWow64(GetCurrentProcess(), &wow64) && wow64;
}

// The view the launcher does not see by default, or 0 on 32-bit Windows, which has one.
static REGSAM otherRegistryView(void) {
    if (runsUnderWow64()) return KEY_WOW64_64KEY;
    return sizeof(void *) == 8 ? KEY_WOW64_32KEY : 0;
}

static const char *viewName(REGSAM view) {
    if (view == KEY_WOW64_64KEY) return " (64-bit view)";
    if (view == KEY_WOW64_32KEY) return " (32-bit view)";
    return "";
}

// "<key><view name>" as a heap string, or NULL.
static char *describeKey(const char *key, REGSAM view) {
    size_t size = strlen(key) + strlen(viewName(view)) + 1;
    char *text = (char *)malloc(size);
    if (text != NULL) snprintf(text, size, "%s%s", key, viewName(view));
    return text;
}

static char *joinKey(const char *parent, const char *child) {
    size_t size = strlen(parent) + 1 + strlen(child) + 1;
    char *path = (char *)malloc(size);
    if (path != NULL) joinPath(path, size, parent, child);
    return path;
}

static char foldCase(char c) {
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

// The version's prefix of the bound's length against the bound: below 0, 0 or above 0.
// Characters compare by their 8-bit codes with letters folded to lower case, so "." sorts
// before digits and digits before "_" and letters; a shorter version sorts first.
static int compareToBound(const char *version, const char *bound) {
    for (size_t i = 0; bound[i] != '\0'; ++i) {
        unsigned char v = (unsigned char)foldCase(version[i]);
        unsigned char b = (unsigned char)foldCase(bound[i]);
        if (v != b) return v < b ? -1 : 1;
    }
    return 0;
}

int FindJvm::verifyVersion(const char *required, const char *minimum, const char *maximum,
                           const char *version) {
    int accepted;
    if (required[0] != '\0')
        accepted = compareToBound(version, required) == 0;
    else
        accepted = compareToBound(version, minimum) >= 0 &&
                   (maximum[0] == '\0' || compareToBound(version, maximum) <= 0);
    traceMessage(TraceLog, "found jvm version:", version);
    return accepted;
}

// A string value into out (VERSION_SIZE bytes), always terminated; "" when the value is
// missing, and also, traced, when it is not a string or does not fit with a terminator.
int FindJvm::readString(HKEY key, const char *path, const char *name, char *out) {
    DWORD type = 0, size = VERSION_SIZE;
    LSTATUS status = RegQueryValueExA(key, name, NULL, &type, (LPBYTE)out, &size);
    const char *problem = NULL;
    if (status == ERROR_FILE_NOT_FOUND) {
        out[0] = '\0';
        return 0;
    }
    if (status == ERROR_MORE_DATA)
        problem = "registry value too long:";
    else if (status != ERROR_SUCCESS)
        problem = "registry value unreadable:";
    else if (type != REG_SZ && type != REG_EXPAND_SZ)
        problem = "registry value not a string:";
    else if (size > 0 && out[size - 1] == '\0')
        return 1;
    else if (size < VERSION_SIZE)
        out[size] = '\0'; // stored strings need not end in a terminator
    else
        problem = "registry value too long:";
    if (problem == NULL) return 1;
    out[0] = '\0';
    char *where = joinKey(path, name);
    traceMessage(TraceLog, problem, where != NULL ? where : name);
    free(where);
    return 0;
}

// The subkey name extended with the runtime's micro version, and its home directory ("" when
// it has none); value is scratch space of VERSION_SIZE bytes. 0 when the version text would
// not fit its buffer.
int FindJvm::readRuntime(HKEY key, const char *path, char *subkey, char *home, char *value) {
    int fits = 1;
    if (readString(key, path, MicroVersionValue, value) && value[0] != '\0') {
        fits = strlen(subkey) + 1 + strlen(value) < VERSION_TEXT_SIZE;
        if (fits) {
            appendBounded(subkey, ".", VERSION_TEXT_SIZE);
            appendBounded(subkey, value, VERSION_TEXT_SIZE);
        } else {
            traceMessage(TraceLog, "version text too long:", path);
        }
    }
    if (!readString(key, path, JavaHomeValue, value) || value[0] == '\0')
        readString(key, path, HomeValue, value);
    if (value[0] != '\0')
        copyBounded(home, value, VERSION_SIZE);
    else
        traceMessage(TraceLog, "no home directory for jvm", "");
    return fits;
}

int FindJvm::lookUpRegistryEntryForJvm(const char *rootKey, const char *required,
                                       const char *minimum, const char *maximum, char *subkey,
                                       char *home, REGSAM view) {
    home[0] = '\0';
    char *path = joinKey(rootKey, subkey), *value = (char *)malloc(VERSION_SIZE);
    HKEY key;
    int accepted = 0;
    if (path == NULL || value == NULL ||
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) {
        traceMessage(TraceLog, "no such registry entry", path != NULL ? path : subkey);
    } else {
        int fits = readRuntime(key, path, subkey, home, value);
        RegCloseKey(key);
        accepted = fits && home[0] != '\0' && verifyVersion(required, minimum, maximum, subkey);
    }
    // An uninstalled runtime often leaves its subkey behind.
    if (accepted && !clib::isDir(home)) {
        traceMessage(TraceLog, "jvm home directory not found:", home);
        accepted = 0;
    }
    free(path);
    free(value);
    return accepted;
}

// One runtime key in one view; non-zero when a runtime there was accepted.
int FindJvm::searchKey(const char *rootKey, REGSAM view, const char *required, const char *minimum,
                       const char *maximum, char *home) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, rootKey, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return 0;
    char *name = (char *)malloc(VERSION_TEXT_SIZE), *where = describeKey(rootKey, view);
    int found = 0;
    if (name != NULL && where != NULL) {
        traceMessage(TraceLog, "searching registry entry", where);
        for (DWORD index = 0; !found; ++index) {
            DWORD size = SUBKEY_SIZE;
            name[0] = '\0';
            LSTATUS status = RegEnumKeyExA(key, index, name, &size, NULL, NULL, NULL, NULL);
            if (status == ERROR_NO_MORE_ITEMS) break;
            char number[NUMBER_TEXT_SIZE];
            snprintf(number, sizeof number, "%lu", (unsigned long)index);
            if (status == ERROR_MORE_DATA) { // a name longer than any version: not a runtime
                traceMessage(TraceLog, "registry subkey name too long at index", number);
                continue;
            }
            if (status != ERROR_SUCCESS) {
                traceMessage(TraceLog, "registry subkey enumeration failed at index", number);
                break;
            }
            traceMessage(TraceLog, "                 version", name);
            found =
                lookUpRegistryEntryForJvm(rootKey, required, minimum, maximum, name, home, view);
        }
    }
    RegCloseKey(key);
    free(name);
    free(where);
    return found;
}

int FindJvm::searchForJvm(const char *required, const char *minimum, const char *maximum,
                          char *home) {
    const char *const keys[] = {ClassicRuntimeKey, ModularRuntimeKeys[0], ModularRuntimeKeys[1]};
    REGSAM views[2] = {0, otherRegistryView()};
    int viewCount = views[1] != 0 ? 2 : 1;
    for (const char *key : keys) {
        for (int v = 0; v < viewCount; ++v) {
            if (!searchKey(key, views[v], required, minimum, maximum, home)) continue;
            traceMessage(TraceLog, "JRE registry entry had correct jvm info", 1);
            char *where = describeKey(key, views[v]);
            if (where != NULL) traceMessage(TraceLog, "jvm found under", where);
            free(where);
            return 1;
        }
    }
    traceMessage(TraceLog, "unable to find a compatible Jvm");
    return 0;
}
