// Placeholder: replaced by the real implementation.
#include "unzip/unzip.h"

void oem_to_ansi([[maybe_unused]] char *s) {}
void ansi_to_oem([[maybe_unused]] char *s) {}
void utf8_to_ansi([[maybe_unused]] char *s, [[maybe_unused]] unsigned size) {}
int is_dbcs_lead_byte([[maybe_unused]] uint8_t c) { return 0; }
