// CRC-32 of ISO 3309 / ITU-T V.42, the ZIP checksum, in its reflected form (polynomial
// 0xEDB88320). The table is built on first use and released with the engine's buffers.
#include <stdlib.h>

#include "unzip/unzip.h"

static uint32_t *crc_table;

void make_crc_table(void) {
    for (uint32_t n = 0; n < 256; n++) {
        uint32_t c = n;
        for (int k = 0; k < 8; k++)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        crc_table[n] = c;
    }
}

const uint32_t *get_crc_table(void) {
    if (crc_table == NULL) {
        crc_table = (uint32_t *)malloc(256 * sizeof(uint32_t));
        if (crc_table == NULL) return NULL;
        make_crc_table();
    }
    return crc_table;
}

void free_crc_table(void) {
    free(crc_table);
    crc_table = NULL;
}

// Each step depends on the one before, so unrolling saves only the loop control; eight
// steps a round keep the branch out of the way.
#define CRC_STEP(c, b) ((c) = t[((c) ^ (b)) & 0xFF] ^ ((c) >> 8))

uint32_t crc32(uint32_t crc, const uint8_t *buf, unsigned len) {
    if (buf == NULL) return 0;
    const uint32_t *t = get_crc_table();
    if (t == NULL) return 0;
    uint32_t c = ~crc;
    for (; len >= 8; len -= 8, buf += 8) {
        CRC_STEP(c, buf[0]);
        CRC_STEP(c, buf[1]);
        CRC_STEP(c, buf[2]);
        CRC_STEP(c, buf[3]);
        CRC_STEP(c, buf[4]);
        CRC_STEP(c, buf[5]);
        CRC_STEP(c, buf[6]);
        CRC_STEP(c, buf[7]);
    }
    while (len-- > 0)
        CRC_STEP(c, *buf++);
    return ~c;
}
