// Code-page conversion of member names. Names reach the engine in the OEM code page or in
// UTF-8 and are used with the ANSI calls of the file system, so they are converted in place
// before they are mapped.
#include "unzip/win32/win32.h"

void oem_to_ansi(char *s) {
    // Both calls convert in place when source and destination are the same buffer; every
    // character stays one byte long.
    OemToCharA(s, s);
}

void ansi_to_oem(char *s) {
    CharToOemA(s, s);
}

// A UTF-8 name never gets longer in the ANSI code page: every character takes at most as
// many bytes there (one, or two in a double-byte code page) as it takes in UTF-8, and an
// unrepresentable one becomes the single byte "_".
void utf8_to_ansi(char *s, unsigned size) {
    WCHAR wide[MAX_NAME + 1];
    if (size == 0) {
        return;
    }
    if (MultiByteToWideChar(CP_UTF8, 0, s, -1, wide, MAX_NAME + 1) == 0) {
        return; // longer than any kept name, or not convertible: leave the bytes alone
    }
    // No best-fit mapping: look-alikes such as the full-width solidus or reverse solidus
    // would otherwise turn into real path separators.
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, s, (int)size, "_", NULL) == 0) {
        s[size - 1] = '\0';
    }
}

int is_dbcs_lead_byte(uint8_t c) {
    return IsDBCSLeadByte(c) ? 1 : 0;
}

int is_superscript_digit(uint8_t c) {
    char byte = (char)c;
    WCHAR wide;
    if (c < 0x80 || MultiByteToWideChar(CP_ACP, 0, &byte, 1, &wide, 1) != 1) {
        return 0;
    }
    return wide == 0x00B9 || wide == 0x00B2 || wide == 0x00B3; // superscript 1, 2, 3
}
