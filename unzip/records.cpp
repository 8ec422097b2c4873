// Placeholder: replaced by the real implementation.
#include "unzip/unzip.h"

int get_cdir_ent(void) { return 0; }
int process_cdir_file_hdr(void) { return 0; }
int process_local_file_hdr(void) { return 0; }
int do_string([[maybe_unused]] unsigned length, [[maybe_unused]] int mode) { return 0; }
unsigned ef_scan_for_izux([[maybe_unused]] const uint8_t *ef, [[maybe_unused]] unsigned ef_len, [[maybe_unused]] int is_central, [[maybe_unused]] unsigned dos_date, [[maybe_unused]] stamp_times *out_times, [[maybe_unused]] uint16_t *out_ids) { return 0; }
uint16_t makeword([[maybe_unused]] const uint8_t *p) { return 0; }
uint32_t makelong([[maybe_unused]] const uint8_t *p) { return 0; }
