// Decoder and CRC-32 throughput of the engine against zlib and libdeflate, side by side on
// the same input, in one run:
//
//   inflate_bench [--rounds N] [--mib M]
//
// Inputs: text (C headers of this machine, then its documentation), binaries (its shared
// libraries) and random bytes, about M MiB each (default 8), deflated by zlib (raw Deflate,
// default strategy) at levels 6 and 9. Decoders, interleaved (engine, zlib, libdeflate,
// engine, ...), N rounds each (default 7):
//   engine      inflate() in memory mode; every flushed half of its 64 KiB ring after the
//               first is dropped unseen, so that no copy of the output is timed
//   zlib        inflate() into a 32 KiB output buffer used over and over, as an extractor
//               writes it out
//   libdeflate  its whole-buffer decoder into a buffer of the output's size (its only mode;
//               host build only)
// Figures are MB/s (10^6 bytes per second) of output: median [min, max] of the rounds, and
// the engine's median as a ratio of each peer's. Every decoder's output is checked once
// against the input before timing. CRC-32: the engine's crc32 against zlib's over the same
// inputs, 8 KiB and 32 KiB at a time (what extraction hands it) and whole.
//
// It prints ratios, not verdicts; on these noisy machines only ratios from one run mean
// anything (see the README's benchmark section).
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "bench/peer.h"
#include "unzip/unzip.h"

namespace {

using Bytes = std::vector<uint8_t>;

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// ---- inputs

void appendFile(Bytes &out, const std::string &path, size_t limit) {
    FILE *f = fopen(path.c_str(), "rb");
    if (f == NULL) return;
    uint8_t buf[65536];
    size_t n;
    while (out.size() < limit && (n = fread(buf, 1, sizeof buf, f)) > 0)
        out.insert(out.end(), buf, buf + std::min(n, limit - out.size()));
    fclose(f);
}

// Regular files below dir whose names pass keep, in name order, until limit bytes.
void gather(Bytes &out, const std::string &dir, bool (*keep)(const std::string &), size_t limit,
            int depth = 0) {
    DIR *d = opendir(dir.c_str());
    if (d == NULL || depth > 4) {
        if (d) closedir(d);
        return;
    }
    std::vector<std::string> names;
    while (struct dirent *e = readdir(d))
        if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string &name : names) {
        if (out.size() >= limit) return;
        std::string path = dir + "/" + name;
        struct stat st;
        if (stat(path.c_str(), &st) != 0) continue; // links followed: inputs are read only
        if (S_ISDIR(st.st_mode))
            gather(out, path, keep, limit, depth + 1);
        else if (S_ISREG(st.st_mode) && keep(name))
            appendFile(out, path, limit);
    }
}

bool isHeader(const std::string &n) {
    return n.size() > 2 && n.compare(n.size() - 2, 2, ".h") == 0;
}
bool isDoc(const std::string &n) {
    return n.find(".gz") == std::string::npos && n.find(".png") == std::string::npos;
}
bool isLibrary(const std::string &n) {
    return n.find(".so") != std::string::npos;
}

// The folders are those of the Linux machine; a Windows build under Wine reaches them
// through drive Z:, the Unix root.
Bytes textInput(size_t size) {
    Bytes b;
    gather(b, "Z:/usr/include", isHeader, size);
    if (b.empty()) gather(b, "/usr/include", isHeader, size);
    gather(b, b.empty() ? "/usr/share/doc" : "Z:/usr/share/doc", isDoc, size);
    if (b.size() < size) gather(b, "/usr/share/doc", isDoc, size);
    return b;
}

Bytes binaryInput(size_t size) {
    Bytes b;
    gather(b, "Z:/usr/lib/x86_64-linux-gnu", isLibrary, size);
    if (b.empty()) gather(b, "/usr/lib/x86_64-linux-gnu", isLibrary, size);
    return b;
}

