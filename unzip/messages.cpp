// Texts that more than one engine file sends, and the display form of names in messages.
#include "unzip/unzip.h"

const char ErrUnzipNoFile[] = "\n  error:  %s%s\n";
const char NotEnoughMem[] = "not enough memory to ";
const char InvalidComprData[] = "invalid compressed data to ";
const char Inflate[] = "inflate";

// Control characters become "^" and a letter, so that a name cannot move the cursor or
// clear the screen of the console that shows it.
char *fnfilter(const char *raw, char *space) {
    const uint8_t *r = (const uint8_t *)raw;
    char *s = space, *end = space + NAME_AREA_SIZE - 1;
    for (; *r && s < end; r++) {
        if (*r < 0x20) {
            if (s + 2 > end) break;
            *s++ = '^';
            *s++ = (char)(*r + 0x40);
        } else {
            *s++ = (char)*r;
        }
    }
    *s = '\0';
    if (!IsWinNT()) ansi_to_oem(space);
    return space;
}

char *display_name(void) {
    return fnfilter(G.member_name, G.name_area[0]);
}
