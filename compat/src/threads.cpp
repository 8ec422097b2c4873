// Host stand-in for the waitable objects that really wait: auto- and manual-reset events, and
// threads started by _beginthreadex, whose handle is signalled when the thread has ended.
// WaitForSingleObject (security.cpp) hands these to waitObject; CloseHandle (files.cpp) to
// closeWaitable. Also kernelbase's waits on an address, which GetProcAddress (system.cpp)
// hands out.
#include <process.h>
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace {

struct Waitable {
    static constexpr uint32_t kMagic = 0x57414954; // "WAIT"
    uint32_t magic = kMagic;
    bool manualReset = false;
    bool signalled = false;
    std::mutex lock;
    std::condition_variable changed;
};

Waitable *waitable(HANDLE h) {
    Waitable *w = (Waitable *)h;
    if (!w || h == INVALID_HANDLE_VALUE || w->magic != Waitable::kMagic) return nullptr;
    return w;
}

void signal(Waitable *w) {
    std::lock_guard<std::mutex> hold(w->lock);
    w->signalled = true;
    w->changed.notify_all();
}

struct ThreadStart {
    unsigned(WINAPI *start)(void *);
    void *arg;
    Waitable *ended;
};

void *runThread(void *p) {
    ThreadStart ts = *(ThreadStart *)p;
    delete (ThreadStart *)p;
    ts.start(ts.arg);
    signal(ts.ended);
    return nullptr;
}

// One lock and one condition for every address: a waiter tests its value again after any
// wake-up, as it must after a spurious one on Windows too.
std::mutex addressLock;
std::condition_variable addressChanged;

// The other thread changes the value atomically, without the lock: read it so too.
bool sameBytes(volatile VOID *address, PVOID compare, SIZE_T size) {
    for (SIZE_T i = 0; i < size; i++)
        if (__atomic_load_n((volatile uint8_t *)address + i, __ATOMIC_ACQUIRE) !=
            ((const uint8_t *)compare)[i])
            return false;
    return true;
}

} // namespace

namespace compat {
namespace detail {

// The engine waits without a time limit, so none is kept.
BOOL WINAPI waitOnAddress(volatile VOID *address, PVOID compare, SIZE_T size, DWORD) {
    std::unique_lock<std::mutex> hold(addressLock);
    if (sameBytes(address, compare, size)) addressChanged.wait(hold);
    return TRUE;
}

VOID WINAPI wakeByAddressSingle(PVOID) {
    // Under the lock: a waiter between its test and its sleep holds it, so it misses no wake-up.
    std::lock_guard<std::mutex> hold(addressLock);
    addressChanged.notify_all();
}

uintptr_t startDetachedThread(void *(*run)(void *), void *arg, unsigned stackSize); // process.cpp

bool isWaitable(HANDLE h) {
    return waitable(h) != nullptr;
}

DWORD waitObject(HANDLE h, DWORD milliseconds) {
    Waitable *w = waitable(h);
    std::unique_lock<std::mutex> hold(w->lock);
    auto ready = [w] { return w->signalled; };
    if (milliseconds == INFINITE)
        w->changed.wait(hold, ready);
    else if (!w->changed.wait_for(hold, std::chrono::milliseconds(milliseconds), ready))
        return WAIT_TIMEOUT;
    if (!w->manualReset) w->signalled = false;
    return WAIT_OBJECT_0;
}

bool closeWaitable(HANDLE h) {
    Waitable *w = waitable(h);
    if (!w) return false;
    w->magic = 0;
    delete w;
    return true;
}

} // namespace detail
} // namespace compat

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR) {
    Waitable *w = new Waitable;
    w->manualReset = manualReset != FALSE;
    w->signalled = initialState != FALSE;
    return w;
}

BOOL SetEvent(HANDLE event) {
    Waitable *w = waitable(event);
    if (!w) return FALSE;
    signal(w);
    return TRUE;
}

// The thread's handle is a manual-reset event set when its function returns; a thread that
// ends by _endthreadex is not supported.
uintptr_t _beginthreadex(void *, unsigned stackSize, unsigned(WINAPI *start)(void *), void *arg,
                         unsigned, unsigned *) {
    Waitable *ended = new Waitable;
    ended->manualReset = true;
    ThreadStart *ts = new ThreadStart{start, arg, ended};
    if (compat::detail::startDetachedThread(runThread, ts, stackSize) != 0) return (uintptr_t)ended;
    delete ts;
    delete ended;
    return 0;
}
