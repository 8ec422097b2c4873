// Host stand-in for the part of the Win32 interface that the stub, the engine and the launcher
// call.
// Only what the code uses is declared; the behaviour is what the code expects of Windows,
// and tests set what the "platform" reports through compat/control.h.
#ifndef COMPAT_WINDOWS_H
#define COMPAT_WINDOWS_H

#include <stddef.h>
#include <stdint.h>

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef char CHAR;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef wchar_t WCHAR;
typedef void *HANDLE;
typedef void *HWND;
typedef void *HINSTANCE;
typedef void *HMODULE;
typedef void *HKEY;
typedef void *LPVOID;
typedef void *PVOID;
typedef void VOID;
typedef size_t SIZE_T;
typedef DWORD *LPDWORD;
typedef BYTE *LPBYTE;
typedef intptr_t LRESULT;
typedef intptr_t INT_PTR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef DWORD REGSAM;
typedef LONG LSTATUS;
typedef BOOL *PBOOL;

#define WINAPI
#define CALLBACK
#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

typedef intptr_t(WINAPI *FARPROC)(void);

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_BAD_EXE_FORMAT 193L
#define ERROR_ELEVATION_REQUIRED 740L
#define ERROR_CANCELLED 1223L

#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002)
#define KEY_QUERY_VALUE 0x0001
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_READ 0x20019
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200

#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4

#define MB_OK 0x0000
#define MB_ICONHAND 0x0010
#define MB_SYSTEMMODAL 0x1000

#define GENERIC_WRITE 0x40000000
#define FILE_SHARE_READ 0x1
#define FILE_SHARE_WRITE 0x2
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_READONLY 0x01
#define FILE_ATTRIBUTE_HIDDEN 0x02
#define FILE_ATTRIBUTE_SYSTEM 0x04
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_ARCHIVE 0x20
#define FILE_ATTRIBUTE_NORMAL 0x80
#define FILE_ATTRIBUTE_REPARSE_POINT 0x400
#define INVALID_FILE_ATTRIBUTES ((DWORD)0xFFFFFFFF)
#define FS_PERSISTENT_ACLS 0x8

#define DRIVE_UNKNOWN 0
#define DRIVE_NO_ROOT_DIR 1
#define DRIVE_REMOVABLE 2
#define DRIVE_FIXED 3
#define DRIVE_REMOTE 4

#define TIME_ZONE_ID_INVALID ((DWORD)0xFFFFFFFF)
#define TIME_ZONE_ID_UNKNOWN 0
#define TIME_ZONE_ID_STANDARD 1
#define TIME_ZONE_ID_DAYLIGHT 2

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001
#define WC_NO_BEST_FIT_CHARS 0x400

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *LPFILETIME;

typedef struct _SYSTEMTIME {
    WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
} SYSTEMTIME;

typedef struct _TIME_ZONE_INFORMATION {
    LONG Bias;
    WCHAR StandardName[32];
    SYSTEMTIME StandardDate;
    LONG StandardBias;
    WCHAR DaylightName[32];
    SYSTEMTIME DaylightDate;
    LONG DaylightBias;
} TIME_ZONE_INFORMATION, *LPTIME_ZONE_INFORMATION;

typedef struct _SECURITY_ATTRIBUTES SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

// Security descriptors, privileges and the one-time set-up of the NT security code.
typedef void *PSECURITY_DESCRIPTOR;
typedef DWORD SECURITY_INFORMATION;
typedef WORD SECURITY_DESCRIPTOR_CONTROL;
typedef HANDLE *PHANDLE;
typedef struct _LUID {
    DWORD LowPart;
    LONG HighPart;
} LUID;
typedef struct _LUID_AND_ATTRIBUTES {
    LUID Luid;
    DWORD Attributes;
} LUID_AND_ATTRIBUTES;
typedef struct _TOKEN_PRIVILEGES {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[1];
} TOKEN_PRIVILEGES;
typedef struct _CRITICAL_SECTION {
    void *lock;
} CRITICAL_SECTION;

#define READ_CONTROL 0x00020000
#define WRITE_DAC 0x00040000
#define WRITE_OWNER 0x00080000
#define ACCESS_SYSTEM_SECURITY 0x01000000
#define FILE_SHARE_DELETE 0x4
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000
#define OWNER_SECURITY_INFORMATION 0x1
#define GROUP_SECURITY_INFORMATION 0x2
#define DACL_SECURITY_INFORMATION 0x4
#define SACL_SECURITY_INFORMATION 0x8
#define SE_DACL_PRESENT 0x0004
#define SE_SACL_PRESENT 0x0010
#define SE_SELF_RELATIVE 0x8000
#define TOKEN_QUERY 0x0008
#define TOKEN_ADJUST_PRIVILEGES 0x0020
#define SE_PRIVILEGE_ENABLED 0x2
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_NOT_ALL_ASSIGNED 1300L
#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0
#define WAIT_TIMEOUT 258

