// Forced into every host translation unit by the build: stdio's fopen and the string
// comparisons that exist under other names on Windows. fopen reads "\" as a separator,
// as the other stand-ins do.
#ifndef COMPAT_PATHS_H
#define COMPAT_PATHS_H

#include <stdio.h>
#include <strings.h>

#ifdef __cplusplus
extern "C++" {
#endif
FILE *compat_fopen(const char *path, const char *mode);
#ifdef __cplusplus
}
#endif
#define fopen compat_fopen
#define _stricmp strcasecmp
#define _strnicmp strncasecmp

#endif
