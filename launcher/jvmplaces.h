// What the places of FindJvm's search share: the bounds, the runtime chosen so far, and the
// naming of registry keys and views for the trace.
#ifndef LAUNCHER_JVMPLACES_H
#define LAUNCHER_JVMPLACES_H

#include <windows.h>

#include "launcher/buffers.h"
#include "launcher/version.h"

struct VersionBounds {
    const char *required, *minimum, *maximum;
};

// The best runtime of one place so far; found 0 while there is none.
struct RuntimeChoice {
    int found;
    JavaVersion version;
    char home[VERSION_SIZE];
    char where[VERSION_TEXT_SIZE]; // the place, for the trace
};

// The views a key is looked up in, in order: the default one and then the other (0 on 32-bit
// Windows, which has one view), or the 64-bit and then the 32-bit one. Returns how many.
int defaultViewFirst(REGSAM views[2]);
int sixtyFourBitViewFirst(REGSAM views[2]);
// "<root>\<key><view>" as a heap string, or NULL; HKEY_LOCAL_MACHINE goes without its name.
char *describeKey(HKEY root, const char *key, REGSAM view);
// "<parent>\<child>" as a heap string, or NULL.
char *joinKey(const char *parent, const char *child);

#endif
