// Placeholder: replaced by the real implementation.
#include "unzip/unzip.h"

Globals G;
const char ReportMsg[] = "";
const char SeekMsg[] = "";

Globals * globalsCtor(void) { return nullptr; }
char * GetLoadPath(void) { return nullptr; }
int process_zipfiles(void) { return ZR_NOARCHIVE; }
int do_seekable([[maybe_unused]] int lastchance) { return 0; }
int find_ecrec([[maybe_unused]] zoff_t searchlen) { return 0; }
int uz_end_central(void) { return 0; }
void free_G_buffers(void) {}
int archive_seek([[maybe_unused]] zoff_t offset) { return 0; }
