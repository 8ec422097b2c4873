// Numbered directories of earlier runs. One whose installer is still running is left alone
// whole: a real installer copies files for minutes, and reads "startdir.txt" and its own
// archives from there meanwhile. A free one is removed whole.
#include <io.h>

#include "stub/stub.h"

// The program the stub starts from its directory after a clean run.
static const char InstallerName[] = "installer.exe";

// Deletes dir's installer program; 1 when it is gone or was never there. Windows (and Wine)
// refuse to delete the file of a running program, so this asks the one question that
// matters without a window of doubt: a program cannot start from the file once it is gone.
// A read-only file gets its attribute back when the delete fails.
static int deleteInstaller(const char *dir) {
    char path[PATH_BUF];
    if (!joinPath(path, PATH_BUF, dir, InstallerName)) return 0;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    int readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    DWORD writable = attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY;
    if (readOnly) SetFileAttributesA(path, writable != 0 ? writable : FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileA(path)) return 1;
    if (readOnly) SetFileAttributesA(path, attributes);
    return 0;
}

// The semaphore file stands while a stub is still extracting into dir (its installer does
// not exist yet) or when one was ended mid-run: either way the directory is not ours.
static int stubWorksIn(const char *dir) {
    char path[PATH_BUF];
    return !joinPath(path, PATH_BUF, dir, SemaphoreFileName) || _access(path, 0) == 0;
}

void removeLeftover(const char *dir) {
    DWORD attributes = GetFileAttributesA(dir);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return; // nothing there, or a file of that name: not a leftover of ours
    // A link in the leftover's place goes as itself; nothing is looked at behind it.
    int isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!isLink && (stubWorksIn(dir) || !deleteInstaller(dir))) return;
    cleanUpTempDir(dir);
}
