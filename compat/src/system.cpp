// Host stand-in for kernel32's system queries: version, module path, time zone and the
// UTC-to-local file-time shift. Tests set what they report; reset() restores every stand-in.
#include <windows.h>
#include "control.h"

#include <cstring>
#include <mutex>
#include <string>
#include <unistd.h>

namespace compat {
namespace detail {
// Each family clears its own settings and records (defined in its file).
void resetFiles();
void resetVolumes();
void resetRegistry();
void resetCodePage();
void resetProcess();
void resetUi();
void resetSecurity();
} // namespace detail
} // namespace compat

namespace {

constexpr DWORD kErrorInsufficientBuffer = 122;
constexpr DWORD kWindowsNtVersion = 0x1DB10106; // what Windows XP and Wine report
// A daylight zone is one hour ahead of its standard time, as almost everywhere.
constexpr LONG kDaylightBias = -60;
constexpr int64_t kTicksPerMinute = 60LL * 10000000;

std::mutex settingsLock;
DWORD version = kWindowsNtVersion;
std::string modulePath; // empty: the running executable
LONG timeZoneBias = 0;
DWORD timeZoneId = TIME_ZONE_ID_UNKNOWN;

std::string runningExecutable() {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return std::string(path, n > 0 ? (size_t)n : 0);
}

} // namespace

namespace compat {

void reset() {
    {
        std::lock_guard<std::mutex> hold(settingsLock);
        version = kWindowsNtVersion;
        modulePath.clear();
        timeZoneBias = 0;
        timeZoneId = TIME_ZONE_ID_UNKNOWN;
    }
    detail::resetFiles();
    detail::resetVolumes();
    detail::resetRegistry();
    detail::resetCodePage();
    detail::resetProcess();
    detail::resetUi();
    detail::resetSecurity();
}

void setModulePath(const char *path) {
    std::lock_guard<std::mutex> hold(settingsLock);
    modulePath = path ? path : "";
}

void setVersion(DWORD v) {
    std::lock_guard<std::mutex> hold(settingsLock);
    version = v;
}

void setTimeZone(LONG biasMinutes, DWORD zoneId) {
    std::lock_guard<std::mutex> hold(settingsLock);
    timeZoneBias = biasMinutes;
    timeZoneId = zoneId;
}

} // namespace compat

DWORD GetVersion(void) {
    std::lock_guard<std::mutex> hold(settingsLock);
    return version;
}

// Too small a buffer gets size-1 characters and the terminator, and the result is size.
DWORD GetModuleFileNameA(HMODULE, LPSTR buf, DWORD size) {
    std::string path;
    {
        std::lock_guard<std::mutex> hold(settingsLock);
        path = modulePath;
    }
    if (path.empty()) path = runningExecutable();
    if (size == 0 || !buf) {
        SetLastError(kErrorInsufficientBuffer);
        return 0;
    }
    if (path.size() >= size) {
        memcpy(buf, path.data(), size - 1);
        buf[size - 1] = '\0';
        SetLastError(kErrorInsufficientBuffer);
        return size;
    }
    memcpy(buf, path.c_str(), path.size() + 1);
    return (DWORD)path.size();
}

DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION info) {
    std::lock_guard<std::mutex> hold(settingsLock);
    if (info) {
        memset(info, 0, sizeof *info);
        info->Bias = timeZoneBias;
        // A zone that reports standard or daylight time has daylight saving time at all.
        bool hasDaylight =
            timeZoneId == TIME_ZONE_ID_STANDARD || timeZoneId == TIME_ZONE_ID_DAYLIGHT;
        info->DaylightBias = hasDaylight ? kDaylightBias : 0;
    }
    return timeZoneId;
}

// local = UTC - bias, the daylight bias included while daylight saving time is in force.
BOOL FileTimeToLocalFileTime(const FILETIME *utc, LPFILETIME local) {
    if (!utc || !local) return FALSE;
    TIME_ZONE_INFORMATION tz;
    DWORD id = GetTimeZoneInformation(&tz);
    LONG bias = tz.Bias + (id == TIME_ZONE_ID_DAYLIGHT ? tz.DaylightBias : 0);
    uint64_t ticks = ((uint64_t)utc->dwHighDateTime << 32) | utc->dwLowDateTime;
    ticks -= (uint64_t)((int64_t)bias * kTicksPerMinute);
    local->dwLowDateTime = (DWORD)(ticks & 0xFFFFFFFFu);
    local->dwHighDateTime = (DWORD)(ticks >> 32);
    return TRUE;
}
