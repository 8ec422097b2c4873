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
// name "" is the key's unnamed value.
void setRegistryValue(HKEY root, const char *key, const char *name, const char *value);
void setVolume(const char *fileSystemName, DWORD maxComponentLength, DWORD flags);
void setVolumeQueryFails(bool fails);
void setDriveType(UINT type);
void setTimeZone(LONG biasMinutes, DWORD zoneId);
void setAnsiCodePage(unsigned codePage); // 1252, or 932 for double-byte lead bytes

struct MessageBoxCall {
    std::string text, caption;
    UINT type;
};
struct SpawnCall {
    int mode;
    std::string path;
    std::vector<std::string> argv;
    std::string cwd;
};
// Calls of the file, volume and security families whose arguments a test checks: CreateFileA
// (path, access, flags), GetVolumeInformationA (root), SetKernelObjectSecurity and
// GetKernelObjectSecurity (path of the handle, information flags), AdjustTokenPrivileges
// (the privilege's name as path).
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
// Paths that fopen opened as Windows devices ("lib\NUL.dll", "COM1.log"), in order.
const std::vector<std::string> &deviceOpens();

} // namespace compat

#endif
