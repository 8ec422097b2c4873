// The classic registry key's runtimes, the text version test, and the order of the places
// searched (see findjvm.h).
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/registry.h"
#include "common/strbuf.h"
#include "launcher/buffers.h"
#include "launcher/clib.h"
#include "launcher/findjvm.h"
#include "launcher/jvmplaces.h"

static const char ClassicRuntimeKey[] = "SOFTWARE\\JavaSoft\\Java Runtime Environment";

static const char MicroVersionValue[] = "MicroVersion";
static const char JavaHomeValue[] = "JavaHome";
static const char HomeValue[] = "Home";
const char DefaultExecName[] = "javaw.exe";

RuntimeExec findRuntimeExec(const char *home, const char *name, char *out, size_t size) {
    if (size == 0) return EXEC_TOO_LONG;
    out[0] = '\0';
    if ((size_t)snprintf(out, size, "%s\\bin\\%s", home, name) >= size) {
        out[0] = '\0';
        return EXEC_TOO_LONG;
    }
    if (clib::isFile(out)) return EXEC_FOUND;
    size_t len = strlen(out);
    if (len + sizeof ".exe" > size) return EXEC_MISSING;
    appendBounded(out, ".exe", size);
    if (clib::isFile(out)) return EXEC_FOUND;
    out[len] = '\0';
    return EXEC_MISSING;
}

FindJvm::FindJvm(const char *execName)
    : execName(execName != NULL && execName[0] != '\0' ? execName : DefaultExecName) {}

int FindJvm::verifyVersion(const char *required, const char *minimum, const char *maximum,
                           const char *version) {
    int accepted;
    if (required[0] != '\0')
        accepted = compareVersionText(version, required) == 0;
    else
        accepted = compareVersionText(version, minimum) >= 0 &&
                   (maximum[0] == '\0' || compareVersionText(version, maximum) <= 0);
    traceMessage(TraceLog, "found jvm version:", version);
    return accepted;
}

// Every registry value the launcher reads comes through here: a string value into out
// (VERSION_SIZE bytes), always terminated; "" when the value is missing, and also, traced,
// when it is not a string or does not fit with a terminator.
int FindJvm::readString(HKEY key, const char *path, const char *name, char *out) {
    static const char *const problems[] = {
        NULL, NULL,
        "registry value too long:", "registry value unreadable:", "registry value not a string:"};
    RegStringResult result = readRegString(key, name, out, VERSION_SIZE);
    if (result == REG_STRING_OK) return 1;
    if (result != REG_STRING_MISSING) {
        char *where = joinKey(path, name);
        traceMessage(TraceLog, problems[result], where != NULL ? where : name);
        free(where);
    }
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

// A home that exists and holds the executable at a path that fits; traced when it does not.
// An uninstalled runtime often leaves its key behind.
int FindJvm::usableHome(const char *home) {
    if (!clib::isDir(home)) {
        traceMessage(TraceLog, "jvm home directory not found:", home);
        return 0;
    }
    char *exec = (char *)malloc(PATH_SIZE);
    RuntimeExec found =
        exec != NULL ? findRuntimeExec(home, execName, exec, PATH_SIZE) : EXEC_MISSING;
    free(exec);
    if (found == EXEC_TOO_LONG)
        traceMessage(TraceLog, "jvm executable path too long under", home);
    else if (found == EXEC_MISSING)
        traceMessage(TraceLog, "jvm executable not found under", home);
    return found == EXEC_FOUND;
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
    if (accepted) accepted = usableHome(home);
    free(path);
    free(value);
    return accepted;
}

int FindJvm::nextSubkey(HKEY key, DWORD index, char *name) {
    DWORD size = SUBKEY_SIZE;
    name[0] = '\0';
    LSTATUS status = RegEnumKeyExA(key, index, name, &size, NULL, NULL, NULL, NULL);
    if (status == ERROR_SUCCESS) return 1;
    if (status == ERROR_NO_MORE_ITEMS) return -1;
    char number[24];
    snprintf(number, sizeof number, "%lu", (unsigned long)index);
    if (status == ERROR_MORE_DATA) { // a name longer than any version: not a runtime
        traceMessage(TraceLog, "registry subkey name too long at index", number);
        return 0;
    }
    traceMessage(TraceLog, "registry subkey enumeration failed at index", number);
    return -1;
}

// The classic key in one view; non-zero when a runtime there was accepted.
int FindJvm::searchKey(const char *rootKey, REGSAM view, const char *required, const char *minimum,
                       const char *maximum, char *home) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, rootKey, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return 0;
    char *name = (char *)malloc(VERSION_TEXT_SIZE);
    char *where = describeKey(HKEY_LOCAL_MACHINE, rootKey, view);
    int found = 0;
    if (name != NULL && where != NULL) {
        traceMessage(TraceLog, "searching registry entry", where);
        int next;
        for (DWORD index = 0; !found && (next = nextSubkey(key, index, name)) >= 0; ++index) {
            if (next == 0) continue;
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

// The chosen runtime of a place into home, traced; 0 when the place had none.
int FindJvm::takeChoice(const RuntimeChoice &best, char *home) {
    if (!best.found) return 0;
    copyBounded(home, best.home, VERSION_SIZE);
    traceMessage(TraceLog, "jvm found under", best.where);
    return 1;
}

int FindJvm::searchForJvm(const char *required, const char *minimum, const char *maximum,
                          char *home) {
    REGSAM views[2];
    int viewCount = defaultViewFirst(views);
    for (int v = 0; v < viewCount; ++v) {
        if (!searchKey(ClassicRuntimeKey, views[v], required, minimum, maximum, home)) continue;
        traceMessage(TraceLog, "JRE registry entry had correct jvm info", 1);
        char *where = describeKey(HKEY_LOCAL_MACHINE, ClassicRuntimeKey, views[v]);
        if (where != NULL) traceMessage(TraceLog, "jvm found under", where);
        free(where);
        return 1;
    }
    RuntimeChoice *best = (RuntimeChoice *)malloc(sizeof(RuntimeChoice));
    VersionBounds bounds = {required, minimum, maximum};
    int found = 0;
    if (best != NULL) {
        best->found = 0;
        searchModularKeys(bounds, best);
        if (best->found) traceMessage(TraceLog, "JRE registry entry had correct jvm info", 1);
        if (!best->found) searchVendorKeys(bounds, best);
        if (!best->found) searchJavaHome(bounds, best);
        if (!best->found) searchPath(bounds, best);
        found = takeChoice(*best, home);
    }
    free(best);
    if (!found) traceMessage(TraceLog, "unable to find a compatible Jvm");
    return found;
}
