// The worker thread: one engine run over the stub's own executable, the failure steps when
// it did not end cleanly, and the semaphore file's deletion as the very last act.
#include <io.h>
#include <process.h>
#include <stdio.h>
#include <stdlib.h>

#include "stub/stub.h"
#include "unzip/unzip.h"

// Full path of "__qelexpand.sem"; while the file exists, the worker is running.
char *endMainThreadFilename;
// The hidden status dialog; only handed to showError, which ignores it.
HWND hDlgMain;

int runEngine(MainThreadArgs *args) {
    installDir = dupString(args->installDir != NULL ? args->installDir : "");
    quietInstall = args->quietInstall;
    propertiesInstall = args->propertiesInstall;
    logErrors = fopen(ExtractLogName, "wt");
    globalsCtor();
    int result = unzip(args->argc, args->argv);
    forgetSwitchCopies();
    closeExtractLog(); // after a clean run the hand-off has closed it already
    if (result != 0) workerFailureSteps();
    return result;
}

void startMainThread(void *args) {
    runEngine((MainThreadArgs *)args);
    free(installDir);
    installDir = NULL;
    // From here on the main thread may free the record and the argument vector.
    if (endMainThreadFilename != NULL) _unlink(endMainThreadFilename);
    _endthread();
}
