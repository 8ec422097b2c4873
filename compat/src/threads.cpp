// Host stand-in for the waitable objects that really wait: auto- and manual-reset events, and
// threads started by _beginthreadex, whose handle is signalled when the thread has ended.
// WaitForSingleObject (security.cpp) hands these to waitObject; CloseHandle (files.cpp) to
// closeWaitable.
#include <process.h>
#include <windows.h>

#include <chrono>
#include <condition_variable>
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

} // namespace

namespace compat {
namespace detail {

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
