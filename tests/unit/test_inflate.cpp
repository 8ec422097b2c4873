// The Deflate decoder against zlib: streams of real files at every level and strategy,
// through whole engine runs; hand-made streams for the format's corners, each with zlib's
// verdict beside the decoder's; and the table builder's results.
#include <dirent.h>
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <ostream>

#include "engine_fixture.h"

namespace {

// ---------------------------------------------------------------------------------------
// Streams

// zlib's verdict on a raw stream: Z_STREAM_END and the output, or its error.
int zlibInflate(const std::string &in, std::string *out) {
    z_stream z = {};
    inflateInit2(&z, -15);
    z.next_in = (Bytef *)in.data();
    z.avail_in = (uInt)in.size();
    char buf[4096];
    int r;
    do {
        z.next_out = (Bytef *)buf;
        z.avail_out = sizeof buf;
        r = inflate(&z, Z_NO_FLUSH);
        out->append(buf, sizeof buf - z.avail_out);
    } while (r == Z_OK && (z.avail_in > 0 || z.avail_out == 0));
    inflateEnd(&z);
    return r;
}

// Deflate bits: fields least significant bit first, Huffman codes most significant first.
struct BitWriter {
    std::string bytes;
    unsigned acc = 0, count = 0;
    void bit(unsigned b) {
        acc |= (b & 1) << count;
        if (++count == 8) flushByte();
    }
    void flushByte() {
        bytes += (char)acc;
        acc = count = 0;
    }
    void bits(unsigned value, int n) {
        for (int i = 0; i < n; i++)
            bit(value >> i);
    }
    void code(unsigned code, int len) {
        for (int i = len - 1; i >= 0; i--)
            bit(code >> i);
    }
    void align() {
        if (count) flushByte();
    }
    std::string done() {
        align();
        return bytes;
    }
};

// Canonical codes for the lengths (RFC 1951 3.2.2).
std::vector<unsigned> canonicalCodes(const std::vector<int> &lens) {
    unsigned count[16] = {}, next[16] = {};
    for (int l : lens)
        count[l]++;
    count[0] = 0;
    for (unsigned code = 0, len = 1; len < 16; len++)
        next[len] = code = (code + count[len - 1]) << 1;
    std::vector<unsigned> codes(lens.size());
    for (size_t s = 0; s < lens.size(); s++)
        if (lens[s]) codes[s] = next[lens[s]]++;
    return codes;
}

// Code-length symbols in the order their lengths are stored (RFC 1951 3.2.7).
const int CodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// A dynamic block: header, code lengths (each sent with a code-length code of its own, given
// as lengths of the 19 code-length symbols, with the repeat codes written as is), then the
// symbols: literal/length symbols, and distance codes as D + code.
struct DynamicBlock {
    std::vector<int> codeLengthCode;     // 19 lengths
    std::vector<unsigned> lengthSymbols; // code-length symbols; 16..18 followed by their bits
    int hlit = 0, hdist = 0;
    std::vector<int> lit, dist; // the resulting lengths, for emitting symbols
};

void writeDynamic(BitWriter &w, bool final, const DynamicBlock &b,
                  const std::vector<unsigned> &symbols) {
    w.bits(final, 1);
    w.bits(2, 2);
    w.bits((unsigned)b.hlit, 5);
    w.bits((unsigned)b.hdist, 5);
    w.bits(19 - 4, 4);
    for (int sym : CodeLengthOrder)
        w.bits((unsigned)b.codeLengthCode[sym], 3);
    std::vector<unsigned> clc = canonicalCodes(b.codeLengthCode);
    for (size_t i = 0; i < b.lengthSymbols.size(); i++) {
        unsigned s = b.lengthSymbols[i];
        w.code(clc[s], b.codeLengthCode[s]);
        if (s >= 16) w.bits(b.lengthSymbols[++i], s == 16 ? 2 : s == 17 ? 3 : 7);
    }
    std::vector<unsigned> lc = canonicalCodes(b.lit), dc = canonicalCodes(b.dist);
    for (size_t i = 0; i < symbols.size(); i++) {
        unsigned s = symbols[i];
        if (s >= 0x1000) { // a distance code
            w.code(dc[s - 0x1000], b.dist[s - 0x1000]);
        } else {
            w.code(lc[s], b.lit[s]);
        }
    }
}

// Lengths for hlit + 257 literal/length and hdist + 1 distance codes: every symbol
// unnamed gets 0. Code lengths go out plainly, with a code that gives 0..15 four bits.
DynamicBlock dynamic(int hlit, int hdist, std::vector<std::pair<int, int>> litLens,
                     std::vector<std::pair<int, int>> distLens) {
    DynamicBlock b;
    b.hlit = hlit;
    b.hdist = hdist;
    b.lit.assign((size_t)hlit + 257, 0);
    b.dist.assign((size_t)hdist + 1, 0);
    for (auto &p : litLens)
        b.lit.at((size_t)p.first) = p.second;
    for (auto &p : distLens)
        b.dist.at((size_t)p.first) = p.second;
    b.codeLengthCode.assign(19, 0);
    for (int i = 0; i < 16; i++)
        b.codeLengthCode[(size_t)i] = 4;
    for (int l : b.lit)
        b.lengthSymbols.push_back((unsigned)l);
    for (int l : b.dist)
        b.lengthSymbols.push_back((unsigned)l);
    return b;
}

std::string dynamicStream(const DynamicBlock &b, const std::vector<unsigned> &symbols) {
    BitWriter w;
    writeDynamic(w, true, b, symbols);
    return w.done();
}

const unsigned D = 0x1000; // distance symbols in a symbol list

// Fixed-Huffman symbols (RFC 1951 3.2.6).
void fixedSymbol(BitWriter &w, unsigned sym) {
    if (sym < 144)
        w.code(0x30 + sym, 8);
    else if (sym < 256)
        w.code(0x190 + sym - 144, 9);
    else if (sym < 280)
        w.code(sym - 256, 7);
    else
        w.code(0xC0 + sym - 280, 8);
}

std::string fixedStream(const std::function<void(BitWriter &)> &body) {
    BitWriter w;
    w.bits(1, 1);
    w.bits(1, 2);
    body(w);
    fixedSymbol(w, 256);
    return w.done();
}

std::string storedBlock(const std::string &data, bool final, int nlenXor = 0) {
    BitWriter w;
    w.bits(final, 1);
    w.bits(0, 2);
    w.align();
    w.bits((unsigned)data.size(), 16);
    w.bits(~(unsigned)data.size() ^ (unsigned)nlenXor, 16);
    return w.done() + data;
}

std::string hexBytes(const char *hex) {
    std::string out;
    for (; hex[0] && hex[1]; hex += 2)
        out += (char)std::stoi(std::string(hex, 2), nullptr, 16);
    return out;
}

std::string randomBytes(size_t n, uint32_t seed) {
    std::string s(n, '\0');
    for (char &c : s) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        c = (char)seed;
    }
    return s;
}

