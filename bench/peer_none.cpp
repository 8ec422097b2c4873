// Builds without a second peer (the Windows presets: no libdeflate for MinGW here).
#include "bench/peer.h"

const char *peer_name(void) {
    return NULL;
}

size_t peer_decode(const uint8_t *, size_t, uint8_t *, size_t) {
    return 0;
}
