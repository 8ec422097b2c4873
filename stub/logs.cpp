// The stub's logs: "errors.log" gets one stamped line per failure, "term.log" is a switch
// that echoes every logged message to standard error, and the "*.log" switch files of the
// start directory follow the stub into its temporary directory as empty namesakes.
#include <direct.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "stub/stub.h"

const char SemaphoreFileName[] = "__qelexpand.sem";
const char StartDirFileName[] = "startdir.txt";
const char ExtractLogName[] = "qelpand.log";
const char ErrorLogName[] = "errors.log";
static const char TermLogName[] = "term.log";

enum { STAMP_BUF = 1000 };

// The local time as asctime writes it on Windows, without its line end:
// "Tue Dec 08 03:23:47 2026" (24 characters, day in two digits). Formatted here so that
// the line is the same on every runtime library and locale.
static void formatStamp(char *stamp, size_t size) {
    static const char days[] = "SunMonTueWedThuFriSat";
    static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    time_t now = time(NULL);
    const struct tm *t = localtime(&now);
    if (t == NULL) {
        copyBounded(stamp, "", size);
        return;
    }
    snprintf(stamp, size, "%.3s %.3s %02d %02d:%02d:%02d %d", days + 3 * (t->tm_wday % 7),
             months + 3 * (t->tm_mon % 12), t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec,
             t->tm_year + 1900);
}

void logErrorMessage(const char *message) {
    if (_access(TermLogName, 0) == 0) {
        fputs(message, stderr);
        fflush(stderr);
    }
    FILE *log = fopen(ErrorLogName, "a+t");
    if (log == NULL) return;
    char *stamp = (char *)malloc(STAMP_BUF);
    if (stamp != NULL) {
        formatStamp(stamp, STAMP_BUF);
        fprintf(log, "%s %s\n", stamp, message);
        free(stamp);
    }
    fclose(log);
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
    if (copy != NULL) fclose(copy);
    return 0;
}

void createLogsInTempDir(const char *startDir, const char *tempDir) {
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

// One level deep: files and empty subdirectories go, a subdirectory with content stays
// (and so does dir). An entry whose full path exceeds 260 characters is skipped.
void cleanUpTempDir(const char *dir) {
    char pattern[PATH_BUF];
    if (dir[0] != '\0' && joinPath(pattern, PATH_BUF, dir, "*.*")) {
        struct _finddata_t entry;
        intptr_t listing = _findfirst(pattern, &entry);
        if (listing != -1) {
            do {
                if (_stricmp(entry.name, ".") == 0 || _stricmp(entry.name, "..") == 0) continue;
                char path[PATH_BUF];
                if (!joinPath(path, PATH_BUF, dir, entry.name)) continue;
                _unlink(path);
                _rmdir(path);
            } while (_findnext(listing, &entry) == 0);
            _findclose(listing);
        }
    }
    _rmdir(dir);
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
    char *text = (char *)malloc(MESSAGE_BUF);
    if (text != NULL) {
        getUnableToExtractMessage(text);
        showError(hDlgMain, text);
        logErrorMessage(text);
        free(text);
    }
    // Only a directory the stub made (it holds "startdir.txt" naming another directory) is
    // cleaned; an unknown current directory is never touched.
    char current[PATH_BUF], startDir[PATH_BUF - 1];
    getCurrentDir(current, PATH_BUF);
    if (current[0] != '\0' && readStartDir(current, startDir, sizeof startDir) &&
        _stricmp(startDir, current) != 0)
        cleanUpTempDir(current);
}
