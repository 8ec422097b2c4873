// Paths that the ANSI code page cannot spell (a user name in Chinese on an English system):
// both programs work with 8-bit ANSI paths, in which such a name arrives with "?" in place
// of each missing character and names nothing. Its short (8.3) form, where the volume keeps
// one, is plain ASCII and names the same directory.
#ifndef COMMON_SHORTPATH_H
#define COMMON_SHORTPATH_H

#include <stddef.h>
#include <windows.h>

enum AnsiPathForm {
    PATH_UNSPELLABLE = -1, // outside the code page, and no short form that it can spell fits
    PATH_AS_IS = 0,        // the ANSI value that the caller has already is the path itself
    PATH_SHORTENED = 1,    // the short form, in the caller's buffer
};

// What the ANSI form of the wide path is; out (size bytes) receives the short form.
AnsiPathForm ansiPathForm(const WCHAR *wide, char *out, size_t size);
// The same for the values of the environment variables names[0..count-1] joined (as
// "homedrive" and "homepath" make the home directory); PATH_AS_IS when one is not set.
AnsiPathForm ansiEnvPathForm(const char *const *names, int count, char *out, size_t size);
// The current directory in the ANSI code page, at most limit bytes with the terminator: as
// the runtime reads it, or its short form; "" when it has neither or does not fit.
void getAnsiCurrentDir(char *out, int limit);

#endif
