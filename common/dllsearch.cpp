// The DLL search restriction (see dllsearch.h).
#include <windows.h>

#include "common/dllsearch.h"
#include "common/sysfunction.h"

enum { DLL_SEARCH_SYSTEM32 = 0x00000800 }; // LOAD_LIBRARY_SEARCH_SYSTEM32

// Both programs usually run from a Downloads folder, where a planted DLL named like a system
// one would otherwise be loaded ahead of it. SetDefaultDllDirectories is looked up at run
// time so that Windows versions without it still start.
void restrictDllSearch(void) {
    typedef BOOL(WINAPI * SetDirsFn)(DWORD);
    SetDirsFn setDirs = systemFunction<SetDirsFn>("kernel32.dll", "SetDefaultDllDirectories");
    if (setDirs != NULL) setDirs(DLL_SEARCH_SYSTEM32);
}
