// The stub's entry: command line, hidden windows, a fresh temporary directory, one worker
// thread that extracts the appended archive, and a message loop that waits for the worker
// to delete the semaphore file.
#include <direct.h>
#include <io.h>
#include <process.h>
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include "common/dllsearch.h"
#include "common/language.h"
#include "stub/stub.h"

// The stub's instance, for the dialog template.
HINSTANCE hInst;

enum {
    WAIT_TIMER_ID = 1,
    WAIT_TIMER_MS = 100,        // the semaphore file is tested at least this often
    WORKER_END_WAIT_MS = 10000, // for the worker's thread end after the file is gone
};

// Everything the entry owns for the run.
struct StubRun {
    char *message, *startDir, *tempDir; // MESSAGE_BUF / PATH_BUF bytes
    MainThreadArgs *args;
    HWND mainWindow;
    int tempDirMade, semaphoreMade, workerStarted, workerDone;
    HANDLE worker; // a duplicate of the worker's thread handle, or NULL
};

static int allocateRun(StubRun *run) {
    run->message = (char *)malloc(MESSAGE_BUF);
    run->startDir = (char *)malloc(PATH_BUF);
    run->tempDir = (char *)malloc(PATH_BUF);
    run->args = (MainThreadArgs *)calloc(1, sizeof(MainThreadArgs));
    if (!run->message || !run->startDir || !run->tempDir || !run->args) return 0;
    run->message[0] = run->startDir[0] = run->tempDir[0] = '\0';
    return 1;
}

static void readCommandLine(StubRun *run, char *tail) {
    MainThreadArgs *args = run->args;
    getArguments(tail, &args->quietInstall, &args->propertiesInstall, &args->installDir,
                 &args->argc, &args->argv);
}

// "ok\n" in the temporary directory; only its existence matters.
static void createSemaphoreFile(StubRun *run) {
    char current[PATH_BUF];
    endMainThreadFilename = (char *)malloc(PATH_BUF);
    if (endMainThreadFilename == NULL) return;
    getCurrentDir(current, PATH_BUF);
    if (!joinPath(endMainThreadFilename, PATH_BUF, current, SemaphoreFileName)) return;
    FILE *file = fopen(endMainThreadFilename, "wt");
    if (file == NULL) return;
    fputs("ok\n", file);
    run->semaphoreMade = fclose(file) == 0;
}

// The worker's thread handle tells when the thread has really ended: after the semaphore
// file is gone (the worker still has its thread end before it), and instead of the file
// when it could not be made. _endthread closes the handle that _beginthread returned, so a
// duplicate is kept. The handle is the worker's while its semaphore file still stands (the
// file goes before the thread ends); without the file, a thread that ended already leaves
// nothing to duplicate.
static void keepWorkerHandle(StubRun *run, uintptr_t thread) {
    HANDLE self = GetCurrentProcess();
    if (!DuplicateHandle(self, (HANDLE)thread, self, &run->worker, SYNCHRONIZE, FALSE, 0)) {
        run->worker = NULL;
        return;
    }
    if (run->semaphoreMade && _access(endMainThreadFilename, 0) != 0) {
        CloseHandle(run->worker); // the worker may have ended before the duplicate was made
        run->worker = NULL;
    }
}

// A message to the main window when the worker is done; should the window be gone already,
// the post fails and nothing is lost.
static HWND wakeWindow;
static void wakeMainThread(void) {
    PostMessageA(wakeWindow, WM_NULL, 0, 0);
}

static int startWorker(StubRun *run) {
    wakeWindow = run->mainWindow;
    workerEndedHook = wakeMainThread;
    uintptr_t thread = _beginthread(startMainThread, 0, run->args);
    if (thread == (uintptr_t)-1 || thread == 0) return 0;
    run->workerStarted = 1;
    keepWorkerHandle(run, thread);
    return 1;
}

static int workerFinished(const StubRun *run) {
    if (run->semaphoreMade) return _access(endMainThreadFilename, 0) != 0;
    return run->worker == NULL || WaitForSingleObject(run->worker, 0) == WAIT_OBJECT_0;
}

// Pumps messages until the worker is done or a quit message arrives. The worker's end posts a
// message; the timer guarantees one, and so a test, at least every 100 ms all the same.
static void waitForWorker(StubRun *run) {
    UINT_PTR timer = SetTimer(run->mainWindow, WAIT_TIMER_ID, WAIT_TIMER_MS, NULL);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        if (hDlgMain == NULL || !IsDialogMessageA(hDlgMain, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (workerFinished(run)) {
            KillTimer(run->mainWindow, timer);
            // The thread end follows the file's deletion at once; should it not come, what
            // the worker reads is not freed, and the process ends all the same.
            run->workerDone = run->worker == NULL ||
                              WaitForSingleObject(run->worker, WORKER_END_WAIT_MS) == WAIT_OBJECT_0;
            return;
        }
    }
}

static void failurePath(StubRun *run) {
    getUnableToExtractMessage(run->message);
    showError(hDlgMain, run->message);
    if (!run->tempDirMade) return; // nothing of ours to delete
    char path[PATH_BUF];
    if (joinPath(path, PATH_BUF, run->tempDir, StartDirFileName)) _unlink(path);
    _chdir(run->startDir);
    cleanUpTempDir(run->tempDir);
    if (run->semaphoreMade) _unlink(endMainThreadFilename);
}

// A worker still running (a quit message ended the loop) keeps using the record, the
// vector and the semaphore path until the process ends, so they are not freed then.
static void freeRun(StubRun *run) {
    free(run->message);
    free(run->startDir);
    free(run->tempDir);
    if (run->worker != NULL) CloseHandle(run->worker);
    if (run->workerStarted && !run->workerDone) return;
    if (run->args != NULL) {
        freeArguments(run->args->argc, run->args->argv);
        free(run->args->installDir);
        free(run->args);
    }
    free(endMainThreadFilename);
    endMainThreadFilename = NULL;
}

// The steps from the temporary directory to the worker's end; 1 when the run failed.
static int runStub(StubRun *run) {
    if (!moveToTempDir(run->startDir, run->tempDir)) return 1;
    run->tempDirMade = 1;
    createSemaphoreFile(run);
    if (!startWorker(run)) {
        logErrorMessage("Unable to begin a new thread. Out of memory?");
        return 1;
    }
    waitForWorker(run);
    // After a failed run the worker left its directory empty but for the semaphore file, the
    // last thing it deleted; the directory itself goes now. After a clean run it holds the
    // installer's files and stays.
    _rmdir(run->tempDir);
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR tail, int) {
    restrictDllSearch(); // before anything can load a DLL
    StubRun run = {};
    if (!allocateRun(&run)) {
        freeRun(&run);
        return 1;
    }
    readCommandLine(&run, tail);
    hInst = instance;
    if (!registerMainClass(instance)) {
        freeRun(&run);
        return 0;
    }
    run.mainWindow = createStubWindows(instance);
    setWindowCharType(hDlgMain);
    int failed = runStub(&run);
    if (failed) failurePath(&run);
    freeRun(&run);
    return failed;
}
