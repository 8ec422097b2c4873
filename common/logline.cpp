// Time-stamped log lines (see logline.h).
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "common/logline.h"
#include "common/strbuf.h"

// Formatted here rather than by asctime, so that the line is the same on every runtime
// library and locale.
void formatLogStamp(char *stamp, size_t size) {
    static const char days[] = "SunMonTueWedThuFriSat";
    static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    time_t now = time(NULL);
    const struct tm *t = localtime(&now);
    if (t == NULL) {
        copyBounded(stamp, "??? ??? ?? ??:??:?? ????", size);
        return;
    }
    snprintf(stamp, size, "%.3s %.3s %02d %02d:%02d:%02d %d", days + 3 * (t->tm_wday % 7),
             months + 3 * (t->tm_mon % 12), t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec,
             t->tm_year + 1900);
}

void appendLogLine(const char *file, const char *message) {
    FILE *log = fopen(file, "a+t");
    if (log == NULL) return;
    char *stamp = (char *)malloc(LOG_STAMP_BUF);
    if (stamp != NULL) {
        formatLogStamp(stamp, LOG_STAMP_BUF);
        fprintf(log, "%s %s\n", stamp, message);
        free(stamp);
    }
    fclose(log);
}
