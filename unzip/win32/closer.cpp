// Closes finished files behind the engine. On Windows a virus scanner checks a written file
// while its last handle closes, and CloseHandle waits for it: 1 to 10 ms a file, where every
// other step of a small file takes microseconds. So the engine hands each finished file on
// and goes on with the next member; closing threads, started as the files pile up, close
// them side by side. The file's times, attributes and security are set on the engine's
// thread before it is handed on, so nothing observable moves: closing it only ends the handle.
//
// Every handed-on file is closed before anything else may need it closed: before a member
// replaces a file of the same name (Windows does not delete a file held open), before the
// folders get their times, and before the run ends (the installer is started from the
// tree, or the tree removed). Under Wine a close is cheap and a thread's wake-up is not, so
// a closer is woken only for a batch of files, and a short run never starts one.
#include <process.h>
#include <stdio.h>

#include "unzip/win32/win32.h"

namespace {

enum { CLOSERS = 4, PENDING = 64, BATCH = 8, CLOSER_STACK = 64 * 1024 };

struct Closers {
    int state;             // 0: not made yet; 1: lock and events made (once a process); -1: none
    CRITICAL_SECTION lock; // over everything below
    HANDLE work;           // auto-reset: files wait for a closer that sleeps
    HANDLE idle;           // auto-reset: the last busy closer finished while the engine waits
    HANDLE threads[CLOSERS];
    int started;            // threads running this run (the engine's alone)
    int start_failed;       // no more are tried this run
    FILE *pending[PENDING]; // handed on, not yet taken: a ring from `first`
    unsigned first, count;
    unsigned busy, sleeping; // closers closing a file, closers waiting for work
    int draining;            // the engine waits for the busy ones
    int ending;              // the closers end once nothing is pending
};

Closers C;

int ready(void) {
    if (C.state == 0) {
        InitializeCriticalSection(&C.lock);
        C.work = CreateEventA(NULL, FALSE, FALSE, NULL);
        C.idle = CreateEventA(NULL, FALSE, FALSE, NULL);
        C.state = C.work != NULL && C.idle != NULL ? 1 : -1;
    }
    return C.state > 0;
}

// Under the lock, with a file pending.
FILE *take(void) {
    FILE *file = C.pending[C.first];
    C.first = (C.first + 1) % PENDING;
    C.count--;
    return file;
}

// Closes a file taken from the ring outside the lock, and takes the lock back.
void close_unlocked(FILE *file) {
    LeaveCriticalSection(&C.lock);
    fclose(file);
    EnterCriticalSection(&C.lock);
}

unsigned WINAPI closer_main(void *) {
    EnterCriticalSection(&C.lock);
    for (;;) {
        while (C.count == 0 && !C.ending) {
            C.sleeping++;
            LeaveCriticalSection(&C.lock);
            WaitForSingleObject(C.work, INFINITE);
            EnterCriticalSection(&C.lock);
            C.sleeping--;
        }
        if (C.count == 0) break;
        FILE *file = take();
        C.busy++;
        if (C.count >= BATCH && C.sleeping > 0) SetEvent(C.work); // the rest for another
        close_unlocked(file);
        C.busy--;
        if (C.busy == 0 && C.draining) SetEvent(C.idle);
    }
    LeaveCriticalSection(&C.lock);
    SetEvent(C.work); // the next closer ends as well
    return 0;
}

void start_closer(void) {
    HANDLE thread = (HANDLE)_beginthreadex(NULL, CLOSER_STACK, closer_main, NULL, 0, NULL);
    if (thread != NULL)
        C.threads[C.started++] = thread;
    else
        C.start_failed = 1;
}

} // namespace

void close_later(FILE *file) {
    if (!ready()) {
        fclose(file);
        return;
    }
    EnterCriticalSection(&C.lock);
    if (C.count == PENDING) close_unlocked(take()); // full: the oldest is closed here
    C.pending[(C.first + C.count) % PENDING] = file;
    C.count++;
    int batch = C.count >= BATCH, wake = batch && C.sleeping > 0;
    LeaveCriticalSection(&C.lock);
    if (wake)
        SetEvent(C.work);
    else if (batch && C.started < CLOSERS && !C.start_failed)
        start_closer(); // every closer is busy: the scanner is slow here
}

void finish_closes(void) {
    if (C.state <= 0) return;
    EnterCriticalSection(&C.lock);
    while (C.count > 0)
        close_unlocked(take()); // nothing else to do: the engine closes too
    C.draining = 1;
    while (C.busy > 0) {
        LeaveCriticalSection(&C.lock);
        WaitForSingleObject(C.idle, INFINITE);
        EnterCriticalSection(&C.lock);
    }
    C.draining = 0;
    LeaveCriticalSection(&C.lock);
}

void stop_closers(void) {
    finish_closes();
    if (C.started > 0) {
        EnterCriticalSection(&C.lock);
        C.ending = 1;
        LeaveCriticalSection(&C.lock);
        SetEvent(C.work);
    }
    for (int i = 0; i < C.started; i++) {
        WaitForSingleObject(C.threads[i], INFINITE);
        CloseHandle(C.threads[i]);
    }
    C.started = C.start_failed = C.ending = 0;
}
