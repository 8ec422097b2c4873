// Host stand-in for the runtime library's thread and process start (<process.h>). Threads are
// real; a spawn starts nothing and is recorded, with the current directory and the
// environment, for compat::spawns(). A spawn of a file that does not exist fails, as it does
// on Windows.
#include <process.h>
#include <io.h>
#include "control.h"

#include <cerrno>
#include <climits>
#include <mutex>
#include <pthread.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr intptr_t kFirstProcessId = 1000; // any positive number will do

std::mutex spawnsLock;
std::vector<compat::SpawnCall> spawnCalls;
intptr_t nextProcessId = kFirstProcessId;

struct ThreadStart {
    void (*start)(void *);
    void *arg;
};

void *runThread(void *p) {
    ThreadStart ts = *(ThreadStart *)p;
    delete (ThreadStart *)p;
    ts.start(ts.arg);
    return nullptr;
}

} // namespace

namespace compat {
namespace detail {

void resetProcess() {
    std::lock_guard<std::mutex> hold(spawnsLock);
    spawnCalls.clear();
    nextProcessId = kFirstProcessId;
}

} // namespace detail

const std::vector<SpawnCall> &spawns() {
    return spawnCalls;
}

} // namespace compat

// Detached, as a _beginthread thread closes its own handle when it ends.
uintptr_t _beginthread(void (*start)(void *), unsigned stackSize, void *arg) {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return (uintptr_t)-1;
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stackSize > 0)
        pthread_attr_setstacksize(&attr,
                                  stackSize < PTHREAD_STACK_MIN ? PTHREAD_STACK_MIN : stackSize);
    ThreadStart *ts = new ThreadStart{start, arg};
    pthread_t thread;
    int failed = pthread_create(&thread, &attr, runThread, ts);
    pthread_attr_destroy(&attr);
    if (failed) {
        delete ts;
        return (uintptr_t)-1;
    }
    return (uintptr_t)thread;
}

void _endthread(void) {
    pthread_exit(nullptr);
}

// A waiting spawn "ends" at once with exit code 0; a no-wait spawn gets a process id.
intptr_t _spawnv(int mode, const char *path, const char *const *argv) {
    compat::SpawnCall call;
    call.mode = mode;
    call.path = path ? path : "";
    for (const char *const *a = argv; a && *a; ++a)
        call.argv.push_back(*a);
    char cwd[4096];
    call.cwd = getcwd(cwd, sizeof cwd) ? cwd : "";
    for (char **e = environ; e && *e; ++e)
        call.environment.push_back(*e);
    std::lock_guard<std::mutex> hold(spawnsLock);
    spawnCalls.push_back(call);
    if (!path || _access(path, 0) != 0) {
        errno = ENOENT;
        return -1;
    }
    return mode == _P_WAIT ? 0 : nextProcessId++;
}
