// Trace lines and error lines (see trace.h).
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/strbuf.h"
#include "launcher/clib.h"
#include "launcher/trace.h"

const char ErrorLog[] = "errors.log";
const char TraceLog[] = "startapp.log";

static const char ValueTooLongMsg[] = "Value too long for %s in %s";

void Trace::traceMessage(const char *file, const char *message) {
    if (clib::exists(file)) logMessage(file, message);
}

void Trace::traceMessage(const char *file, const char *label, const char *value) {
    if (clib::exists(file)) logMessage(file, label, value);
}

void Trace::traceMessage(const char *file, const char *label, int flag) {
    if (clib::exists(file)) logMessage(file, label, flag);
}

void Trace::logAndTraceMessage(const char *errorFile, const char *traceFile, const char *message) {
    logMessage(errorFile, message);
    traceMessage(traceFile, message);
}

void Trace::logAndTraceMessage(const char *errorFile, const char *traceFile, const char *label,
                               const char *value) {
    logMessage(errorFile, label, value);
    traceMessage(traceFile, label, value);
}

void Trace::logAndTraceMessage(const char *errorFile, const char *traceFile, const char *label,
                               int flag) {
    logMessage(errorFile, label, flag);
    traceMessage(traceFile, label, flag);
}

void Trace::logValueTooLong(const char *key, const char *file) {
    char *message = formatAlloc(ValueTooLongMsg, key, file);
    if (message == NULL) return;
    logAndTraceMessage(ErrorLog, TraceLog, message);
    free(message);
}
