// Memory-to-memory extraction of the compressed blocks that carry NT security data: the
// block's data are decoded into the caller's buffer instead of a file, with the archive's
// input put aside meanwhile.
#include <string.h>

#include "unzip/win32/win32.h"

static const char UnsupportedExtraField[] =
    "\nerror:  unsupported extra-field compression type (%u)--skipping\n";
static const char BadExtraFieldCRC[] = "error [%s]:  bad extra-field CRC %08lx (should be %08lx)\n";
static const char ExtraFieldOverflow[] =
    "error [%s]:  extra-field block larger than its declared size (%lu > %lu)\n";

// Output that does not fit is refused, and so is all that follows it, but it is counted:
// out_count is the size the data expand to (held at 4 GiB - 1 rather than wrapping), which
// memextract compares with the target's.
int memflush(const uint8_t *data, uint32_t size) {
    G.out_count = size > UINT32_MAX - G.out_count ? UINT32_MAX : G.out_count + size;
    if (size > G.mem_left) {
        G.mem_left = 0;
        return ZR_DISKFULL;
    }
    memcpy(G.mem_ptr, data, size);
    G.mem_ptr += size;
    G.mem_left -= size;
    return 0;
}

// The target was sized from the block's declared size: data that expand beyond it are
// reported as such, never written past it.
static int overflow(uint32_t size, uint32_t target_size) {
    zmsg(MSG_ERROR, ExtraFieldOverflow, G.archive_path, (unsigned long)size,
         (unsigned long)target_size);
    return ZR_ERR;
}

static int mem_decode(uint8_t *target, uint32_t target_size, const uint8_t *data,
                      uint32_t data_size, unsigned method) {
    if (method == METHOD_STORED) {
        if (data_size > target_size) return overflow(data_size, target_size);
        memcpy(target, data, data_size);
        G.out_count = data_size;
        return 0;
    }
    if (method == METHOD_DEFLATED) {
        G.out_count = 0;
        int r = inflate();
        if (r == INFLATE_OK)
            return G.out_count > target_size ? overflow(G.out_count, target_size) : 0;
        if (!G.test_only)
            zmsg(MSG_ERROR, ErrUnzipNoFile,
                 r == INFLATE_NO_MEMORY ? NotEnoughMem : InvalidComprData, Inflate);
        return r == INFLATE_NO_MEMORY ? ZR_MEM_INFLATE : ZR_ERR;
    }
    if (G.test_only) return mem_test_detail(method);
    zmsg(MSG_ERROR, UnsupportedExtraField, method);
    return ZR_ERR;
}

// The archive input of the member at hand, put aside while memextract reads from memory:
// the buffered block, the member's limit and the input held back past it.
struct ArchiveInput {
    uint8_t *read_ptr, *leftover_ptr;
    int read_left, leftover_left;
    zoff_t csize_left, block_start;
};

static ArchiveInput save_input(void) {
    ArchiveInput in = {G.read_ptr,      G.leftover_ptr, G.read_left,
                       G.leftover_left, G.csize_left,   G.block_start};
    return in;
}

static void restore_input(const ArchiveInput *in) {
    G.read_ptr = in->read_ptr;
    G.leftover_ptr = in->leftover_ptr;
    G.read_left = in->read_left;
    G.leftover_left = in->leftover_left;
    G.csize_left = in->csize_left;
    G.block_start = in->block_start;
}

int memextract(uint8_t *target, uint32_t target_size, const uint8_t *block, uint32_t block_size) {
    if (block_size < MEM_BLOCK_FIXED) return ZR_ERR; // no room even for method and CRC
    ArchiveInput saved = save_input();
    Cursor b = cursor_over(block, block_size);
    unsigned method = take16(&b);
    uint32_t crc = take32(&b);
    uint32_t data_size = b.left;

    G.read_ptr = (uint8_t *)b.p;
    G.csize_left = data_size;
    G.read_left = (int)data_size;
    G.leftover_left = 0;
    G.to_memory = 1;
    G.mem_ptr = target;
    G.mem_left = target_size;
    int error = mem_decode(target, target_size, b.p, data_size, method);
    restore_input(&saved);
    G.to_memory = 0;

    if (error == 0) {
        uint32_t got = crc32(0, target, G.out_count);
        if (got != crc) {
            if (G.test_only) return mem_test_detail(METHOD_DEFLATED);
            zmsg(MSG_ERROR, BadExtraFieldCRC, G.archive_path, (unsigned long)got,
                 (unsigned long)crc);
            return ZR_ERR;
        }
    }
    return error;
}
