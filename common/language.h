// The user's language, one of nine names, from the runtime locale and the Windows locale
// settings. Nothing is cached: every call detects afresh.
#ifndef COMMON_LANGUAGE_H
#define COMMON_LANGUAGE_H

#include <windows.h>

#include "common/buffers.h"

enum { LANGUAGE_BUF = TEXT_BUF }; // callers' buffer size; at most 11 bytes are written

// Fills language with "english", "french", "german", "spanish", "polish", "italian",
// "portuguese", "japanese" or "dutch"; "english" when no source names one.
void getLanguage(char *language);
// Lowers text in place; writes the language its keywords name, or leaves language as it is.
void _getLanguage(char *text, char *language);
// With the language "japanese", builds a 16-point Shift-JIS font on the window's device
// context (Windows only).
void setWindowCharType(HWND window);

#endif
