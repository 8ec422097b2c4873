// clib: the launcher's small file, directory and version-text routines. The run sequence and
// the runtime search use the tests (exists, isFile, isDir), baseName, getPathPtr and
// getJavaHomeDirectory; the copy and version routines serve the launcher's utilities. Outputs
// go to caller buffers of the sizes given and are always terminated.
#ifndef LAUNCHER_CLIB_H
#define LAUNCHER_CLIB_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "common/pathinfo.h"

namespace clib {

enum {
    CURRENT_DIR_SIZE = 5000, // getCurrentDir's buffer
    COPY_BUFFER_SIZE = 30000,
    COPY_BUFFERS_MAX = 20, // so at most 600000 bytes are read before they are written
};

// exists and isDir are the two programs' shared tests (common/pathinfo.h).
using ::exists;
using ::isDir;
// The part of a path after its last backslash; all of it when it has none.
const char *baseName(const char *path);

// The current directory without a trailing backslash ("C:\" becomes "C:"); "." when it
// cannot be read within size bytes.
void getCurrentDir(char *out, size_t size);
// The search path from the environment ("path", "PATH" or "Path"), or NULL; not to be freed.
const char *getPathPtr(void);
// 1 when path names an existing file (not a directory).
int isFile(const char *path);

// How many transfer buffers copyStream uses for an input of size bytes: one per started
// 30000 bytes and one more, at most 20.
int copyBufferCount(int64_t size);
// Copies in from its start to its end onto out. 1 when every byte arrived: no read or write
// failed and exactly the input's size was written.
int copyStream(FILE *in, FILE *out);
// Copies a file onto another ("wb"). 0, with the destination untouched, for a missing
// source, a directory, or a destination that is the source itself; a failed copy deletes
// the destination.
int copyFile(const char *source, const char *destination);
// Appends a file to another ("ab"); the same refusals as copyFile, nothing deleted.
int appendFile(const char *source, const char *destination);
// Appends the message as one line to "changes.txt" in the current directory.
void logSystemChange(const char *message);

// Splits a version text before its last component when it has at least two dots: "1.3.1"
// gives "1.3" and "1", "1.3" gives "1.3" and "0". base and last hold size bytes each; both
// stay empty for a version that does not fit.
void parseVersion(const char *version, char *base, char *last, size_t size);
// The Java home of an executable path: "C:\jre\bin\javaw.exe" gives "C:\jre" (out: size
// bytes; empty for a path that does not fit).
void getJavaHomeDirectory(const char *path, char *out, size_t size);

} // namespace clib

#endif
