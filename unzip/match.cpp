// Placeholder: replaced by the real implementation.
#include "unzip/unzip.h"

int match([[maybe_unused]] const char *name, [[maybe_unused]] const char *pattern, [[maybe_unused]] int ignore_case) { return 0; }
int recmatch([[maybe_unused]] const uint8_t *pattern, [[maybe_unused]] const uint8_t *name, [[maybe_unused]] int ignore_case) { return 0; }
