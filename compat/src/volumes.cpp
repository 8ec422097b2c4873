// Host stand-in for kernel32's volume queries: file system, drive type, full path names and
// volume labels. Tests set the file system, its limits and the drive type, and read the labels.
#include "control.h"
#include <windows.h>

#include <cstring>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace compat {
namespace detail {
std::string hostPath(const char *path); // files.cpp
void recordCall(const ApiCall &call);   // security.cpp
} // namespace detail
} // namespace compat

namespace {

// What every drive reports on Windows NT and under Wine.
constexpr const char *kDefaultFileSystem = "NTFS";
constexpr DWORD kDefaultMaxComponent = 255;
constexpr DWORD kDefaultFlags = 0xA; // FS_CASE_PRESERVED_NAMES | FS_PERSISTENT_ACLS

std::mutex volumesLock;
std::string fileSystemName = kDefaultFileSystem;
DWORD maxComponentLength = kDefaultMaxComponent;
DWORD fileSystemFlags = kDefaultFlags;
bool queryFails = false;
UINT driveType = DRIVE_FIXED;
std::vector<std::string> labels;

void copyBounded(LPSTR buf, DWORD size, const std::string &text) {
    if (buf && size > 0) snprintf(buf, size, "%s", text.c_str());
}

} // namespace

namespace compat {
namespace detail {

void resetVolumes() {
    std::lock_guard<std::mutex> hold(volumesLock);
    fileSystemName = kDefaultFileSystem;
    maxComponentLength = kDefaultMaxComponent;
    fileSystemFlags = kDefaultFlags;
    queryFails = false;
    driveType = DRIVE_FIXED;
    labels.clear();
}

} // namespace detail

void setVolume(const char *name, DWORD maxComponent, DWORD flags) {
    std::lock_guard<std::mutex> hold(volumesLock);
    fileSystemName = name ? name : "";
    maxComponentLength = maxComponent;
    fileSystemFlags = flags;
}

void setVolumeQueryFails(bool fails) {
    std::lock_guard<std::mutex> hold(volumesLock);
    queryFails = fails;
}

void setDriveType(UINT type) {
    std::lock_guard<std::mutex> hold(volumesLock);
    driveType = type;
}

const std::vector<std::string> &volumeLabels() {
    return labels;
}

} // namespace compat

// Every root names the one configured volume; it has no label and serial number 0.
BOOL GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                           LPDWORD serialNumber, LPDWORD maxComponent, LPDWORD flags, LPSTR name,
                           DWORD nameSize) {
    compat::detail::recordCall({"GetVolumeInformationA", root ? root : "", 0, 0, 0});
    std::lock_guard<std::mutex> hold(volumesLock);
    if (queryFails) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    copyBounded(volumeName, volumeNameSize, "");
    if (serialNumber) *serialNumber = 0;
    if (maxComponent) *maxComponent = maxComponentLength;
    if (flags) *flags = fileSystemFlags;
    copyBounded(name, nameSize, fileSystemName);
    return TRUE;
}

UINT GetDriveTypeA(LPCSTR) {
    std::lock_guard<std::mutex> hold(volumesLock);
    return driveType;
}

// Joins a relative path to the current directory without resolving "." or ".." inside it.
// Too small a buffer is left alone and the result is the size needed, terminator included.
DWORD GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buf, LPSTR *filePart) {
    std::string p = compat::detail::hostPath(path);
    std::string full;
    if (!p.empty() && p[0] == '/') {
        full = p;
    } else {
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd)) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return 0;
        }
        full = cwd;
        if (p != ".") {
            if (full.back() != '/') full += '/';
            full += p;
        }
    }
    if (full.size() >= size || !buf) return (DWORD)full.size() + 1;
    memcpy(buf, full.c_str(), full.size() + 1);
    if (filePart) {
        char *last = strrchr(buf, '/');
        *filePart = last && last[1] ? last + 1 : nullptr;
    }
    return (DWORD)full.size();
}

BOOL SetVolumeLabelA(LPCSTR, LPCSTR label) {
    std::lock_guard<std::mutex> hold(volumesLock);
    labels.push_back(label ? label : "");
    return TRUE;
}
