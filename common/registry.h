// Registry string values read one way in both programs: the stored bytes need not end in a
// terminator, so the text is terminated by its stored size, and only string types count.
#ifndef COMMON_REGISTRY_H
#define COMMON_REGISTRY_H

#include <windows.h>

enum RegStringResult {
    REG_STRING_OK,         // out holds the text
    REG_STRING_MISSING,    // no such value
    REG_STRING_TOO_LONG,   // it does not fit size bytes with its terminator
    REG_STRING_UNREADABLE, // any other failure of the query
    REG_STRING_NOT_TEXT,   // neither REG_SZ nor REG_EXPAND_SZ
};

// Reads value name of the open key into out (size bytes); out is empty unless REG_STRING_OK.
RegStringResult readRegString(HKEY key, const char *name, char *out, DWORD size);
// The same for a value of root\keyName, opened for this read alone (with extra access flags
// such as a registry view).
RegStringResult readRegStringAt(HKEY root, const char *keyName, REGSAM view, const char *name,
                                char *out, DWORD size);

#endif