// ---------------------------------------------------------------------------------------
// The decoder in memory mode, as memextract runs it

struct Decoded {
    int result;
    std::string out;
};

class Inflate : public EngineTest {
  protected:
    Decoded decode(const std::string &stream) {
        std::string target(1 << 20, '\0');
        G.read_ptr = (uint8_t *)stream.data();
        G.read_left = (int)stream.size();
        G.csize_left = (zoff_t)stream.size();
        G.to_memory = 1;
        G.mem_ptr = (uint8_t *)&target[0];
        G.mem_left = (uint32_t)target.size();
        G.out_count = 0;
        int r = inflate();
        G.to_memory = 0;
        return {r, target.substr(0, G.out_count)};
    }
};

// One hand-made stream: the decoder's result and output, and whether zlib's verdict is the
// same. Where it is not, the difference is deliberate: the decoder takes counts, repeats,
// distances and incomplete distance codes that zlib refuses, and refuses a block that gives
// lengths a code but distances none.
struct StreamCase {
    const char *label;
    std::function<std::string()> stream;
    int result;
    std::string output;
    bool zlibAgrees;
};
void PrintTo(const StreamCase &c, std::ostream *os) {
    *os << c.label;
}

class InflateStreams : public Inflate, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(InflateStreams, ResultOutputAndZlibsVerdict) {
    const StreamCase &c = GetParam();
    std::string stream = c.stream();
    Decoded d = decode(stream);
    EXPECT_EQ(c.result, d.result);
    if (c.result == 0) {
        EXPECT_EQ(c.output, d.out);
    }
    std::string zout;
    bool zlibOk = zlibInflate(stream, &zout) == Z_STREAM_END;
    EXPECT_EQ(c.zlibAgrees, zlibOk == (c.result == 0)) << "zlib's verdict: " << zlibOk;
    if (zlibOk && c.result == 0) {
        EXPECT_EQ(zout, d.out);
    }
}

