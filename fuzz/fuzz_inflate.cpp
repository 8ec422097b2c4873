// Fuzz target for the Deflate decoder alone, differential against zlib: the input is a raw
// Deflate stream, decoded in memory mode as memextract runs it (the stream in a buffer of
// its exact size, the output into a target of a fixed size), and by zlib with the same
// output limit. Where both decode the whole stream, the outputs must be the same byte for
// byte; a difference aborts. Where only one of them takes the stream nothing is checked:
// the decoder takes some streams zlib refuses and refuses one shape zlib takes (see the
// decoder's tests for each of them).
//
// The sanitizers catch reads outside the input, the tables or the window, and writes
// outside the target; a stream that makes the decoder loop without end is a time-out.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include "unzip/unzip.h"

namespace {

enum { TARGET_SIZE = 1 << 20 };

int quietSink(void *, uint8_t *, uint32_t, int) {
    return 0;
}

// zlib's output for the stream, at most TARGET_SIZE bytes; 1 when it decoded the whole
// stream within that.
int zlibDecode(const uint8_t *data, size_t size, uint8_t *out, size_t *got) {
    z_stream z;
    memset(&z, 0, sizeof z);
    if (inflateInit2(&z, -15) != Z_OK) return 0;
    z.next_in = (Bytef *)data;
    z.avail_in = (uInt)size;
    z.next_out = out;
    z.avail_out = TARGET_SIZE;
    int r = inflate(&z, Z_FINISH);
    *got = z.total_out;
    inflateEnd(&z);
    return r == Z_STREAM_END;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static uint8_t *mine = (uint8_t *)malloc(TARGET_SIZE);
    static uint8_t *theirs = (uint8_t *)malloc(TARGET_SIZE);
    uint8_t *stream = (uint8_t *)malloc(size ? size : 1); // exact size: overreads are seen
    memcpy(stream, data, size);

    globalsCtor();
    G.message_fn = quietSink;
    G.quiet_level = size > 0 && (data[0] & 1) ? 0 : 4; // the chatty texts too
    G.read_ptr = stream;
    G.read_left = (int)size;
    G.csize_left = (zoff_t)size;
    G.to_memory = 1;
    G.mem_ptr = mine;
    G.mem_left = TARGET_SIZE;
    G.out_count = 0;
    int r = inflate();
    G.to_memory = 0;
    uint32_t out = G.out_count;
    inflate_free();

    size_t got = 0;
    int zok = zlibDecode(stream, size, theirs, &got);
    // Output beyond the target is dropped by memflush; compare only what both have whole.
    if (r == 0 && zok && got < TARGET_SIZE && out < TARGET_SIZE) {
        if (out != got || memcmp(mine, theirs, got) != 0) {
            fprintf(stderr, "fuzz_inflate: output differs from zlib's (%u and %zu bytes)\n", out,
                    got);
            abort();
        }
    }
    free(stream);
    return 0;
}
