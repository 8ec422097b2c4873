// The Japanese dialog font: built on the window's device context only when the user's
// language is Japanese, and released again before returning.
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "common/language.h"

enum { JAPANESE_POINTS = 16, POINTS_PER_INCH = 72 };

static void buildJapaneseFont(HWND window) {
    HDC dc = GetDC(window);
    LOGFONTA font;
    memset(&font, 0, sizeof font);
    font.lfHeight = -MulDiv(JAPANESE_POINTS, GetDeviceCaps(dc, LOGPIXELSY), POINTS_PER_INCH);
    font.lfCharSet = SHIFTJIS_CHARSET;
    font.lfPitchAndFamily = FF_ROMAN | DEFAULT_PITCH;
    HFONT created = CreateFontIndirectA(&font);
    HGDIOBJ previous = SelectObject(dc, created);
    DeleteObject(SelectObject(dc, previous)); // hands back the font created above
    ReleaseDC(window, dc);
}

void setWindowCharType(HWND window) {
    char *language = (char *)malloc(LANGUAGE_BUF);
    if (language == NULL) return;
    getLanguage(language);
    if (_stricmp(language, "japanese") == 0) buildJapaneseFont(window);
    free(language);
}