// Two literals, end of block and a 3-bit pair for the symbols 286 and 287.
DynamicBlock withExtraLengthCodes() {
    return dynamic(31, 31, {{'a', 2}, {'b', 2}, {256, 2}, {286, 3}, {287, 3}}, {{0, 1}, {31, 1}});
}

// Code lengths with the repeat codes: 16 first (nothing to repeat yet: zeros), then runs
// of zeros by 18, lengths for 'a' and the end of block, no distance code.
DynamicBlock withRepeatFirst(unsigned lastRun) { // 20 reaches symbol 256 exactly
    DynamicBlock b;
    b.codeLengthCode.assign(19, 0);
    b.codeLengthCode[0] = b.codeLengthCode[1] = b.codeLengthCode[16] = b.codeLengthCode[18] = 2;
    b.lengthSymbols = {16, 0, 18, 94 - 11, 1, 18, 138 - 11, 18, lastRun - 11, 1, 0};
    b.lit.assign(257, 0);
    b.lit['a'] = b.lit[256] = 1;
    b.dist.assign(1, 0);
    return b;
}

// Stored blocks of at most 65535 bytes each, none of them final.
std::string storedBlocks(const std::string &data) {
    std::string out;
    for (size_t i = 0; i < data.size(); i += 65535)
        out += storedBlock(data.substr(i, 65535), false);
    return out;
}

// data followed by a match of 258 bytes at distance dist, as a decoder must give it.
std::string withMatch(std::string data, size_t dist) {
    for (int i = 0; i < 258; i++)
        data += data[data.size() - dist];
    return data;
}

const std::string HalfAndSome = randomBytes(32768 + 100, 3),
                  RingAndSome = randomBytes(65536 + 100, 5);

// Matches through a 15-bit distance code (29, with 13 extra bits) after HalfAndSome, each
// after one more 1-bit literal than the last, so that code and extra bits meet the bit buffer
// at every offset: a 32-bit buffer runs short unless it refills before a distance's
// sub-table entry. The distance lengths 1..14 and 15, 15 make a complete code.
struct StreamAndOutput {
    std::string stream, output;
};
StreamAndOutput longDistanceMatches() {
    std::vector<std::pair<int, int>> distLens = {{28, 15}, {29, 15}};
    for (int code = 0; code < 14; code++)
        distLens.push_back({code, code + 1});
    DynamicBlock b = dynamic(1, 29, {{'a', 1}, {256, 2}, {257, 2}}, distLens);
    BitWriter w;
    writeDynamic(w, true, b, {});
    std::vector<unsigned> lc = canonicalCodes(b.lit), dc = canonicalCodes(b.dist);
    std::string out = HalfAndSome;
    for (unsigned k = 0; k < 40; k++) {
        for (unsigned i = 0; i < k; i++)
            w.code(lc['a'], 1);
        out.append(k, 'a');
        unsigned extra = k * 997 % 8192;
        w.code(lc[257], 2); // length 3
        w.code(dc[29], 15);
        w.bits(extra, 13);
        for (int i = 0; i < 3; i++)
            out += out[out.size() - (24577 + extra)];
    }
    for (int i = 0; i < 200; i++) // input behind the last match, for the fast loop
        w.code(lc['a'], 1);
    out.append(200, 'a');
    w.code(lc[256], 2);
    return {storedBlocks(HalfAndSome) + w.done(), out};
}
const StreamAndOutput LongDistance = longDistanceMatches();

// A fixed block with one match of length 258: distance code and extra bits as given.
std::string fixedMatch(unsigned distCode, unsigned extra, int extraBits) {
    return fixedStream([=](BitWriter &w) {
        fixedSymbol(w, 285);
        w.code(distCode, 5);
        w.bits(extra, extraBits);
    });
}

