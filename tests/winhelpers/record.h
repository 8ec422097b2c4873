/* The record the recording stand-ins (recorder.exe, javaw.exe) write down: "label=value"
 * lines collected in memory, then written to a file in one piece. Each program includes it
 * once; a record that would not fit is cut at its end. */
#ifndef TESTS_WINHELPERS_RECORD_H
#define TESTS_WINHELPERS_RECORD_H

#include <stdio.h>

enum { RECORD_MAX = 16384 };

static char record[RECORD_MAX];
static size_t recordLen;

static void add(const char *label, const char *value) {
    int n = snprintf(record + recordLen, sizeof record - recordLen, "%s%s\n", label, value);
    if (n > 0)
        recordLen =
            (size_t)n < sizeof record - recordLen ? recordLen + (size_t)n : sizeof record - 1;
}

/* 1 when the whole record went to path, opened with mode. */
static int writeRecord(const char *path, const char *mode) {
    FILE *f = fopen(path, mode);
    int ok;
    if (!f) return 0;
    ok = fwrite(record, 1, recordLen, f) == recordLen;
    return fclose(f) == 0 && ok;
}

#endif
