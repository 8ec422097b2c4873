// Placeholder: replaced by the real implementation.
#include "unzip/unzip.h"

int extract_or_test_files(void) { return 0; }
int store_info(void) { return 0; }
int extract_or_test_member(void) { return 0; }
int memextract([[maybe_unused]] uint8_t *target, [[maybe_unused]] uint32_t target_size, [[maybe_unused]] const uint8_t *block, [[maybe_unused]] uint32_t block_size) { return 0; }
int memflush([[maybe_unused]] const uint8_t *data, [[maybe_unused]] uint32_t size) { return 0; }
char * fnfilter([[maybe_unused]] const char *raw, [[maybe_unused]] char *space) { return nullptr; }
