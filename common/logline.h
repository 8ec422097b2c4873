// Time-stamped log lines, as both programs write them to "errors.log" and their trace files:
// the local time in asctime form without its line end, a space, the message, a line end.
#ifndef COMMON_LOGLINE_H
#define COMMON_LOGLINE_H

#include <stddef.h>

#include "common/buffers.h"

enum { LOG_STAMP_BUF = TEXT_BUF }; // the stamp's buffer; the stamp itself has 24 characters

// The local time as asctime writes it on Windows: "Tue Dec 08 03:23:47 2026" (day of the
// month in two digits). When the local time cannot be had, a fixed placeholder of the same
// width, so that a line is never lost and never garbled.
void formatLogStamp(char *stamp, size_t size);
// Appends "<stamp> <message>\n" to file, opened "a+t" and closed again (CR LF on Windows).
// A file that cannot be opened loses the line silently.
void appendLogLine(const char *file, const char *message);

#endif
