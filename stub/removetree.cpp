// Removing a directory tree: the stub's own temporary directory after a failed run, and the
// free leftovers of earlier runs. Everything goes, at any depth, read-only files too; what
// Windows refuses to delete (a file in use) stays with the directories above it, and
// nothing else is held up by it.
#include <string.h>

#include "stub/stub.h"

static void removeEntry(char *path, size_t len, DWORD attributes, const char *keep);

// path (of length len, in a PATH_BUF buffer) + "\" + name in place; 0 when it does not fit.
static int extendPath(char *path, size_t len, const char *name) {
    if (len + 1 + strlen(name) >= PATH_BUF) return 0;
    path[len] = '\\';
    copyBounded(path + len + 1, name, PATH_BUF - len - 1);
    return 1;
}

static int isDotEntry(const char *name) {
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

// Every entry of the directory path, except one named keep (compared without regard to
// case, as Windows names are). An entry whose path would exceed 260 characters is skipped,
// never cut. The recursion through removeEntry is bounded by the same limit: each level adds
// at least two characters ("\" and a name), so it is at most 130 levels deep whatever an
// archive or a leftover holds, and each level keeps only its find record on the stack.
static void removeContents(char *path, size_t len, const char *keep) {
    if (!extendPath(path, len, "*")) return;
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA(path, &entry);
    path[len] = '\0';
    if (listing == INVALID_HANDLE_VALUE) return;
    do {
        if (isDotEntry(entry.cFileName)) continue;
        if (keep != NULL && _stricmp(entry.cFileName, keep) == 0) continue;
        if (!extendPath(path, len, entry.cFileName)) continue;
        removeEntry(path, strlen(path), entry.dwFileAttributes, NULL);
        path[len] = '\0';
    } while (FindNextFileA(listing, &entry));
    FindClose(listing);
}

// A reparse point (junction, symbolic link, mount point) leads out of the tree: it goes as an
// entry and is never followed, so that a link planted inside cannot make the stub delete
// files elsewhere. Windows deletes nothing read-only, and members may be extracted so: the
// attribute is cleared first.
static void removeEntry(char *path, size_t len, DWORD attributes, const char *keep) {
    int isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        if (isDirectory)
            RemoveDirectoryA(path);
        else
            DeleteFileA(path);
        return;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    if (!isDirectory) {
        DeleteFileA(path);
        return;
    }
    removeContents(path, len, keep);
    RemoveDirectoryA(path);
}

// dir and everything in it, except a top-level file named keep (then dir stays too). Only a
// directory is removed: a file of that name is left alone.
void cleanUpTempDirExcept(const char *dir, const char *keep) {
    char path[PATH_BUF];
    if (dir[0] == '\0' || strlen(dir) >= PATH_BUF) return;
    copyBounded(path, dir, PATH_BUF);
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    removeEntry(path, strlen(path), attributes, keep);
}

void cleanUpTempDir(const char *dir) {
    cleanUpTempDirExcept(dir, NULL);
}
