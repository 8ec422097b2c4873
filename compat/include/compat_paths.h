// Forced into every host translation unit by the build: stdio's fopen and fileno, the string
// comparisons, the 64-bit stream positions and _putenv, which exist under other names (or
// behave differently) on Windows. fopen reads "\" as a separator, as the other stand-ins do.
#ifndef COMPAT_PATHS_H
#define COMPAT_PATHS_H

#include <stdio.h>
#include <strings.h>

#ifdef __cplusplus
extern "C++" {
#endif
FILE *compat_fopen(const char *path, const char *mode);
FILE *compat_fdopen(int fd, const char *mode);
// A stream a test's disk model wraps answers its file's descriptor.
int compat_fileno(FILE *stream);
// "NAME=value" sets a variable, "NAME=" removes it; names ignore case, as on Windows.
int _putenv(const char *assignment);
#ifdef __cplusplus
}
#endif
#define fopen compat_fopen
#define _fdopen compat_fdopen
#define fileno compat_fileno
#define _stricmp strcasecmp
#define _strnicmp strncasecmp
#define _fseeki64 fseeko
#define _ftelli64 ftello

#endif
