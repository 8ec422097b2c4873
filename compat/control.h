// What a test can make the host stand-ins report, and what they recorded.
#ifndef COMPAT_CONTROL_H
#define COMPAT_CONTROL_H

#include <string>
#include <vector>
#include <windows.h>

namespace compat {

// Back to the defaults: Windows NT, code pages 1252/437, NTFS with 255-character names on a
// fixed drive, time zone UTC without daylight saving, empty registry, nothing recorded.
void reset();

void setModulePath(const char *path);
void setVersion(DWORD version);
// The registry's two views, as on 64-bit Windows. The process sees its default one without
// a view flag: the 64-bit view, or the 32-bit one after setWow64(true) (a 32-bit program on
// 64-bit Windows, which IsWow64Process then reports); KEY_WOW64_32KEY and KEY_WOW64_64KEY
// reach either.
enum class RegistryView { Default, Bits32, Bits64 };
// A REG_SZ value; name "" is the key's unnamed value.
void setRegistryValue(HKEY root, const char *key, const char *name, const char *value,
                      RegistryView view = RegistryView::Default);
// A value of any type with exactly these bytes (a string's terminator only if given).
void setRegistryData(HKEY root, const char *key, const char *name, DWORD type,
                     const std::string &data, RegistryView view = RegistryView::Default);
void setWow64(bool wow64);
// kernelbase.dll with WaitOnAddress and WakeByAddressSingle, as from Windows 8 on (default:
// absent, as on Windows XP).
void setAddressWaits(bool present);
// RegEnumKeyExA answers `error` for this index in every key (ERROR_SUCCESS: never).
void failRegistryEnumAt(DWORD index, LSTATUS error);
// RegOpenKeyExA answers ERROR_ACCESS_DENIED for this key in both views; it is still listed.
void denyRegistryKey(HKEY root, const char *key);
void setVolume(const char *fileSystemName, DWORD maxComponentLength, DWORD flags);
void setVolumeQueryFails(bool fails);
void setDriveType(UINT type);
void setTimeZone(LONG biasMinutes, DWORD zoneId);
void setAnsiCodePage(unsigned codePage); // 1252, or 932 for double-byte lead bytes
// GetShortPathNameW's answer for an existing path (by default the path itself, as on a
// volume without 8.3 names); the path in host UTF-8, the short form as Windows spells it.
void setShortPathName(const char *longPath, const char *shortPath);

struct MessageBoxCall {
    std::string text, caption;
    UINT type;
};
// A process start: by _spawnv (mode, argv), CreateProcessA (commandLine) or ShellExecuteExA
// (commandLine: its parameters; directory: its lpDirectory).
struct SpawnCall {
    std::string api; // "_spawnv", "CreateProcessA" or "ShellExecuteExA"
    int mode;
    std::string path;
    std::vector<std::string> argv;
    std::string commandLine, directory;
    std::string cwd;
    std::vector<std::string> environment; // "NAME=value" entries the child would inherit
};
// How CreateProcessA and ShellExecuteExA fail (with this error code; 0: they start the
// program when its file exists). ERROR_ELEVATION_REQUIRED and ERROR_CANCELLED model a
// program that needs elevation and a user who declines the consent prompt.
void setStartErrors(DWORD createProcess, DWORD shellExecute);
// Calls of the file, volume and security families whose arguments a test checks: CreateFileA
// (path, access, flags), _open (path, flags), _stati64 and _mkdir (path),
// GetVolumeInformationA (root), SetKernelObjectSecurity and GetKernelObjectSecurity (path of
// the handle, information flags), AdjustTokenPrivileges (the privilege's name as path).
struct ApiCall {
    std::string name, path;
    DWORD access, flags, info;
};
const std::vector<ApiCall> &apiCalls();
// Which privileges AdjustTokenPrivileges enables (default: neither), and whether
// SetKernelObjectSecurity fails (default: it succeeds).
void setPrivilegesHeld(bool restore, bool security);
void setSecurityFails(bool fails);

const std::vector<MessageBoxCall> &messageBoxes();
const std::vector<SpawnCall> &spawns();
const std::vector<std::string> &volumeLabels();
// Attribute byte last set on a path with SetFileAttributesA, or -1.
int attributesOf(const char *path);
// A file Windows will not delete while a program runs from it or holds it open: DeleteFileA
// and _unlink answer ERROR_ACCESS_DENIED for this path until the next reset.
void setInUse(const char *path);
// Paths that fopen opened as Windows devices ("lib\NUL.dll", "COM1.log"), in order.
const std::vector<std::string> &deviceOpens();
// The medium fails at byte `at` (-1: never): a _read whose range holds that byte reads
// nothing and answers -1, and with `seeks` so does a _lseeki64 to it or beyond; the first
// `spared` calls that would fail still succeed.
void failReadsAt(int64_t at, bool seeks = false, int spared = 0);
// The disk takes `bytes` more bytes through streams opened for writing (fopen, _fdopen)
// and is then full: a write gets what fits and fails. -1: no limit.
void setDiskRoom(int64_t bytes);
// Streams opened for writing take `microseconds` to close, as a virus scanner's check of a
// written file makes CloseHandle wait on Windows (0: they close at once). While the delay is
// set, a file with such a stream open cannot be deleted (as on Windows, where the runtime
// library opens files without delete sharing), and openWrittenFiles counts them.
void setCloseDelay(unsigned microseconds);
int openWrittenFiles();
// Flags of the last SetDefaultDllDirectories call (reached through GetProcAddress), or 0.
DWORD dllDirectoryFlags();

} // namespace compat

#endif
