// Host stand-in for COM's apartment set-up (<objbase.h>), which the shell's start asks for.
#ifndef COMPAT_OBJBASE_H
#define COMPAT_OBJBASE_H

#include <windows.h>

typedef LONG HRESULT;
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_DISABLE_OLE1DDE 0x4

HRESULT CoInitializeEx(LPVOID reserved, DWORD flags);
void CoUninitialize(void);

#endif
