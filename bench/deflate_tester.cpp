// A whole-process peer of `ombrelin -qt` for bench/archive_bench.py: tests every member of
// an archive with libdeflate, the whole archive read into memory, each deflated member
// decoded whole into a buffer of its size, its CRC-32 taken by libdeflate and checked.
//
//   deflate_tester ARCHIVE
//
// Exit status 0 when every member is stored or deflated and checks out, 1 otherwise. For
// benchmarking only: no ZIP64, no encryption, no data in front of the archive.
#include <libdeflate.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

unsigned get16(const unsigned char *p) {
    return p[0] | p[1] << 8;
}
unsigned long get32(const unsigned char *p) {
    return get16(p) | (unsigned long)get16(p + 2) << 16;
}

enum {
    END_RECORD = 22,    // the end record's fixed part
    CENTRAL_ENTRY = 46, // a directory entry's fixed part
    LOCAL_HEADER = 30,  // a local header's fixed part
    MAX_COMMENT = 65535,
};

// The whole file in one read.
bool readAll(const char *path, Bytes &out) {
    FILE *f = fopen(path, "rb");
    if (f == NULL) return false;
    bool ok = fseek(f, 0, SEEK_END) == 0;
    long size = ok ? ftell(f) : -1;
    ok = size >= 0 && fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        out.resize((size_t)size);
        ok = fread(out.data(), 1, out.size(), f) == out.size();
    }
    fclose(f);
    return ok;
}

// The end record's offset, or 0 when there is none.
size_t findEnd(const Bytes &a) {
    if (a.size() < END_RECORD) return 0;
    size_t stop = a.size() > END_RECORD + MAX_COMMENT ? a.size() - END_RECORD - MAX_COMMENT : 0;
    for (size_t i = a.size() - END_RECORD + 1; i-- > stop;)
        if (get32(&a[i]) == 0x06054b50) return i;
    return 0;
}

// Tests the member whose directory entry starts at e; true when it checks out.
bool testMember(libdeflate_decompressor *d, const Bytes &a, const unsigned char *e, Bytes &out) {
    unsigned method = get16(e + 10);
    unsigned long crc = get32(e + 16), csize = get32(e + 20), usize = get32(e + 24);
    size_t local = get32(e + 42);
    if (local + LOCAL_HEADER > a.size()) return false;
    size_t data = local + LOCAL_HEADER + get16(&a[local + 26]) + get16(&a[local + 28]);
    if (data + csize > a.size()) return false;
    const unsigned char *in = &a[data];
    if (method == 0) return csize == usize && libdeflate_crc32(0, in, usize) == crc;
    if (method != 8) return false;
    if (out.size() < usize + 1) out.resize(usize + 1); // grows only: filled once
    size_t got = 0;
    if (libdeflate_deflate_decompress(d, in, csize, out.data(), usize, &got) != LIBDEFLATE_SUCCESS)
        return false;
    return got == usize && libdeflate_crc32(0, out.data(), usize) == crc;
}

} // namespace

int main(int argc, char **argv) {
    Bytes a;
    if (argc != 2 || !readAll(argv[1], a)) {
        fprintf(stderr, "usage: deflate_tester ARCHIVE\n");
        return 2;
    }
    size_t end = findEnd(a);
    if (end == 0) return 1;
    unsigned entries = get16(&a[end + 10]);
    size_t at = get32(&a[end + 16]);
    libdeflate_decompressor *d = libdeflate_alloc_decompressor();
    Bytes out;
    unsigned bad = 0;
    for (unsigned i = 0; i < entries; i++) {
        if (at + CENTRAL_ENTRY > a.size() || get32(&a[at]) != 0x02014b50) return 1;
        const unsigned char *e = &a[at];
        if (!testMember(d, a, e, out)) bad++;
        at += CENTRAL_ENTRY + get16(e + 28) + get16(e + 30) + get16(e + 32);
    }
    libdeflate_free_decompressor(d);
    printf("%u members, %u bad\n", entries, bad);
    return bad != 0;
}
