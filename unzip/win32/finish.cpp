// Placeholder: replaced by the real implementation.
#include "unzip/unzip.h"

void close_outfile(void) {}
unsigned getNTfiletime([[maybe_unused]] FILETIME *mod, [[maybe_unused]] FILETIME *acc, [[maybe_unused]] FILETIME *cre) { return 0; }
void utime2FileTime([[maybe_unused]] time_t t, [[maybe_unused]] FILETIME *ft) {}
time_t UTCtime2Localtime([[maybe_unused]] time_t t) { return 0; }
void NTtzbugWorkaround([[maybe_unused]] time_t t, [[maybe_unused]] FILETIME *ft) {}
int NTQueryTargetFS([[maybe_unused]] const char *path) { return 0; }
int IsWinNT(void) { return 0; }
