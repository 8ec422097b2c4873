// The worker thread: one engine run over the stub's own executable, the failure steps when
// it did not end cleanly or the installer could not be started, and the semaphore file's
// deletion as the very last act.
#include <io.h>
#include <process.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "stub/stub.h"
#include "unzip/unzip.h"

// Full path of "__qelexpand.sem"; while the file exists, the worker is running.
char *endMainThreadFilename;
// The hidden status dialog; only handed to showError, which ignores it.
HWND hDlgMain;
void (*workerEndedHook)(void);

// The installer could not be started: a line with the system's reason, then the steps of a
// failed run, unless the user declined the consent prompt (their own choice: no box, and the
// directory stays as after a start, so that the line is kept).
static void reportStartFailure(DWORD error) {
    char reason[MESSAGE_BUF - 100] = ""; // room for the line's own words
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0,
                       reason, sizeof reason, NULL) == 0)
        reason[0] = '\0';
    size_t len = strlen(reason);
    while (len > 0 &&
           (reason[len - 1] == '\n' || reason[len - 1] == '\r' || reason[len - 1] == ' '))
        reason[--len] = '\0';
    char line[MESSAGE_BUF];
    snprintf(line, sizeof line, "Unable to start installer.exe (error %lu): %s",
             (unsigned long)error, reason);
    logErrorMessage(line);
    if (error != ERROR_CANCELLED) failedRunSteps();
}

int runEngine(MainThreadArgs *args) {
    installDir = dupString(args->installDir != NULL ? args->installDir : "");
    quietInstall = args->quietInstall;
    propertiesInstall = args->propertiesInstall;
    logErrors = fopen(ExtractLogName, "wt");
    installerStartError = 0; // a run that ends before the hand-off starts nothing
    globalsCtor();
    int result = unzip(args->argc, args->argv);
    forgetSwitchCopies();
    closeExtractLog(); // after a clean run the hand-off has closed it already
    if (result != 0)
        workerFailureSteps();
    else if (installerStartError != 0)
        reportStartFailure(installerStartError);
    return result;
}

void startMainThread(void *args) {
    runEngine((MainThreadArgs *)args);
    free(installDir);
    installDir = NULL;
    // From here on the main thread may free the record and the argument vector.
    if (endMainThreadFilename != NULL) _unlink(endMainThreadFilename);
    if (workerEndedHook != NULL) workerEndedHook();
    _endthread();
}
