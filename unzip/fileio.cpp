// Placeholder: replaced by the real implementation.
#include "unzip/unzip.h"

int open_input_file(void) { return 0; }
unsigned readbuf([[maybe_unused]] char *buf, [[maybe_unused]] unsigned size) { return 0; }
int readbyte(void) { return 0; }
void defer_leftover_input(void) {}
void undefer_input(void) {}
int open_outfile(void) { return 0; }
int flush([[maybe_unused]] uint8_t *data, [[maybe_unused]] uint32_t size, [[maybe_unused]] int second_buffer) { return 0; }
int disk_error(void) { return 0; }
int UzpMessagePrnt([[maybe_unused]] void *g, [[maybe_unused]] uint8_t *text, [[maybe_unused]] uint32_t size, [[maybe_unused]] int flags) { return 0; }
int UzpInput([[maybe_unused]] void *g, [[maybe_unused]] uint8_t *buf, [[maybe_unused]] int *size, [[maybe_unused]] int flags) { return 0; }
int UzpMorePause([[maybe_unused]] void *g, [[maybe_unused]] const char *prompt, [[maybe_unused]] int flags) { return 0; }
int UzpPassword([[maybe_unused]] void *g, [[maybe_unused]] int *rcnt, [[maybe_unused]] char *pwbuf, [[maybe_unused]] int size, [[maybe_unused]] const char *zfn, [[maybe_unused]] const char *efn) { return 0; }
void handler([[maybe_unused]] int signal) {}
int32_t dos_to_unix_time([[maybe_unused]] unsigned ddate, [[maybe_unused]] unsigned dtime) { return 0; }
int check_for_newer([[maybe_unused]] const char *path) { return 0; }
int zmsg(int, const char *, ...) { return 0; }
int read_reply([[maybe_unused]] char *buf, [[maybe_unused]] int size) { return 0; }
