// Host stand-in for the wide-character path and environment calls: GetEnvironmentVariableW,
// GetCurrentDirectoryW and GetShortPathNameW. Host names are UTF-8; WCHAR holds UTF-16 code
// units, as on Windows. A path has a short form only where a test gave it one
// (setShortPathName); otherwise GetShortPathNameW hands an existing path back unchanged, as
// Windows does on a volume that keeps no 8.3 names.
#include "control.h"
#include <windows.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace compat {
namespace detail {
std::string hostPath(const char *path); // files.cpp
} // namespace detail
} // namespace compat

namespace {

constexpr DWORD kErrorEnvvarNotFound = 203;

std::mutex shortNamesLock;
std::map<std::string, std::string> shortNames; // long UTF-8 path -> short path

void appendUtf8(std::string &out, unsigned cp) {
    if (cp < 0x80) {
        out += (char)cp;
    } else if (cp < 0x800) {
        out += (char)(0xC0 | (cp >> 6));
        out += (char)(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += (char)(0xE0 | (cp >> 12));
        out += (char)(0x80 | ((cp >> 6) & 0x3F));
        out += (char)(0x80 | (cp & 0x3F));
    } else {
        out += (char)(0xF0 | (cp >> 18));
        out += (char)(0x80 | ((cp >> 12) & 0x3F));
        out += (char)(0x80 | ((cp >> 6) & 0x3F));
        out += (char)(0x80 | (cp & 0x3F));
    }
}

std::string toUtf8(const WCHAR *wide) {
    std::string out;
    for (; wide && *wide; ++wide) {
        unsigned unit = (unsigned)*wide;
        if (unit >= 0xD800 && unit <= 0xDBFF && (unsigned)wide[1] >= 0xDC00 &&
            (unsigned)wide[1] <= 0xDFFF) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + ((unsigned)wide[1] - 0xDC00);
            ++wide;
        }
        appendUtf8(out, unit);
    }
    return out;
}

// The Windows answer of a string-returning call: the length copied, or the size needed
// (terminator included) when the buffer is too small.
DWORD giveWide(const std::string &utf8, WCHAR *buf, DWORD size) {
    int needed = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    if (needed <= 0) return 0;
    if ((DWORD)needed > size || buf == nullptr) return (DWORD)needed;
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, buf, needed);
    return (DWORD)needed - 1;
}

} // namespace

namespace compat {
namespace detail {

void resetWidePaths() {
    std::lock_guard<std::mutex> hold(shortNamesLock);
    shortNames.clear();
}

} // namespace detail

void setShortPathName(const char *longPath, const char *shortPath) {
    std::lock_guard<std::mutex> hold(shortNamesLock);
    shortNames[detail::hostPath(longPath)] = shortPath;
}

} // namespace compat

// Names match whatever their case, as Windows environment names do.
DWORD GetEnvironmentVariableW(const WCHAR *name, WCHAR *buf, DWORD size) {
    std::string wanted = toUtf8(name);
    for (char **e = environ; e && *e; ++e) {
        const char *sep = strchr(*e, '=');
        if (sep && (size_t)(sep - *e) == wanted.size() &&
            strncasecmp(*e, wanted.c_str(), wanted.size()) == 0)
            return giveWide(sep + 1, buf, size);
    }
    SetLastError(kErrorEnvvarNotFound);
    return 0;
}

DWORD GetCurrentDirectoryW(DWORD size, WCHAR *buf) {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) return 0;
    return giveWide(cwd, buf, size);
}

DWORD GetShortPathNameW(const WCHAR *longPath, WCHAR *buf, DWORD size) {
    std::string path = compat::detail::hostPath(toUtf8(longPath).c_str());
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    std::lock_guard<std::mutex> hold(shortNamesLock);
    auto known = shortNames.find(path);
    return giveWide(known != shortNames.end() ? known->second : path, buf, size);
}
