// The places FindJvm searches after the classic key: the JavaSoft keys of Java 9 and later,
// the vendors' own keys, JAVA_HOME and the search path (see findjvm.h).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/strbuf.h"
#include "launcher/buffers.h"
#include "launcher/clib.h"
#include "launcher/findjvm.h"
#include "launcher/jvmplaces.h"
#include "launcher/release.h"

static const char *const ModularRuntimeKeys[] = {"SOFTWARE\\JavaSoft\\JRE",
                                                 "SOFTWARE\\JavaSoft\\JDK"};

// One vendor a line: its key below the root, the products below that (each a key whose
// subkeys are the installed versions), the keys below a version that hold the home (one per
// JVM), the text a version's key name starts with before the version itself, and the value
// that names the home.
static const struct VendorKey {
    const char *key;
    const char *products[2];
    const char *layouts[2];
    const char *namePrefix;
    const char *homeValue;
} VendorKeys[] = {
    {"SOFTWARE\\Eclipse Adoptium", {"JDK", "JRE"}, {"hotspot\\MSI", "openj9\\MSI"}, "", "Path"},
    {"SOFTWARE\\AdoptOpenJDK", {"JDK", "JRE"}, {"hotspot\\MSI", "openj9\\MSI"}, "", "Path"},
    {"SOFTWARE\\Microsoft", {"JDK", NULL}, {"hotspot\\MSI", NULL}, "", "Path"},
    {"SOFTWARE\\Semeru", {"JDK", "JRE"}, {"openj9\\MSI", NULL}, "", "Path"},
    {"SOFTWARE\\Azul Systems", {"Zulu", NULL}, {"", NULL}, "zulu-", "InstallationPath"},
    {"SOFTWARE\\BellSoft", {"Liberica", NULL}, {"", NULL}, "", "InstallationPath"},
};
static const HKEY VendorRoots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
enum { JAVASOFT_ROW = -1 }; // not a vendor's row: a JavaSoft key

static const char JavaHomeName[] = "JAVA_HOME";
static const char PathName[] = "PATH";

// The version a key name spells: after the vendor's prefix, when it has one.
static const char *versionOfName(const char *name, const char *prefix) {
    size_t len = strlen(prefix);
    return len > 0 && _strnicmp(name, prefix, len) == 0 ? name + len : name;
}

// A home as users write it, into out (VERSION_SIZE bytes): without surrounding quotes and
// trailing backslashes. 0 when it is empty or does not fit.
static int normalHome(const char *text, size_t len, char *out) {
    if (len >= 2 && text[0] == '"' && text[len - 1] == '"') {
        ++text;
        len -= 2;
    }
    while (len > 0 && (text[len - 1] == '\\' || text[len - 1] == '/'))
        --len;
    if (len == 0 || len >= VERSION_SIZE) return 0;
    copyPrefix(out, VERSION_SIZE, text, len);
    return 1;
}

void FindJvm::considerRuntime(const char *home, const char *keyVersion, const char *where,
                              const VersionBounds &bounds, RuntimeChoice *best) {
    if (!usableHome(home)) return;
    char version[VERSION_TEXT_SIZE];
    if (!readReleaseVersion(home, version, sizeof version))
        copyBounded(version, keyVersion, sizeof version);
    traceMessage(TraceLog, "found jvm version:", version);
    int accepted = versionWithinBounds(bounds.required, bounds.minimum, bounds.maximum, version);
    traceMessage(TraceLog, "jvm version within bounds", accepted);
    JavaVersion parsed;
    parseJavaVersion(version, &parsed);
    if (!accepted ||
        (best->found && compareJavaVersions(parsed, best->version, VERSION_PARTS) <= 0))
        return;
    best->found = 1;
    best->version = parsed;
    copyBounded(best->home, home, sizeof best->home);
    copyBounded(best->where, where, sizeof best->where);
}

// One JavaSoft runtime, key\name: its micro version extends the name in place.
void FindJvm::considerJavaSoftRuntime(const char *key, REGSAM view, char *name, const char *where,
                                      const VersionBounds &bounds, RuntimeChoice *best) {
    char *path = joinKey(key, name), *home = (char *)malloc(VERSION_SIZE);
    char *value = (char *)malloc(VERSION_SIZE);
    HKEY runtime;
    if (path != NULL && home != NULL && value != NULL &&
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | view, &runtime) ==
            ERROR_SUCCESS) {
        home[0] = '\0';
        int fits = readRuntime(runtime, path, name, home, value);
        RegCloseKey(runtime);
        if (fits && home[0] != '\0') considerRuntime(home, name, where, bounds, best);
    } else {
        traceMessage(TraceLog, "no such registry entry", path != NULL ? path : name);
    }
    free(path);
    free(home);
    free(value);
}

void FindJvm::searchModularKeys(const VersionBounds &bounds, RuntimeChoice *best) {
    REGSAM views[2];
    int viewCount = defaultViewFirst(views);
    for (const char *key : ModularRuntimeKeys)
        for (int v = 0; v < viewCount; ++v)
            searchRuntimeKey(HKEY_LOCAL_MACHINE, key, views[v], JAVASOFT_ROW, bounds, best);
}