const StreamCase StreamCases[] = {
    {"StoredEmpty", [] { return storedBlock("", true); }, 0, "", true},
    {"StoredLengthCheckFails", [] { return storedBlock("x", true, 0x10); }, 1, "", true},
    {"DistanceOneLength258",
     [] {
         return fixedStream([](BitWriter &w) {
             fixedSymbol(w, 'x');
             fixedSymbol(w, 285); // length 258
             w.code(0, 5);        // distance 1
         });
     },
     0, std::string(259, 'x'), true},
    {"FixedLengthCode286Invalid",
     [] { return fixedStream([](BitWriter &w) { fixedSymbol(w, 286); }); }, 1, "", true},
    {"FixedDistanceCode30Invalid",
     [] {
         return fixedStream([](BitWriter &w) {
             fixedSymbol(w, 'a');
             fixedSymbol(w, 257);
             w.code(30, 5);
         });
     },
     1, "", true},
    {"DynamicCounts288And32Accepted",
     [] {
         return dynamicStream(withExtraLengthCodes(), {'a', 'b', 256});
     },
     0, "ab", false},
    {"DynamicLengthCode286Invalid",
     [] {
         return dynamicStream(withExtraLengthCodes(), {'a', 286});
     },
     1, "", true},
    {"DynamicDistanceCode31Invalid",
     [] {
         return dynamicStream(dynamic(1, 31, {{'a', 1}, {256, 2}, {257, 2}}, {{0, 1}, {31, 1}}),
                              {'a', 257, D + 31});
     },
     1, "", true},
    {"NoLiteralLengthCode", [] { return dynamicStream(dynamic(0, 0, {}, {}), {}); }, 1, "", true},
    {"LiteralsAndEndOnly",
     [] {
         return dynamicStream(dynamic(0, 0, {{'a', 1}, {256, 1}}, {}), {'a', 256});
     },
     0, "a", true},
    {"LiteralOnlyBlockWithUnusedLengthSymbols",
     [] {
         return dynamicStream(dynamic(3, 0, {{'a', 1}, {256, 1}}, {}), {'a', 256});
     },
     0, "a", true},
    {"LengthsWithoutDistances",
     [] {
         return dynamicStream(dynamic(1, 0, {{'a', 1}, {256, 2}, {257, 2}}, {}), {'a', 256});
     },
     1, "", false},
    {"IncompleteDistanceCodeAccepted",
     [] {
         return dynamicStream(dynamic(1, 0, {{'a', 1}, {256, 2}, {257, 2}}, {{0, 2}}),
                              {'a', 257, D + 0, 256});
     },
     0, "aaaa", false},
    {"DistanceCodeLongerThanTheFirstLevel", // one 9-bit code, then enough for the fast loop
     [] {
         std::vector<unsigned> symbols = {'a', 257, D + 0};
         symbols.insert(symbols.end(), 200, 'a');
         symbols.push_back(256);
         return dynamicStream(dynamic(1, 0, {{'a', 1}, {256, 2}, {257, 2}}, {{0, 9}}), symbols);
     },
     0, std::string(204, 'a'), false},
    {"IncompleteLiteralLengthCode",
     [] {
         return dynamicStream(dynamic(0, 0, {{'a', 1}, {256, 2}}, {}), {'a', 256});
     },
     1, "", true},
    {"OverSubscribedLengths",
     [] {
         return dynamicStream(dynamic(0, 0, {{'a', 1}, {'b', 1}, {256, 1}}, {}), {'a'});
     },
     2, "", true},
    {"UnusedHalfOfOneBitCodeLengthCode",
     [] {
         DynamicBlock b = dynamic(0, 0, {}, {});
         b.codeLengthCode.assign(19, 0);
         b.codeLengthCode[1] = 1;
         BitWriter w;
         writeDynamic(w, true, b, {});
         w.bits(1, 1); // the code-length code has no code "1"
         return w.done();
     },
     1, "", true},
    {"RepeatCodeFirstRepeatsZero",
     [] {
         return dynamicStream(withRepeatFirst(20), {'a', 256});
     },
     0, "a", false},
    {"RepeatPastTheCount",
     [] {
         return dynamicStream(withRepeatFirst(30), {'a', 256});
     },
     1, "", true},
    {"BlockType3", [] { return hexBytes("07"); }, 2, "", true},
    // One dynamic block: a 1-bit literal 'a', length 3 distance 1 with a 1-bit distance
    // code, a 2-bit end code, and the data end with fewer bits than the table's width.
    {"ValidStreamEndingShortOfTheTableWidth",
     [] { return hexBytes("15e6810dc0300cc330dccaff9f904d39dd4c"); }, 0, "aaaa", true},
    {"TruncatedInsideACode",
     [] { return hexBytes("15e6810dc0300cc330dccaff9f904d39dd4c").substr(0, 16); }, 1, "", true},
    {"DistanceBeforeTheMembersStartReadsZeros",
     [] {
         return fixedStream([](BitWriter &w) {
             fixedSymbol(w, 257);
             w.code(0, 5);
         });
     },
     0, std::string(3, '\0'), false},
    {"MatchFromTheFarEndOfTheWindow", // distance 24577 + 8190
     [] { return storedBlocks(HalfAndSome) + fixedMatch(29, 8190, 13); }, 0,
     withMatch(HalfAndSome, 32767), true},
    {"MatchFromTheFarEndAfterTheRingsEnd",
     [] { return storedBlocks(RingAndSome) + fixedMatch(29, 8190, 13); }, 0,
     withMatch(RingAndSome, 32767), true},
    {"LongDistanceCodeWithExtraBitsAtEveryOffset", [] { return LongDistance.stream; }, 0,
     LongDistance.output, true},
    {"OverlappingMatchWhoseSourceCrossesTheRingsEnd", // distance 193 + 7
     [] { return storedBlocks(RingAndSome) + fixedMatch(15, 7, 6); }, 0,
     withMatch(RingAndSome, 200), true},
};
INSTANTIATE_TEST_SUITE_P(Cases, InflateStreams, ::testing::ValuesIn(StreamCases),
                         [](const auto &info) { return std::string(info.param.label); });

