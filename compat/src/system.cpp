// Host stand-in for kernel32's system queries: version, module path, time zone and the
// UTC-to-local file-time shift, the system's error texts, and the functions looked up at run
// time (IsWow64Process, SetDefaultDllDirectories; WaitOnAddress and WakeByAddressSingle in
// kernelbase, which a test makes present). Tests set what they report; reset()
// restores every stand-in.
#include "control.h"
#include <windows.h>

#include <cstring>
#include <mutex>
#include <string>
#include <strings.h>
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
void resetWidePaths();
bool isWow64(); // registry.cpp: the registry's views follow the same setting
BOOL WINAPI waitOnAddress(volatile VOID *address, PVOID compare, SIZE_T size,
                          DWORD milliseconds); // threads.cpp
VOID WINAPI wakeByAddressSingle(PVOID address);
} // namespace detail
} // namespace compat

namespace {

constexpr DWORD kErrorInsufficientBuffer = 122;
constexpr DWORD kWindowsNtVersion = 0x1DB10106; // what Windows XP and Wine report
// A daylight zone is one hour ahead of its standard time, as almost everywhere.
constexpr LONG kDaylightBias = -60;
constexpr int64_t kTicksPerMinute = 60LL * 10000000;
// Any non-null value serves as kernel32's module handle; GetCurrentProcess's is -1.
const HMODULE kKernel32 = (HMODULE)(uintptr_t)0x7C800000;
const HMODULE kKernelBase = (HMODULE)(uintptr_t)0x7C900000;
const HANDLE kCurrentProcess = (HANDLE)(intptr_t)-1;

std::mutex settingsLock;
DWORD version = kWindowsNtVersion;
std::string modulePath; // empty: the running executable
LONG timeZoneBias = 0;
DWORD timeZoneId = TIME_ZONE_ID_UNKNOWN;
DWORD dllFlags = 0;
bool addressWaits = false;

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
        dllFlags = 0;
        addressWaits = false;
    }
    detail::resetFiles();
    detail::resetVolumes();
    detail::resetRegistry();
    detail::resetCodePage();
    detail::resetProcess();
    detail::resetUi();
    detail::resetSecurity();
    detail::resetWidePaths();
}

void setModulePath(const char *path) {
    std::lock_guard<std::mutex> hold(settingsLock);
    modulePath = path ? path : "";
}

void setVersion(DWORD v) {
    std::lock_guard<std::mutex> hold(settingsLock);
    version = v;
}

void setAddressWaits(bool present) {
    std::lock_guard<std::mutex> hold(settingsLock);
    addressWaits = present;
}

void setTimeZone(LONG biasMinutes, DWORD zoneId) {
    std::lock_guard<std::mutex> hold(settingsLock);
    timeZoneBias = biasMinutes;
    timeZoneId = zoneId;
}

DWORD dllDirectoryFlags() {
    std::lock_guard<std::mutex> hold(settingsLock);
    return dllFlags;
}

} // namespace compat

namespace {

BOOL WINAPI setDefaultDllDirectories(DWORD flags) {
    std::lock_guard<std::mutex> hold(settingsLock);
    dllFlags = flags;
    return TRUE;
}

// Through void (*)(void), the one cast between function types that compilers do not warn about.
template <typename Function> FARPROC asFarProc(Function *function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(function));
}

} // namespace

HMODULE GetModuleHandleA(LPCSTR name) {
    if (!name) return nullptr;
    if (strcasecmp(name, "kernel32.dll") == 0) return kKernel32;
    std::lock_guard<std::mutex> hold(settingsLock);
    return addressWaits && strcasecmp(name, "kernelbase.dll") == 0 ? kKernelBase : nullptr;
}

// kernel32 and kernelbase export only what some Windows versions lack and the programs look
// up at run time.
FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (!name) return nullptr;
    if (module == kKernelBase) {
        if (strcmp(name, "WaitOnAddress") == 0) return asFarProc(compat::detail::waitOnAddress);
        if (strcmp(name, "WakeByAddressSingle") == 0)
            return asFarProc(compat::detail::wakeByAddressSingle);
        return nullptr;
    }
    if (module != kKernel32) return nullptr;
    if (strcmp(name, "IsWow64Process") == 0) return asFarProc(IsWow64Process);
    if (strcmp(name, "SetDefaultDllDirectories") == 0) return asFarProc(setDefaultDllDirectories);
    return nullptr;
}

HANDLE GetCurrentProcess(void) {
    return kCurrentProcess;
}

BOOL IsWow64Process(HANDLE process, PBOOL wow64) {
    if (process != kCurrentProcess || !wow64) return FALSE;
    *wow64 = compat::detail::isWow64() ? TRUE : FALSE;
    return TRUE;
}

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

// The texts of the errors that the code reports, as English Windows words them (with their
// line end); any other code has no text, as happens for codes Windows does not know.
DWORD FormatMessageA(DWORD flags, const void *, DWORD id, DWORD, LPSTR buf, DWORD size, void *) {
    static const struct {
        DWORD id;
        const char *text;
    } texts[] = {
        {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
        {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
        {ERROR_BAD_EXE_FORMAT, "%1 is not a valid Win32 application.\r\n"},
        {ERROR_ELEVATION_REQUIRED, "The requested operation requires elevation.\r\n"},
        {ERROR_CANCELLED, "The operation was canceled by the user.\r\n"},
    };
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || buf == nullptr) return 0;
    for (const auto &entry : texts) {
        size_t len = strlen(entry.text);
        if (entry.id != id) continue;
        if (len >= size) {
            SetLastError(kErrorInsufficientBuffer);
            return 0;
        }
        memcpy(buf, entry.text, len + 1);
        return (DWORD)len;
    }
    SetLastError(317); // ERROR_MR_MID_NOT_FOUND
    return 0;
}
