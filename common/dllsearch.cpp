// The DLL search restriction (see dllsearch.h).
#include <windows.h>

#include "common/dllsearch.h"

enum { DLL_SEARCH_SYSTEM32 = 0x00000800 }; // LOAD_LIBRARY_SEARCH_SYSTEM32

// Both programs usually run from a Downloads folder, where a planted DLL named like a system
// one would otherwise be loaded ahead of it. SetDefaultDllDirectories is looked up at run
// time so that Windows versions without it still start.
void restrictDllSearch(void) {
    typedef BOOL(WINAPI * SetDirsFn)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == NULL) return;
    FARPROC proc = GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (proc == NULL) return;
    SetDirsFn setDirs = reinterpret_cast<SetDirsFn>(reinterpret_cast<void (*)(void)>(proc));
    setDirs(DLL_SEARCH_SYSTEM32);
}
