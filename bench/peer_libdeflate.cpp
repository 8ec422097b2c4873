// libdeflate's whole-buffer decoder as the decoder benchmark's second peer.
#include <libdeflate.h>

#include "bench/peer.h"

const char *peer_name(void) {
    return "libdeflate";
}

size_t peer_decode(const uint8_t *in, size_t in_size, uint8_t *out, size_t size) {
    static libdeflate_decompressor *d = libdeflate_alloc_decompressor();
    size_t got = 0;
    if (libdeflate_deflate_decompress(d, in, in_size, out, size, &got) != LIBDEFLATE_SUCCESS)
        return 0;
    return got;
}
