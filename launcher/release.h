// The version a Java runtime states in its home's "release" file (JAVA_VERSION="17.0.2"),
// written by every runtime since Java 8.
#ifndef LAUNCHER_RELEASE_H
#define LAUNCHER_RELEASE_H

#include <stddef.h>

enum {
    RELEASE_LINE_SIZE = 1024,     // longer lines are passed over
    RELEASE_READ_LIMIT = 1 << 16, // the file is a few hundred bytes; a larger one is not read on
};

// The JAVA_VERSION value of home's release file (without its quotes) into out (size bytes);
// 1 when there is one that fits, else 0 and out empty.
int readReleaseVersion(const char *home, char *out, size_t size);

#endif