Bytes randomInput(size_t size) {
    Bytes b(size);
    uint32_t x = 0x9E3779B9;
    for (auto &c : b) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = (uint8_t)x;
    }
    return b;
}

Bytes deflateRaw(const Bytes &in, int level) {
    z_stream z;
    memset(&z, 0, sizeof z);
    deflateInit2(&z, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, (uLong)in.size()));
    z.next_in = (Bytef *)in.data();
    z.avail_in = (uInt)in.size();
    z.next_out = out.data();
    z.avail_out = (uInt)out.size();
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// ---- decoders: each returns the number of output bytes, or 0 after an error

uint8_t scratch[RING_SIZE];

size_t engineDecode(const Bytes &in, uint8_t *target, size_t targetSize) {
    G.read_ptr = (uint8_t *)in.data();
    G.read_left = (int)in.size();
    G.csize_left = (zoff_t)in.size();
    G.leftover_left = 0;
    G.to_memory = 1;
    G.mem_ptr = target;
    G.mem_left = (uint32_t)targetSize;
    G.out_count = 0;
    int r = inflate();
    G.to_memory = 0;
    return r == 0 ? G.out_count : 0;
}

// Drops the output: the first flushed half fills the scratch room, every later one is
// refused as too large for it, which the decoder does not look at.
size_t engineTimed(const Bytes &in, size_t) {
    engineDecode(in, scratch, WINDOW_SIZE);
    return 1;
}

size_t zlibDecode(const Bytes &in, Bytes *all) {
    z_stream z;
    memset(&z, 0, sizeof z);
    inflateInit2(&z, -15);
    z.next_in = (Bytef *)in.data();
    z.avail_in = (uInt)in.size();
    uint8_t out[WINDOW_SIZE];
    int r;
    do {
        z.next_out = out;
        z.avail_out = sizeof out;
        r = inflate(&z, Z_NO_FLUSH);
        if (all != NULL) all->insert(all->end(), out, out + (sizeof out - z.avail_out));
    } while (r == Z_OK);
    size_t total = z.total_out;
    inflateEnd(&z);
    return r == Z_STREAM_END ? total : 0;
}

size_t zlibTimed(const Bytes &in, size_t) {
    return zlibDecode(in, NULL);
}

Bytes peerOut;

size_t peerTimed(const Bytes &in, size_t size) {
    return peer_decode(in.data(), in.size(), peerOut.data(), size);
}

// ---- figures

struct Figures {
    std::vector<double> mbps;
    double median() {
        std::sort(mbps.begin(), mbps.end());
        return mbps[mbps.size() / 2];
    }
};

void printRow(const char *label, const char *peer, Figures &engine, Figures &other) {
    double e = engine.median(), o = other.median();
    printf("  %-12s %-11s %8.0f [%5.0f, %5.0f]   engine/%s %.2f\n", label, peer, o,
           other.mbps.front(), other.mbps.back(), peer, e / o);
}

bool verify(const char *what, const Bytes &input, const Bytes &packed) {
    Bytes mine(input.size() + 1);
    size_t n = engineDecode(packed, mine.data(), mine.size());
    Bytes z;
    size_t zn = zlibDecode(packed, &z);
    bool ok = n == input.size() && memcmp(mine.data(), input.data(), n) == 0 &&
              zn == input.size() && z == input;
    if (!ok)
        printf("  %s: decoders disagree with the input (engine %zu, zlib %zu bytes)\n", what, n,
               zn);
    return ok;
}

