// The JAVA_VERSION line of a runtime's release file (see release.h).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/strbuf.h"
#include "launcher/release.h"

static const char VersionKey[] = "JAVA_VERSION=";

// The value of one whole line that starts with the key, quotes removed; 0 when it is none.
static int takeValue(char *line, char *out, size_t size) {
    if (strncmp(line, VersionKey, sizeof VersionKey - 1) != 0) return 0;
    char *value = line + sizeof VersionKey - 1;
    value[strcspn(value, "\r\n")] = '\0';
    size_t len = strlen(value);
    if (len >= 2 && value[0] == '"' && value[len - 1] == '"') {
        value[len - 1] = '\0';
        ++value;
        len -= 2;
    }
    if (len == 0 || len >= size) return 0;
    copyBounded(out, value, size);
    return 1;
}

int readReleaseVersion(const char *home, char *out, size_t size) {
    if (size == 0) return 0;
    out[0] = '\0';
    size_t pathSize = strlen(home) + sizeof "\\release";
    char *path = (char *)malloc(pathSize), *line = (char *)malloc(RELEASE_LINE_SIZE);
    FILE *file = NULL;
    int found = 0;
    if (path != NULL && line != NULL) {
        snprintf(path, pathSize, "%s\\release", home);
        file = fopen(path, "rb");
    }
    // A line longer than the buffer arrives in pieces: only a piece that begins a line counts.
    long read = 0;
    int lineStart = 1;
    while (file != NULL && !found && read < RELEASE_READ_LIMIT &&
           fgets(line, RELEASE_LINE_SIZE, file) != NULL) {
        size_t len = strlen(line);
        read += (long)len + 1;
        int whole = len > 0 && line[len - 1] == '\n';
        found = lineStart && (whole || feof(file)) && takeValue(line, out, size);
        lineStart = whole;
    }
    if (file != NULL) fclose(file);
    free(path);
    free(line);
    return found;
}
