// The DLL search restriction both programs set before anything can load a DLL.
#ifndef COMMON_DLLSEARCH_H
#define COMMON_DLLSEARCH_H

// Later DLL loads search the system directory only, where Windows supports it.
void restrictDllSearch(void);

#endif