TEST_F(Inflate, IncompleteCodesSayWhatIsMissingOnlyWhenChatty) {
    std::string noDistances = dynamicStream(dynamic(1, 0, {{'a', 1}, {256, 2}, {257, 2}}, {}), {});
    std::string incomplete = dynamicStream(dynamic(0, 0, {{'a', 1}, {256, 2}}, {}), {});
    G.quiet_level = 4;
    EXPECT_EQ(1, decode(incomplete).result);
    EXPECT_EQ("", messages());
    G.quiet_level = 0;
    EXPECT_EQ(1, decode(incomplete).result);
    EXPECT_EQ(1, decode(noDistances).result);
    EXPECT_EQ("(incomplete l-tree)  (incomplete d-tree)  ", messages());
}

TEST_F(Inflate, FixedTablesAreBuiltOnceAndKept) {
    std::string s = fixedStream([](BitWriter &w) { fixedSymbol(w, 'f'); });
    EXPECT_EQ("f", decode(s).out);
    huft *built = G.fixed_lit_table;
    ASSERT_NE(nullptr, built);
    EXPECT_EQ("f", decode(s).out);
    EXPECT_EQ(built, G.fixed_lit_table);
    inflate_free();
    EXPECT_EQ(nullptr, G.fixed_lit_table);
}

// ---------------------------------------------------------------------------------------
// The table builder

struct BuildCase {
    const char *label;
    std::vector<unsigned> lengths;
    int wantBits, result, bitsUsed;
};
void PrintTo(const BuildCase &c, std::ostream *os) {
    *os << c.label;
}

class HuftBuild : public ::testing::TestWithParam<BuildCase> {};

TEST_P(HuftBuild, ResultAndLookupBits) {
    const BuildCase &c = GetParam();
    huft *t = nullptr;
    int m = c.wantBits;
    EXPECT_EQ(c.result, huft_build(c.lengths.data(), (unsigned)c.lengths.size(), 256, nullptr,
                                   nullptr, &t, &m));
    EXPECT_EQ(c.bitsUsed, m);
    EXPECT_EQ(c.result > 1 || c.bitsUsed == 0, t == nullptr);
    huft_free(t);
}