HANDLE GetCurrentProcess(void);
BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token);
BOOL LookupPrivilegeValueA(LPCSTR system, LPCSTR name, LUID *luid);
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES *state, DWORD size,
                           TOKEN_PRIVILEGES *previous, DWORD *returned);
BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR sd);
BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR sd, SECURITY_DESCRIPTOR_CONTROL *control,
                                  DWORD *revision);
BOOL SetKernelObjectSecurity(HANDLE object, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd);
BOOL GetKernelObjectSecurity(HANDLE object, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd,
                             DWORD size, DWORD *needed);
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL owned, LPCSTR name);
BOOL ReleaseMutex(HANDLE mutex);
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                    LPCSTR name);
BOOL SetEvent(HANDLE event);
void InitializeCriticalSection(CRITICAL_SECTION *section);
void EnterCriticalSection(CRITICAL_SECTION *section);
void LeaveCriticalSection(CRITICAL_SECTION *section);
void DeleteCriticalSection(CRITICAL_SECTION *section);
PVOID InterlockedCompareExchangePointer(PVOID volatile *target, PVOID exchange, PVOID comparand);
HANDLE GetProcessHeap(void);
LPVOID HeapAlloc(HANDLE heap, DWORD flags, size_t size);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID memory);

DWORD GetLastError(void);
void SetLastError(DWORD code);
DWORD GetVersion(void);
DWORD GetModuleFileNameA(HMODULE module, LPSTR buf, DWORD size);
HMODULE GetModuleHandleA(LPCSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL IsWow64Process(HANDLE process, PBOOL wow64);

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, HKEY *result);
LSTATUS RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD size);
LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                      LPSTR className, LPDWORD classSize, LPFILETIME lastWrite);
LSTATUS RegCloseKey(HKEY key);

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

typedef struct _STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved, lpDesktop, lpTitle;
    DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
    WORD wShowWindow, cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput, hStdOutput, hStdError;
} STARTUPINFOA;
typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess, hThread;
    DWORD dwProcessId, dwThreadId;
} PROCESS_INFORMATION;
BOOL CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES process,
                    LPSECURITY_ATTRIBUTES thread, BOOL inheritHandles, DWORD flags,
                    LPVOID environment, LPCSTR directory, STARTUPINFOA *startup,
                    PROCESS_INFORMATION *info);

#define SW_SHOWNORMAL 1
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x1000
DWORD FormatMessageA(DWORD flags, const void *source, DWORD id, DWORD language, LPSTR buf,
                     DWORD size, void *arguments);

BOOL OemToCharA(LPCSTR src, LPSTR dst);
BOOL CharToOemA(LPCSTR src, LPSTR dst);
BOOL IsDBCSLeadByte(BYTE c);
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLen, WCHAR *dst, int dstLen);
int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR *src, int srcLen, LPSTR dst,
                        int dstLen, LPCSTR defaultChar, BOOL *usedDefault);
DWORD GetEnvironmentVariableW(const WCHAR *name, WCHAR *buf, DWORD size);
DWORD GetCurrentDirectoryW(DWORD size, WCHAR *buf);
DWORD GetShortPathNameW(const WCHAR *longPath, WCHAR *buf, DWORD size);

DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION info);
BOOL FileTimeToLocalFileTime(const FILETIME *utc, LPFILETIME local);

BOOL GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                           LPDWORD serialNumber, LPDWORD maxComponentLength,
                           LPDWORD fileSystemFlags, LPSTR fileSystemName, DWORD fileSystemNameSize);
UINT GetDriveTypeA(LPCSTR root);
DWORD GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buf, LPSTR *filePart);
BOOL SetVolumeLabelA(LPCSTR root, LPCSTR label);

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL CloseHandle(HANDLE handle);
BOOL SetFileTime(HANDLE file, const FILETIME *creation, const FILETIME *access,
                 const FILETIME *modification);
BOOL GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME access, LPFILETIME modification);
BOOL SetFileAttributesA(LPCSTR path, DWORD attributes);
DWORD GetFileAttributesA(LPCSTR path);
BOOL DeleteFileA(LPCSTR path);
BOOL RemoveDirectoryA(LPCSTR path);

typedef struct _WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime, ftLastAccessTime, ftLastWriteTime;
    DWORD nFileSizeHigh, nFileSizeLow;
    DWORD dwReserved0, dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA;
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA *data);
BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA *data);
BOOL FindClose(HANDLE find);

#endif
