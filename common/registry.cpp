// Registry string values (see registry.h).
#include "common/registry.h"

RegStringResult readRegString(HKEY key, const char *name, char *out, DWORD size) {
    DWORD type = 0, got = size;
    if (size == 0) return REG_STRING_TOO_LONG;
    LSTATUS status = RegQueryValueExA(key, name, NULL, &type, (LPBYTE)out, &got);
    RegStringResult result = REG_STRING_OK;
    if (status == ERROR_FILE_NOT_FOUND)
        result = REG_STRING_MISSING;
    else if (status == ERROR_MORE_DATA)
        result = REG_STRING_TOO_LONG;
    else if (status != ERROR_SUCCESS)
        result = REG_STRING_UNREADABLE;
    else if (type != REG_SZ && type != REG_EXPAND_SZ)
        result = REG_STRING_NOT_TEXT;
    else if (got > 0 && out[got - 1] == '\0')
        return REG_STRING_OK;
    else if (got < size)
        out[got] = '\0'; // stored without its terminator
    else
        result = REG_STRING_TOO_LONG; // fills the buffer with no room for one
    if (result != REG_STRING_OK) out[0] = '\0';
    return result;
}

RegStringResult readRegStringAt(HKEY root, const char *keyName, REGSAM view, const char *name,
                                char *out, DWORD size) {
    HKEY key;
    if (size > 0) out[0] = '\0';
    if (RegOpenKeyExA(root, keyName, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
        return REG_STRING_MISSING;
    RegStringResult result = readRegString(key, name, out, size);
    RegCloseKey(key);
    return result;
}