// The home of one installed version (key\name, then each layout below it that exists), and
// its runtime considered.
void FindJvm::considerVendorRuntime(HKEY root, const char *key, REGSAM view, int row,
                                    const char *name, const char *where,
                                    const VersionBounds &bounds, RuntimeChoice *best) {
    const VendorKey &vendor = VendorKeys[row];
    char *versionKey = joinKey(key, name), *home = (char *)malloc(VERSION_SIZE);
    for (const char *layout : vendor.layouts) {
        if (layout == NULL || versionKey == NULL || home == NULL) break;
        char *path = layout[0] != '\0' ? joinKey(versionKey, layout) : dupString(versionKey);
        HKEY runtime;
        if (path != NULL &&
            RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE | view, &runtime) == ERROR_SUCCESS) {
            readString(runtime, path, vendor.homeValue, home);
            RegCloseKey(runtime);
            if (home[0] != '\0')
                considerRuntime(home, versionOfName(name, vendor.namePrefix), where, bounds, best);
            else
                traceMessage(TraceLog, "no home directory for jvm", path);
        }
        free(path);
    }
    free(versionKey);
    free(home);
}

// Every version below one key: a JavaSoft one (row JAVASOFT_ROW) or a vendor's product.
void FindJvm::searchRuntimeKey(HKEY root, const char *key, REGSAM view, int row,
                               const VersionBounds &bounds, RuntimeChoice *best) {
    HKEY versions;
    if (RegOpenKeyExA(root, key, 0, KEY_READ | view, &versions) != ERROR_SUCCESS) return;
    char *name = (char *)malloc(VERSION_TEXT_SIZE), *where = describeKey(root, key, view);
    if (name != NULL && where != NULL) {
        traceMessage(TraceLog, "searching registry entry", where);
        int next;
        for (DWORD index = 0; (next = nextSubkey(versions, index, name)) >= 0; ++index) {
            if (next == 0) continue;
            traceMessage(TraceLog, "                 version", name);
            if (row == JAVASOFT_ROW)
                considerJavaSoftRuntime(key, view, name, where, bounds, best);
            else
                considerVendorRuntime(root, key, view, row, name, where, bounds, best);
        }
    }
    RegCloseKey(versions);
    free(name);
    free(where);
}

void FindJvm::searchVendorKeys(const VersionBounds &bounds, RuntimeChoice *best) {
    REGSAM views[2];
    int viewCount = sixtyFourBitViewFirst(views);
    for (HKEY root : VendorRoots) {
        for (int v = 0; v < viewCount; ++v) {
            for (int row = 0; row < (int)(sizeof VendorKeys / sizeof VendorKeys[0]); ++row) {
                for (const char *product : VendorKeys[row].products) {
                    char *key = product != NULL ? joinKey(VendorKeys[row].key, product) : NULL;
                    if (key != NULL) searchRuntimeKey(root, key, views[v], row, bounds, best);
                    free(key);
                }
            }
        }
    }
}

void FindJvm::searchJavaHome(const VersionBounds &bounds, RuntimeChoice *best) {
    const char *value = getenv(JavaHomeName);
    if (value == NULL || value[0] == '\0') return;
    traceMessage(TraceLog, "searching environment variable", JavaHomeName);
    char home[VERSION_SIZE];
    if (normalHome(value, strlen(value), home))
        considerRuntime(home, "", JavaHomeName, bounds, best);
    else
        traceMessage(TraceLog, "jvm home directory too long:", JavaHomeName);
}

// A search-path entry that is a bin folder holding the executable: its parent into home.
int FindJvm::pathEntryHome(const char *entry, size_t len, char *home) {
    char *exec = (char *)malloc(PATH_SIZE);
    int usable = exec != NULL && normalHome(entry, len, home);
    size_t homeLen = usable ? strlen(home) : 0;
    usable = usable && homeLen > 4 && (home[homeLen - 4] == '\\' || home[homeLen - 4] == '/') &&
             _stricmp(home + homeLen - 3, "bin") == 0;
    if (usable) {
        home[homeLen - 4] = '\0';
        usable = findRuntimeExec(home, execName, exec, PATH_SIZE) == EXEC_FOUND;
    }
    free(exec);
    return usable;
}

// Entries of any length are measured in place; only one that can be a home is copied.
void FindJvm::searchPath(const VersionBounds &bounds, RuntimeChoice *best) {
    const char *path = clib::getPathPtr();
    if (path == NULL || path[0] == '\0') return;
    traceMessage(TraceLog, "searching environment variable", PathName);
    char home[VERSION_SIZE];
    for (const char *entry = path; *entry != '\0';) {
        size_t len = strcspn(entry, ";");
        if (pathEntryHome(entry, len, home)) considerRuntime(home, "", PathName, bounds, best);
        entry += len;
        if (*entry == ';') ++entry;
    }
}