void benchInflate(const char *name, const Bytes &input, int level, int rounds) {
    Bytes packed = deflateRaw(input, level);
    char label[64];
    snprintf(label, sizeof label, "%s -%d", name, level);
    if (!verify(label, input, packed)) return;
    peerOut.resize(input.size());
    size_t (*decoders[3])(const Bytes &, size_t) = {engineTimed, zlibTimed, peerTimed};
    int count = peer_name() != NULL ? 3 : 2;
    Figures f[3];
    for (int r = 0; r < rounds; r++) {
        for (int d = 0; d < count; d++) {
            double t0 = now();
            decoders[d](packed, input.size());
            double t = now() - t0;
            f[d].mbps.push_back((double)input.size() / t / 1e6);
        }
    }
    double e = f[0].median();
    printf("  %-12s %-11s %8.0f [%5.0f, %5.0f]   (%zu -> %zu bytes)\n", label, "engine", e,
           f[0].mbps.front(), f[0].mbps.back(), packed.size(), input.size());
    printRow("", "zlib", f[0], f[1]);
    if (count == 3) printRow("", peer_name(), f[0], f[2]);
}

// One CRC over the input in pieces of chunk bytes.
uint32_t crcInPieces(uint32_t (*fn)(uint32_t, const uint8_t *, unsigned), const Bytes &input,
                     size_t chunk) {
    uint32_t c = 0;
    for (size_t i = 0; i < input.size(); i += chunk)
        c = fn(c, input.data() + i, (unsigned)std::min(chunk, input.size() - i));
    return c;
}

uint32_t zlibCrc(uint32_t c, const uint8_t *p, unsigned n) {
    return (uint32_t)::crc32((uLong)c, (const Bytef *)p, (uInt)n);
}

void benchCrc(const char *name, const Bytes &input, int rounds) {
    uint32_t (*fns[3])(uint32_t, const uint8_t *, unsigned) = {::crc32, crc32_by_tables, zlibCrc};
    for (size_t chunk : {(size_t)8192, (size_t)WINDOW_SIZE, input.size()}) {
        Figures f[3];
        uint32_t got[3];
        for (int r = 0; r < rounds; r++) {
            for (int k = 0; k < 3; k++) {
                double t0 = now();
                got[k] = crcInPieces(fns[k], input, chunk);
                f[k].mbps.push_back((double)input.size() / (now() - t0) / 1e6);
            }
        }
        char label[64];
        if (chunk == input.size())
            snprintf(label, sizeof label, "%s/whole", name);
        else
            snprintf(label, sizeof label, "%s/%zuK", name, chunk / 1024);
        double e = f[0].median(), t = f[1].median(), z = f[2].median();
        printf("  %-14s engine %6.0f [%5.0f, %5.0f]  tables %6.0f [%5.0f, %5.0f]  zlib %6.0f "
               "[%5.0f, %5.0f]  engine/zlib %.2f  tables/zlib %.2f%s\n",
               label, e, f[0].mbps.front(), f[0].mbps.back(), t, f[1].mbps.front(),
               f[1].mbps.back(), z, f[2].mbps.front(), f[2].mbps.back(), e / z, t / z,
               got[0] == got[2] && got[1] == got[2] ? "" : "  (CRCs DIFFER)");
    }
}

} // namespace

int main(int argc, char **argv) {
    int rounds = 7;
    size_t mib = 8;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!strcmp(argv[i], "--rounds")) rounds = atoi(argv[i + 1]);
        if (!strcmp(argv[i], "--mib")) mib = (size_t)atoi(argv[i + 1]);
    }
    globalsCtor();
    size_t size = mib << 20;
    struct {
        const char *name;
        Bytes data;
    } inputs[] = {
        {"text", textInput(size)}, {"binaries", binaryInput(size)}, {"random", randomInput(size)}};

    printf("Decoder throughput, MB/s of output: median [min, max] of %d interleaved rounds\n",
           rounds);
    for (auto &in : inputs)
        for (int level : {6, 9})
            benchInflate(in.name, in.data, level, rounds);
    printf("\nCRC-32, MB/s: median [min, max] of %d interleaved rounds; engine by %s\n", rounds,
           cpu_has_clmul() ? "carry-less multiplication" : "tables");
    for (auto &in : inputs)
        benchCrc(in.name, in.data, rounds);
    inflate_free();
    return 0;
}
