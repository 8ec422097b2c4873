// Host stand-in for the shell's program start (<shellapi.h>).
#ifndef COMPAT_SHELLAPI_H
#define COMPAT_SHELLAPI_H

#include <windows.h>

#define SEE_MASK_NOASYNC 0x00000100
#define SEE_MASK_FLAG_NO_UI 0x00000400

typedef struct _SHELLEXECUTEINFOA {
    DWORD cbSize;
    unsigned long fMask;
    HWND hwnd;
    LPCSTR lpVerb, lpFile, lpParameters, lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
    void *lpIDList;
    LPCSTR lpClass;
    HKEY hkeyClass;
    DWORD dwHotKey;
    HANDLE hIcon;
    HANDLE hProcess;
} SHELLEXECUTEINFOA;

BOOL ShellExecuteExA(SHELLEXECUTEINFOA *info);

#endif
