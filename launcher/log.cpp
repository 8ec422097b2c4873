// The launcher's always-written log lines (see log.h).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/logline.h"
#include "common/strbuf.h"
#include "launcher/log.h"

void Log::logMessage(const char *file, const char *message) {
    appendLogLine(file, message);
}

void Log::logMessage(const char *file, const char *label, const char *value) {
    char *message = formatAlloc("%s %s", label, value);
    if (message == NULL) return; // lost, as a line that cannot be written is
    logMessage(file, message);
    free(message);
}

void Log::logMessage(const char *file, const char *label, int flag) {
    char *message = formatAlloc("%s: %s", label, flag ? "true" : "false");
    if (message == NULL) return;
    logMessage(file, message);
    free(message);
}
