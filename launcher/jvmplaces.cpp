// Registry views and key names of FindJvm's search (see jvmplaces.h).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/strbuf.h"
#include "common/sysfunction.h"
#include "launcher/jvmplaces.h"

typedef BOOL(WINAPI *IsWow64Fn)(HANDLE, PBOOL);

// Looked up at run time: Windows versions before XP SP2 lack it (and have no 64-bit view).
static int runsUnderWow64(void) {
    IsWow64Fn isWow64 = systemFunction<IsWow64Fn>("kernel32.dll", "IsWow64Process");
    if (isWow64 == NULL) return 0;
    BOOL wow64 = FALSE;
    return isWow64(GetCurrentProcess(), &wow64) && wow64;
}

static int oneViewOnly(void) {
    return sizeof(void *) == 4 && !runsUnderWow64();
}

int defaultViewFirst(REGSAM views[2]) {
    views[0] = 0;
    if (oneViewOnly()) return 1;
    views[1] = runsUnderWow64() ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    return 2;
}

int sixtyFourBitViewFirst(REGSAM views[2]) {
    views[0] = 0;
    if (oneViewOnly()) return 1;
    views[0] = KEY_WOW64_64KEY;
    views[1] = KEY_WOW64_32KEY;
    return 2;
}

static const char *viewName(REGSAM view) {
    if (view == KEY_WOW64_64KEY) return " (64-bit view)";
    if (view == KEY_WOW64_32KEY) return " (32-bit view)";
    return "";
}

char *describeKey(HKEY root, const char *key, REGSAM view) {
    const char *rootName = root == HKEY_CURRENT_USER ? "HKEY_CURRENT_USER\\" : "";
    return formatAlloc("%s%s%s", rootName, key, viewName(view));
}

char *joinKey(const char *parent, const char *child) {
    size_t size = strlen(parent) + 1 + strlen(child) + 1;
    char *path = (char *)malloc(size);
    if (path != NULL) joinPath(path, size, parent, child);
    return path;
}
