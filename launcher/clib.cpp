// The launcher's file, directory and version-text routines (see clib.h).
#include <direct.h>
#include <io.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <windows.h>

#include "common/strbuf.h"
#include "launcher/clib.h"

namespace clib {

static const char ChangeLog[] = "changes.txt";

const char *baseName(const char *path) {
    const char *slash = strrchr(path, '\\');
    return slash != NULL ? slash + 1 : path;
}

void getCurrentDir(char *out, size_t size) {
    if (size == 0) return;
    int limit = size < CURRENT_DIR_SIZE ? (int)size : (int)CURRENT_DIR_SIZE;
    if (_getcwd(out, limit) == NULL) out[0] = '\0';
    size_t len = strlen(out);
    if (len > 0 && out[len - 1] == '\\') out[len - 1] = '\0';
    if (out[0] == '\0') copyBounded(out, ".", size);
}

// Windows reads its environment without regard to case; the host does not.
const char *getPathPtr(void) {
    static const char *const names[] = {"path", "PATH", "Path"};
    for (const char *name : names) {
        const char *value = getenv(name);
        if (value != NULL) return value;
    }
    return NULL;
}

int isFile(const char *path) {
    return exists(path) && !isDir(path);
}

int copyBufferCount(int64_t size) {
    int64_t n = size / COPY_BUFFER_SIZE + 1;
    return n > COPY_BUFFERS_MAX ? COPY_BUFFERS_MAX : (int)n;
}

// The size of a seekable stream, which is left at its start; -1 when it cannot be had.
static int64_t streamSize(FILE *stream) {
    if (_fseeki64(stream, 0, SEEK_END) != 0) return -1;
    int64_t size = _ftelli64(stream);
    if (_fseeki64(stream, 0, SEEK_SET) != 0) return -1;
    return size;
}

// The transfer buffers of one copy: allocated in order, as many as memory allows.
struct CopyBuffers {
    char *data[COPY_BUFFERS_MAX];
    size_t filled[COPY_BUFFERS_MAX];
    int count;
};

static void allocateBuffers(CopyBuffers *buffers, int wanted) {
    buffers->count = 0;
    while (buffers->count < wanted) {
        char *data = (char *)malloc(COPY_BUFFER_SIZE);
        if (data == NULL) break;
        buffers->data[buffers->count] = data;
        buffers->filled[buffers->count++] = 0;
    }
}

static void freeBuffers(CopyBuffers *buffers) {
    for (int i = 0; i < buffers->count; ++i)
        free(buffers->data[i]);
}

// One round: fill the buffers in order while input lasts; returns how many were used.
static int readRound(FILE *in, CopyBuffers *buffers) {
    int used = 0;
    while (used < buffers->count && !feof(in) && !ferror(in)) {
        buffers->filled[used] = fread(buffers->data[used], 1, COPY_BUFFER_SIZE, in);
        ++used;
    }
    return used;
}

// Writes the buffers of one round in order; 0 as soon as a write comes up short.
static int writeRound(FILE *out, const CopyBuffers *buffers, int used, int64_t *written) {
    for (int i = 0; i < used && buffers->filled[i] > 0; ++i) {
        if (fwrite(buffers->data[i], 1, buffers->filled[i], out) != buffers->filled[i]) return 0;
        *written += (int64_t)buffers->filled[i];
    }
    return 1;
}

// Success counts the bytes this copy wrote, so that an append onto a file that was not
// empty succeeds as well; a read error ends the copy as a failure.
int copyStream(FILE *in, FILE *out) {
    if (in == NULL || out == NULL) return 0;
    int64_t size = streamSize(in);
    if (size < 0) return 0;
    CopyBuffers buffers;
    allocateBuffers(&buffers, copyBufferCount(size));
    if (buffers.count == 0) return 0;
    int64_t written = 0;
    int writeFailed = 0;
    while (!feof(in) && !ferror(in) && !writeFailed)
        writeFailed = !writeRound(out, &buffers, readRound(in, &buffers), &written);
    freeBuffers(&buffers);
    return !writeFailed && !ferror(in) && written == size;
}

// Two names of one file, as far as their full paths tell (Windows compares names without
// case). A name whose full path cannot be had counts as the same, so nothing is risked.
static int sameFile(const char *a, const char *b) {
    char *fullA = (char *)malloc(CURRENT_DIR_SIZE), *fullB = (char *)malloc(CURRENT_DIR_SIZE);
    int same = 1;
    if (fullA != NULL && fullB != NULL) {
        DWORD lenA = GetFullPathNameA(a, CURRENT_DIR_SIZE, fullA, NULL);
        DWORD lenB = GetFullPathNameA(b, CURRENT_DIR_SIZE, fullB, NULL);
        if (lenA > 0 && lenA < CURRENT_DIR_SIZE && lenB > 0 && lenB < CURRENT_DIR_SIZE)
            same = _stricmp(fullA, fullB) == 0;
    }
    free(fullA);
    free(fullB);
    return same;
}

// The destination is opened only once the source is open: a source that exists but cannot
// be read leaves the destination as it was.
static int copyOnto(const char *source, const char *destination, const char *mode,
                    int deleteOnFailure) {
    if (!exists(source) || isDir(source) || sameFile(source, destination)) return 0;
    FILE *in = fopen(source, "rb");
    if (in == NULL) return 0;
    FILE *out = fopen(destination, mode);
    int copied = copyStream(in, out);
    fclose(in);
    if (out == NULL) return 0;
    if (fclose(out) != 0) copied = 0;
    if (!copied && deleteOnFailure) _unlink(destination);
    return copied;
}

int copyFile(const char *source, const char *destination) {
    return copyOnto(source, destination, "wb", 1);
}

int appendFile(const char *source, const char *destination) {
    return copyOnto(source, destination, "ab", 0);
}

void logSystemChange(const char *message) {
    FILE *file = fopen(ChangeLog, "at");
    if (file == NULL) return;
    fprintf(file, "%s\n", message);
    fclose(file);
}

// A text that does not fit leaves both outputs empty rather than cut.
void parseVersion(const char *version, char *base, char *last, size_t size) {
    if (size == 0) return;
    base[0] = last[0] = '\0';
    if (strlen(version) >= size) return;
    copyBounded(base, version, size);
    copyBounded(last, "0", size);
    int dots = 0;
    for (const char *p = base; *p; ++p)
        dots += *p == '.';
    if (dots < 2) return;
    char *lastDot = strrchr(base, '.');
    copyBounded(last, lastDot + 1, size);
    *lastDot = '\0';
}

// Finds the last occurrence of "bin", which need not be a whole path component.
static char *lastBin(char *text) {
    char *found = NULL;
    for (char *p = strstr(text, "bin"); p != NULL; p = strstr(p + 1, "bin"))
        found = p;
    return found;
}

// A path that does not fit leaves the output empty rather than cut.
void getJavaHomeDirectory(const char *path, char *out, size_t size) {
    if (size == 0) return;
    out[0] = '\0';
    if (strlen(path) >= size) return;
    copyBounded(out, path, size);
    char *slash = strrchr(out, '\\');
    if (slash != NULL) *slash = '\0';
    char *bin = lastBin(out);
    if (bin == NULL) return;
    *bin = '\0';
    if (bin > out && bin[-1] == '\\') bin[-1] = '\0';
}

} // namespace clib