const BuildCase BuildCases[] = {
    {"Complete", {1, 2, 2}, 9, 0, 9},
    {"Incomplete", {1, 2}, 9, 1, 9},
    {"OverSubscribed", {1, 1, 1}, 9, 2, 9},
    {"NoCodeAtAll", {0, 0, 0}, 9, 0, 0},
    {"SingleOneBitCodeCountsAsComplete", {0, 1}, 9, 0, 9},
    {"EveryCodeLongerThanTheFirstLevel", {3, 3, 3, 3, 3, 3, 3, 3}, 1, 0, 1},
    {"LongerCodesGoToSubTables", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 15}, 9, 0, 9},
};
INSTANTIATE_TEST_SUITE_P(Lengths, HuftBuild, ::testing::ValuesIn(BuildCases),
                         [](const auto &info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------------------
// Real files at every level and strategy, through whole engine runs (read_buf refills,
// the member limit, flushes to a file)

std::string readWhole(const std::string &path, size_t limit) {
    std::string s;
    FILE *f = ::fopen(path.c_str(), "rb");
    if (f == NULL) return s;
    char buf[65536];
    size_t n;
    while (s.size() < limit && (n = fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, std::min(n, limit - s.size()));
    fclose(f);
    return s;
}

// C headers of this machine, in name order, up to limit bytes.
std::string headerText(size_t limit) {
    std::string s;
    std::vector<std::string> names;
    if (DIR *d = opendir("/usr/include")) {
        while (struct dirent *e = readdir(d))
            if (strstr(e->d_name, ".h") != nullptr) names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    for (const std::string &n : names)
        if (s.size() < limit) s += readWhole("/usr/include/" + n, limit - s.size());
    return s;
}

const std::string &input(const std::string &kind) {
    static const std::string text = headerText(300000);
    static const std::string binary = readWhole("/proc/self/exe", 400000); // these tests
    static const std::string random = randomBytes(100000, 7);
    return kind == "text" ? text : kind == "binary" ? binary : random;
}

struct RealCase {
    std::string kind;
    int level, strategy;
};

std::string strategyName(int s) {
    switch (s) {
    case Z_FILTERED:
        return "Filtered";
    case Z_HUFFMAN_ONLY:
        return "HuffmanOnly";
    case Z_RLE:
        return "Rle";
    case Z_FIXED:
        return "Fixed";
    default:
        return "Default";
    }
}

class RealFiles : public EngineRun, public ::testing::WithParamInterface<RealCase> {};

TEST_P(RealFiles, ExtractByteForByte) {
    const RealCase &c = GetParam();
    const std::string &plain = input(c.kind);
    ASSERT_GT(plain.size(), 50000u);
    Member m{"m.bin", zlibDeflate(plain, c.level, c.strategy), 0, METHOD_DEFLATED};
    m.plain = plain;
    EXPECT_EQ(0, run(buildPackage({m}, std::string(3000, 'S'))));
    EXPECT_TRUE(readFile("m.bin") == plain);
}

std::vector<RealCase> realCases() {
    std::vector<RealCase> cases;
    for (const char *kind : {"text", "binary"})
        for (int level = 0; level <= 9; level++)
            for (int s : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED})
                cases.push_back({kind, level, s});
    for (int level : {0, 6, 9})
        cases.push_back({"random", level, Z_DEFAULT_STRATEGY});
    return cases;
}
INSTANTIATE_TEST_SUITE_P(Levels, RealFiles, ::testing::ValuesIn(realCases()), [](const auto &info) {
    return info.param.kind + "Level" + std::to_string(info.param.level) +
           strategyName(info.param.strategy);
});

// Outputs that end on the window's flush points, and matches across them.
TEST_F(EngineRun, OutputsOnFlushPointsAndMatchesAcrossThem) {
    std::vector<Member> members;
    for (size_t size : {32767u, 32768u, 32769u, 65536u, 65537u, 3u * 65536u}) {
        std::string plain = randomBytes(30011, (uint32_t)size); // matches 30011 bytes back
        while (plain.size() < size)
            plain += plain.substr(0, std::min(plain.size(), size - plain.size()));
        members.push_back({"w" + std::to_string(size), zlibDeflate(plain, 9, Z_DEFAULT_STRATEGY), 0,
                           METHOD_DEFLATED});
        members.back().plain = plain;
    }
    EXPECT_EQ(0, run(buildPackage(members)));
    for (const Member &m : members)
        EXPECT_TRUE(readFile(m.name.c_str()) == m.plain) << m.name;
}

} // namespace
