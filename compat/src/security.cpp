// Host stand-in for advapi32's security calls and the kernel32 objects the NT security code
// sets itself up with (mutex, critical sections, process heap). Descriptors are bytes the
// code hands over; the stand-in checks only what Windows would check first (the revision),
// records each call that sets or reads one, and grants the privileges a test asks for.
#include "control.h"
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace compat {
namespace detail {
std::string handlePath(HANDLE handle); // files.cpp: the path of a file handle, or ""
bool isWaitable(HANDLE handle);        // threads.cpp: an event or a thread
DWORD waitObject(HANDLE handle, DWORD milliseconds);
} // namespace detail
} // namespace compat

namespace {

// Handles that are not files: a mutex or the process token.
struct KernelObject {
    static constexpr uint32_t kMagic = 0x4B4F424A; // "KOBJ"
    uint32_t magic;
};

constexpr uint32_t kMinimalDescriptorSize = 20; // a self-relative header with no parts

std::mutex callsLock;
std::vector<compat::ApiCall> calls;
bool restoreHeld = false, securityHeld = false, setFails = false;

KernelObject *kernelObject(HANDLE h) {
    KernelObject *k = (KernelObject *)h;
    if (!k || h == INVALID_HANDLE_VALUE || k->magic != KernelObject::kMagic) return nullptr;
    return k;
}

const uint8_t *bytes(PSECURITY_DESCRIPTOR sd) {
    return (const uint8_t *)sd;
}

} // namespace

namespace compat {
namespace detail {

void recordCall(const ApiCall &call) {
    std::lock_guard<std::mutex> hold(callsLock);
    calls.push_back(call);
}

bool closeKernelObject(HANDLE h) {
    KernelObject *k = kernelObject(h);
    if (!k) return false;
    k->magic = 0;
    delete k;
    return true;
}

void resetSecurity() {
    std::lock_guard<std::mutex> hold(callsLock);
    calls.clear();
    restoreHeld = securityHeld = setFails = false;
}

} // namespace detail

const std::vector<ApiCall> &apiCalls() {
    return calls;
}

void setPrivilegesHeld(bool restore, bool security) {
    restoreHeld = restore;
    securityHeld = security;
}

void setSecurityFails(bool fails) {
    setFails = fails;
}

} // namespace compat

using compat::detail::recordCall;

BOOL OpenProcessToken(HANDLE, DWORD, PHANDLE token) {
    *token = new KernelObject{KernelObject::kMagic};
    return TRUE;
}

BOOL LookupPrivilegeValueA(LPCSTR, LPCSTR name, LUID *luid) {
    luid->HighPart = 0;
    luid->LowPart = !strcmp(name, "SeRestorePrivilege")    ? 18
                    : !strcmp(name, "SeSecurityPrivilege") ? 8
                                                           : 0;
    return luid->LowPart != 0;
}

// Succeeds as Windows does, and tells through the last error whether the privilege is held.
BOOL AdjustTokenPrivileges(HANDLE, BOOL, TOKEN_PRIVILEGES *state, DWORD, TOKEN_PRIVILEGES *,
                           DWORD *) {
    DWORD id = state->Privileges[0].Luid.LowPart;
    recordCall({"AdjustTokenPrivileges", id == 18 ? "SeRestorePrivilege" : "SeSecurityPrivilege", 0,
                state->Privileges[0].Attributes, 0});
    bool held = id == 18 ? restoreHeld : securityHeld;
    SetLastError(held ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
    return TRUE;
}

BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR sd) {
    return sd != nullptr && bytes(sd)[0] == 1;
}

BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR sd, SECURITY_DESCRIPTOR_CONTROL *control,
                                  DWORD *revision) {
    *revision = bytes(sd)[0];
    *control = (SECURITY_DESCRIPTOR_CONTROL)(bytes(sd)[2] | bytes(sd)[3] << 8);
    return TRUE;
}

BOOL SetKernelObjectSecurity(HANDLE object, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR) {
    std::string path = compat::detail::handlePath(object);
    recordCall({"SetKernelObjectSecurity", path, 0, 0, info});
    if (path.empty() || setFails) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

// Hands back the smallest self-relative descriptor there is.
BOOL GetKernelObjectSecurity(HANDLE object, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd,
                             DWORD size, DWORD *needed) {
    recordCall({"GetKernelObjectSecurity", compat::detail::handlePath(object), 0, 0, info});
    *needed = kMinimalDescriptorSize;
    if (size < kMinimalDescriptorSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memset(sd, 0, kMinimalDescriptorSize);
    ((uint8_t *)sd)[0] = 1;
    ((uint8_t *)sd)[3] = SE_SELF_RELATIVE >> 8;
    return TRUE;
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR) {
    return new KernelObject{KernelObject::kMagic};
}

BOOL ReleaseMutex(HANDLE mutex) {
    return kernelObject(mutex) != nullptr;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    if (compat::detail::isWaitable(object)) return compat::detail::waitObject(object, milliseconds);
    return kernelObject(object) ? WAIT_OBJECT_0 : (DWORD)0xFFFFFFFF;
}

void InitializeCriticalSection(CRITICAL_SECTION *section) {
    section->lock = new std::recursive_mutex;
}

void EnterCriticalSection(CRITICAL_SECTION *section) {
    ((std::recursive_mutex *)section->lock)->lock();
}

void LeaveCriticalSection(CRITICAL_SECTION *section) {
    ((std::recursive_mutex *)section->lock)->unlock();
}

void DeleteCriticalSection(CRITICAL_SECTION *section) {
    delete (std::recursive_mutex *)section->lock;
    section->lock = nullptr;
}

PVOID InterlockedCompareExchangePointer(PVOID volatile *target, PVOID exchange, PVOID comparand) {
    __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return comparand; // the value that was there before
}

HANDLE GetProcessHeap(void) {
    return (HANDLE)(intptr_t)1;
}

LPVOID HeapAlloc(HANDLE, DWORD, size_t size) {
    return malloc(size);
}

BOOL HeapFree(HANDLE, DWORD, LPVOID memory) {
    free(memory);
    return TRUE;
}
