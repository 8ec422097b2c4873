// Host stand-in for the thread and process starts: the runtime library's (<process.h>),
// CreateProcessA, the shell's ShellExecuteExA and the COM apartment it asks for. Threads are
// real; a process start starts nothing and is recorded, with the current directory and the
// environment, for compat::spawns(). A start of a file that does not exist fails, as it does
// on Windows; setStartErrors makes the other two fail as a test says.
#include "control.h"
#include <io.h>
#include <objbase.h>
#include <process.h>
#include <shellapi.h>

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
DWORD createProcessError = 0, shellExecuteError = 0;

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

// A start's record so far: what was started, from where, with which environment.
compat::SpawnCall startCall(const char *api, const char *path) {
    compat::SpawnCall call;
    call.api = api;
    call.mode = 0;
    call.path = path ? path : "";
    char cwd[4096];
    call.cwd = getcwd(cwd, sizeof cwd) ? cwd : "";
    for (char **e = environ; e && *e; ++e)
        call.environment.push_back(*e);
    return call;
}

// TRUE, or FALSE with the start's error: a missing file, else the error a test set.
BOOL finishStart(const char *path, DWORD error) {
    if (!path || _access(path, 0) != 0) error = ERROR_FILE_NOT_FOUND;
    if (error == 0) return TRUE;
    SetLastError(error);
    return FALSE;
}

} // namespace

namespace compat {
namespace detail {

void resetProcess() {
    std::lock_guard<std::mutex> hold(spawnsLock);
    spawnCalls.clear();
    nextProcessId = kFirstProcessId;
    createProcessError = shellExecuteError = 0;
}

} // namespace detail

void setStartErrors(DWORD createProcess, DWORD shellExecute) {
    std::lock_guard<std::mutex> hold(spawnsLock);
    createProcessError = createProcess;
    shellExecuteError = shellExecute;
}

const std::vector<SpawnCall> &spawns() {
    return spawnCalls;
}

} // namespace compat

namespace compat {
namespace detail {

// A detached thread running run(arg), with at least the given stack (0: the default): its
// id, or 0 when it could not be started.
uintptr_t startDetachedThread(void *(*run)(void *), void *arg, unsigned stackSize) {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return 0;
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stackSize > 0)
        pthread_attr_setstacksize(&attr,
                                  stackSize < PTHREAD_STACK_MIN ? PTHREAD_STACK_MIN : stackSize);
    pthread_t thread;
    int failed = pthread_create(&thread, &attr, run, arg);
    pthread_attr_destroy(&attr);
    return failed ? 0 : (uintptr_t)thread;
}

} // namespace detail
} // namespace compat

// Detached, as a _beginthread thread closes its own handle when it ends.
uintptr_t _beginthread(void (*start)(void *), unsigned stackSize, void *arg) {
    ThreadStart *ts = new ThreadStart{start, arg};
    uintptr_t thread = compat::detail::startDetachedThread(runThread, ts, stackSize);
    if (thread != 0) return thread;
    delete ts;
    return (uintptr_t)-1;
}

void _endthread(void) {
    pthread_exit(nullptr);
}

// A waiting spawn "ends" at once with exit code 0; a no-wait spawn gets a process id.
intptr_t _spawnv(int mode, const char *path, const char *const *argv) {
    compat::SpawnCall call = startCall("_spawnv", path);
    call.mode = mode;
    for (const char *const *a = argv; a && *a; ++a)
        call.argv.push_back(*a);
    std::lock_guard<std::mutex> hold(spawnsLock);
    spawnCalls.push_back(call);
    if (!path || _access(path, 0) != 0) {
        errno = ENOENT;
        return -1;
    }
    return mode == _P_WAIT ? 0 : nextProcessId++;
}

// The handles come back null: nothing runs, and CloseHandle takes null.
BOOL CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                    LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCSTR directory, STARTUPINFOA *,
                    PROCESS_INFORMATION *info) {
    compat::SpawnCall call = startCall("CreateProcessA", application);
    call.mode = _P_NOWAIT;
    call.commandLine = commandLine ? commandLine : "";
    call.directory = directory ? directory : "";
    std::lock_guard<std::mutex> hold(spawnsLock);
    spawnCalls.push_back(call);
    if (!finishStart(application, createProcessError)) return FALSE;
    *info = {};
    return TRUE;
}

BOOL ShellExecuteExA(SHELLEXECUTEINFOA *info) {
    compat::SpawnCall call = startCall("ShellExecuteExA", info->lpFile);
    call.mode = _P_NOWAIT;
    call.commandLine = info->lpParameters ? info->lpParameters : "";
    call.directory = info->lpDirectory ? info->lpDirectory : "";
    std::lock_guard<std::mutex> hold(spawnsLock);
    spawnCalls.push_back(call);
    return finishStart(info->lpFile, shellExecuteError);
}

HRESULT CoInitializeEx(LPVOID, DWORD) {
    return 0;
}

void CoUninitialize(void) {}
