// Functions of system DLLs that some Windows versions lack, looked up at run time so that the
// programs still start there.
#ifndef COMMON_SYSFUNCTION_H
#define COMMON_SYSFUNCTION_H

#include <windows.h>

// Function name of module, a DLL the process has loaded already (nothing is loaded, so no
// planted DLL can answer); NULL when either is missing.
template <typename Function> Function systemFunction(const char *module, const char *name) {
    HMODULE handle = GetModuleHandleA(module);
    FARPROC proc = handle != NULL ? GetProcAddress(handle, name) : NULL;
    if (proc == NULL) return NULL;
    // Through void (*)(void), the one cast between function types compilers do not warn about.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)(void)>(proc));
}

#endif
