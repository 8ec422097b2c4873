// The stub's logs: "errors.log" gets one stamped line per failure, "term.log" is a switch
// that echoes every logged message to standard error, and the "*.log" switch files of the
// start directory follow the stub into its temporary directory as empty namesakes (which a
// member of the same name replaces).
#include <direct.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/logline.h"
#include "stub/stub.h"
#include "unzip/unzip.h"

const char SemaphoreFileName[] = "__qelexpand.sem";
const char StartDirFileName[] = "startdir.txt";
const char ErrorLogName[] = "errors.log";
static const char TermLogName[] = "term.log";

// The switch copies made in the temporary directory, so that a member of the same name can
// replace one: a package must not fail because of what lies beside it in the user's folder.
// Made on the main thread before the worker starts; used and forgotten by the worker.
struct SwitchCopy {
    SwitchCopy *next;
    char name[PATH_BUF - 1];
};
static SwitchCopy *switchCopies;

static void rememberSwitchCopy(const char *name) {
    SwitchCopy *copy = (SwitchCopy *)malloc(sizeof *copy);
    if (copy == NULL) return; // a namesake member then fails as for a file of the user's
    copyBounded(copy->name, name, sizeof copy->name);
    copy->next = switchCopies;
    switchCopies = copy;
}

void forgetSwitchCopies(void) {
    while (switchCopies != NULL) {
        SwitchCopy *next = switchCopies->next;
        free(switchCopies);
        switchCopies = next;
    }
}

// A copy is handed over only while it is still empty, and only once: after that the file is
// the member's.
int handOverSwitchCopy(const char *path) {
    for (SwitchCopy **link = &switchCopies; *link != NULL; link = &(*link)->next) {
        SwitchCopy *copy = *link;
        // Copies lie at the top level; Windows compares names without regard to case.
        if (_stricmp(copy->name, path) != 0) continue;
        struct _stati64 st;
        if (_stati64(copy->name, &st) != 0 || st.st_size != 0) return 0;
        *link = copy->next;
        free(copy);
        return 1;
    }
    return 0;
}

void logErrorMessage(const char *message) {
    if (_access(TermLogName, 0) == 0) {
        fputs(message, stderr);
        fflush(stderr);
    }
    appendLogLine(ErrorLogName, message);
}

int createEmptyLog(const char *path, const char *targetDir) {
    if (_access(path, 0) != 0 || isDir(path)) return 0;
    const char *dot = strrchr(path, '.');
    if (strcmp(dot != NULL ? dot : path, ".log") != 0) return 0; // ERRORS.LOG is no switch
    const char *slash = strrchr(path, '\\');
    char name[PATH_BUF - 1];
    copyBounded(name, slash != NULL ? slash + 1 : path, sizeof name);
    char target[PATH_BUF];
    if (!joinPath(target, PATH_BUF, targetDir, name)) return 0;
    FILE *copy = fopen(target, "wb"); // truncates a namesake already there
    if (copy != NULL) {
        fclose(copy);
        rememberSwitchCopy(name);
    }
    return 0;
}

void createLogsInTempDir(const char *startDir, const char *tempDir) {
    forgetSwitchCopies(); // those of an earlier directory
    char pattern[PATH_BUF];
    if (startDir[0] == '\0' || !joinPath(pattern, PATH_BUF, startDir, "*.log")) return;
    struct _finddata_t entry;
    intptr_t listing = _findfirst(pattern, &entry);
    if (listing == -1) return;
    do {
        if (strcmp(entry.name, ".") == 0 || strcmp(entry.name, "..") == 0) continue;
        if (strstr(entry.name, ExtractLogName) != NULL) continue; // the stub's own log
        char path[PATH_BUF];
        if (joinPath(path, PATH_BUF, startDir, entry.name)) createEmptyLog(path, tempDir);
    } while (_findnext(listing, &entry) == 0);
    _findclose(listing);
}

// The first line of dir's "startdir.txt" (at most 259 characters); 0 if it cannot be read.
static int readStartDir(const char *dir, char *line, int size) {
    char path[PATH_BUF];
    if (!joinPath(path, PATH_BUF, dir, StartDirFileName)) return 0;
    FILE *file = fopen(path, "rt");
    if (file == NULL) return 0;
    if (fgets(line, size, file) == NULL) line[0] = '\0';
    fclose(file);
    line[strcspn(line, "\r\n")] = '\0';
    return 1;
}

void workerFailureSteps(void) {
    logErrorMessage("Unable to unzip files. Out of disk space?");
    failedRunSteps();
}

void failedRunSteps(void) {
    char *text = (char *)malloc(MESSAGE_BUF);
    if (text != NULL) {
        getUnableToExtractMessage(text);
        showError(hDlgMain, text);
        logErrorMessage(text);
        free(text);
    }
    // Only a directory the stub made (it holds "startdir.txt" naming another directory) is
    // cleaned; an unknown current directory is never touched. The semaphore file stays: its
    // deletion is the worker's last act, and the main thread ends the process once it is
    // gone, which would cut this clean-up short. The main thread then removes the emptied
    // directory, which Windows allows only once it is no process's current directory.
    char current[PATH_BUF], startDir[PATH_BUF - 1];
    getCurrentDir(current, PATH_BUF);
    if (current[0] == '\0' || !readStartDir(current, startDir, sizeof startDir) ||
        _stricmp(startDir, current) == 0)
        return;
    if (_chdir(startDir) != 0) _chdir("..");
    cleanUpTempDirExcept(current, SemaphoreFileName);
}
