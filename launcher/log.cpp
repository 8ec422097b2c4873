// The launcher's always-written log lines (see log.h).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/logline.h"
#include "launcher/log.h"

enum { FLAG_TEXT_ROOM = 25 }; // ": true" or ": false" and the terminator, with room to spare

void Log::logMessage(const char *file, const char *message) {
    appendLogLine(file, message);
}

void Log::logMessage(const char *file, const char *label, const char *value) {
    size_t size = strlen(label) + 1 + strlen(value) + 1;
    char *message = (char *)malloc(size);
    if (message == NULL) return; // lost, as a line that cannot be written is
    snprintf(message, size, "%s %s", label, value);
    logMessage(file, message);
    free(message);
}

void Log::logMessage(const char *file, const char *label, int flag) {
    size_t size = strlen(label) + 1 + FLAG_TEXT_ROOM;
    char *message = (char *)malloc(size);
    if (message == NULL) return;
    snprintf(message, size, "%s: %s", label, flag ? "true" : "false");
    logMessage(file, message);
    free(message);
}
