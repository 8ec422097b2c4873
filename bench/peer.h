// A second peer of the decoder benchmark, where the build has one (libdeflate on the host).
#ifndef BENCH_PEER_H
#define BENCH_PEER_H

#include <stddef.h>
#include <stdint.h>

// The peer's name, or NULL when this build has none.
const char *peer_name(void);
// Decodes a raw Deflate stream into out (room for size bytes); the output size, 0 on error.
size_t peer_decode(const uint8_t *in, size_t in_size, uint8_t *out, size_t size);

#endif
