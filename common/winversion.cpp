// Which family of Windows runs the program (see winversion.h).
#include <windows.h>

#include "common/winversion.h"

int isWindowsNT(void) {
    static const DWORD NotNtBit = 0x80000000u; // set in GetVersion's result outside NT
    return (GetVersion() & NotNtBit) == 0;
}
