// The Deflate decoder (RFC 1951): stored, fixed-Huffman and dynamic-Huffman blocks of one
// member, read through the engine's input buffer and written through its output function.
//
// Bit input. The bit buffer (G.bit_buf, a machine word) holds G.bit_count unused bits of
// the member's data, least significant first. Every step follows one pattern: make enough
// bits available (need, or a look-up's peek), use the low bits, drop them. Bits above
// bit_count are zero, or copies of the input bytes that follow (a fast refill loads a
// whole word at a time); read_ptr always points at the first byte not yet counted in
// bit_count, so any step can go on byte by byte where another left off.
//
// The end of the member's data. A fixed-width field (a block header, stored lengths, extra
// bits) that the data cannot fill fails with 1. A table look-up goes on with the bits
// there are, missing bits read as 0 and nothing consumed, and fails with 1 only when the
// entry found needs more bits than really remain: a code may be shorter than the table's
// first-level width, so a valid stream can end with fewer bits than that width.
//
// Output ring. The window holds RING_SIZE bytes in two halves. Output goes in at
// window_pos; a half is handed to the output function (flush, or memflush in memory mode)
// as soon as it is full, and the ring starts over at 0 after the second. A match copies
// from up to WINDOW_SIZE bytes back, across the ring's end when need be. The bytes ahead
// of the write position are older than WINDOW_SIZE, so nothing can refer to them: the fast
// loop's word-wise copies may overrun a match's end there, and its symbols run on past a
// half's end before that half is handed on (past the ring's end into the RING_SLACK bytes
// behind it, moved to its start afterwards). A distance that reaches before the member's
// first byte is not refused (real writers never make one); it reads what the ring held
// before, zeros before the first member.
//
// Speed: the plain decoder (one symbol at a time, a byte at a time, every step checked) is
// the exact one; decode_fast does the same work where enough input in read_buf for a whole
// symbol makes most checks unnecessary. Measurements are in bench/.
#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include "unzip/unzip.h"

// ---------------------------------------------------------------------------------------
// Tables of the format (RFC 1951, 3.2.5 to 3.2.7)

// Order in which the code lengths of the code-length alphabet are stored.
static const unsigned border[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                    11, 4,  12, 3, 13, 2, 14, 1, 15};

// Length codes 257..287: base lengths and extra bits. 286 and 287 cannot occur in valid
// data; their extra-bits value 99 makes them invalid entries.
static const uint16_t cplens[31] = {3,  4,   5,   6,   7,   8,   9,   10, 11, 13, 15,
                                    17, 19,  23,  27,  31,  35,  43,  51, 59, 67, 83,
                                    99, 115, 131, 163, 195, 227, 258, 0,  0};
static const uint16_t cplext[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,  2, 2,
                                    3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};

// Distance codes 0..31: base distances and extra bits. A dynamic block may give lengths to
// 32 distance codes, but 30 and 31 have no distance: invalid as 286 and 287 are.
static const uint16_t cpdist[32] = {
    1,   2,   3,   4,   5,    7,    9,    13,   17,   25,   33,   49,    65,    97,    129, 193,
    257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 0,   0};
static const uint16_t cpdext[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 99, 99};

enum {
    KIND_END = 15,        // end of block
    KIND_LITERAL = 16,    // a literal byte: the one kind with this bit set
    KIND_LINK = 32,       // above it, links to sub-tables (their index bits added)
    EXTRA_INVALID = 99,   // the format tables' mark of a code that cannot occur
    KIND_INVALID = 14,    // an entry for such a code, or for bits no code has
    MAX_CODE_BITS = 15,   // longest code a dynamic block can give
    MAX_LENGTH_EXTRA = 5, // the most extra bits a length takes (cplext)
    MAX_DIST_EXTRA = 13,  // the most a distance takes (cpdext)
    MAX_MATCH = 258,
    LITLEN_CODES = 288, // literal/length lengths a dynamic block may give
    DIST_CODES = 32,
    CODELEN_CODES = 19,
    CODELEN_BITS = 7,    // lookup bits of the code-length table (its codes have at most 7 bits)
    MAX_FIELD_BITS = 16, // the widest field a plain step takes: a stored block's length
};

// First-level lookup bits of every literal/length and distance table, fixed blocks' too.
// Optimisations: wider than 9 and 6, so that nearly every code takes one look-up. Against 9
// and 6 (x86-64 build, bench/inflate_bench, 8 MiB, medians of 5 interleaved rounds):
// binaries 1.10 and text 1.03 times the speed. 11 bits for literals and lengths against 10,
// once the fast loop read entries as words: binaries 1.03, text the same. Constants, and
// every table built with exactly these bits, so that the fast loop's masks are immediates
// and leave it two more registers (with the loop running on across flush points, see
// decode_fast).
constexpr int lbits = 11;
constexpr int dbits = 8;

// ---------------------------------------------------------------------------------------
// Tables

// The low len bits of code (1 <= len <= 16) in reverse order, as the decoder reads a code.
// Swapping halves of ever smaller groups instead of a loop per bit: building the tables of
// a dynamic block took 13 % of testing an archive of 7,726 small text files.
static inline unsigned reverse_bits(unsigned code, unsigned len) {
    code = ((code & 0x5555) << 1) | ((code >> 1) & 0x5555);
    code = ((code & 0x3333) << 2) | ((code >> 2) & 0x3333);
    code = ((code & 0x0F0F) << 4) | ((code >> 4) & 0x0F0F);
    code = ((code & 0x00FF) << 8) | ((code >> 8) & 0x00FF);
    return code >> (16 - len);
}

static huft make_entry(unsigned sym, unsigned s, const uint16_t *d, const uint16_t *e, unsigned b) {
    huft h;
    h.b = (uint8_t)b;
    if (sym < s) {
        h.e = sym < 256 ? KIND_LITERAL : KIND_END;
        h.n = (uint16_t)sym;
    } else {
        h.e = e[sym - s] == EXTRA_INVALID ? (uint8_t)KIND_INVALID : (uint8_t)e[sym - s];
        h.n = d[sym - s];
        if (h.e < KIND_INVALID) h.b = (uint8_t)(b + h.e); // one shift drops code and extra bits
    }
    return h;
}

// The entry of bit patterns no code has, in a table of root bits.
static huft invalid_entry(unsigned root) {
    huft h = {(uint8_t)root, KIND_INVALID, 0};
    return h;
}

// The bits of an entry's code alone, without the extra bits that follow it.
static unsigned code_bits(huft h) {
    return h.e < KIND_INVALID ? h.b - h.e : h.b;
}

// Fills every index of table (size 2^bits) whose low len bits are rev.
// Each entry goes in as one 32-bit store, where a copy of the struct took three.
static void fill(huft *table, unsigned bits, unsigned rev, unsigned len, huft h) {
    uint32_t word;
    memcpy(&word, &h, sizeof word);
    for (unsigned i = rev; i < (1u << bits); i += 1u << len)
        memcpy(table + i, &word, sizeof word);
}

// The canonical codes of one table: symbols by increasing length (and symbol within one
// length), with the code of each, reversed as the decoder reads it (so its first root bits
// are its root index, and the rest its index in a sub-table).
struct Codes {
    unsigned count[MAX_CODE_BITS + 1];
    uint16_t symbol[LITLEN_CODES];
    uint16_t code[LITLEN_CODES];
    unsigned used; // symbols with a length
};

static void assign_codes(const unsigned *b, unsigned n, Codes *c) {
    unsigned next[MAX_CODE_BITS + 2], code = 0, offset[MAX_CODE_BITS + 2];
    offset[1] = 0;
    for (unsigned len = 1; len <= MAX_CODE_BITS; len++) {
        code = (code + c->count[len - 1]) << 1;
        next[len] = code;
        offset[len + 1] = offset[len] + c->count[len];
    }
    c->used = 0;
    for (unsigned sym = 0; sym < n; sym++) {
        unsigned len = b[sym];
        if (len == 0) continue;
        unsigned at = offset[len]++;
        c->symbol[at] = (uint16_t)sym;
        c->code[at] = (uint16_t)reverse_bits(next[len]++, len);
        c->used++;
    }
}

// Entries of a sub-table for the codes [from, to) of one root prefix: enough bits for its
// longest code (codes come by increasing length).
static unsigned sub_bits(const unsigned *b, const Codes *c, unsigned to, unsigned root) {
    return b[c->symbol[to - 1]] - root;
}

// The root prefix of a code longer than the root: its first root bits, as the table reads
// them.
static unsigned prefix_of(const Codes *c, unsigned i, unsigned root) {
    return c->code[i] & ((1u << root) - 1);
}

// Entries the codes longer than the root take in sub-tables.
static unsigned sub_table_entries(const unsigned *b, const Codes *c, unsigned first_long,
                                  unsigned root) {
    unsigned total = 0;
    for (unsigned i = first_long; i < c->used;) {
        unsigned p = prefix_of(c, i, root), j = i + 1;
        while (j < c->used && prefix_of(c, j, root) == p)
            j++;
        total += 1u << sub_bits(b, c, j, root);
        i = j;
    }
    return total;
}

// Doubles the filled part of a table from 2^width entries to 2^to: the copy repeats every
// entry for the next bit. Returns the width reached.
static unsigned widen(huft *t, unsigned width, unsigned to) {
    for (; width < to; width++)
        memcpy(t + (1u << width), t, sizeof(huft) << width);
    return width;
}

// Root entries for the codes up to root bits; links and sub-tables for the longer ones.
// Root entries no code reaches are invalid; so are sub-table entries, where incomplete
// codes had the caller make them so.
//
// The root grows from the shortest code's width to its own (widen): each code of len bits
// goes into the one entry it has at that width. Optimisation: where every code's
// entries were stored one by one, a small block's 11-bit table took 2,048 scattered stores;
// testing 7,726 small text members spent 4.5 % of its time on them.
static void fill_table(huft *t, const unsigned *b, const Codes *c, unsigned root, unsigned s,
                       const uint16_t *d, const uint16_t *e) {
    unsigned i = 0, next_sub = 1u << root;
    unsigned width = b[c->symbol[0]] < root ? b[c->symbol[0]] : root;
    for (unsigned k = 0; k < 1u << width; k++)
        t[k] = invalid_entry(root);
    for (; i < c->used && b[c->symbol[i]] <= root; i++) {
        unsigned len = b[c->symbol[i]];
        width = widen(t, width, len);
        t[c->code[i]] = make_entry(c->symbol[i], s, d, e, len);
    }
    widen(t, width, root);
    while (i < c->used) {
        unsigned p = prefix_of(c, i, root), j = i + 1;
        while (j < c->used && prefix_of(c, j, root) == p)
            j++;
        unsigned bits = sub_bits(b, c, j, root);
        huft link = {(uint8_t)root, (uint8_t)(KIND_LINK + bits), (uint16_t)next_sub};
        t[p] = link;
        for (; i < j; i++) {
            unsigned rest = b[c->symbol[i]] - root;
            fill(t + next_sub, bits, c->code[i] >> root, rest,
                 make_entry(c->symbol[i], s, d, e, rest));
        }
        next_sub += 1u << bits;
    }
}

// Builds a table in one block: the root of 2^*m entries, then its sub-tables, which a
// link entry finds by their offset from the root. Optimisation: entries are 32 bits on
// every build and a look-up goes at most one level down, where pointers in the entries and
// one block per level would double the tables' size on 64-bit builds.
int huft_build(const unsigned *b, unsigned n, unsigned s, const uint16_t *d, const uint16_t *e,
               huft **t, int *m) {
    Codes c;
    memset(c.count, 0, sizeof c.count);
    for (unsigned i = 0; i < n; i++)
        c.count[b[i]]++;
    *t = NULL;
    if (c.count[0] == n) {
        *m = 0; // no code at all
        return 0;
    }
    c.count[0] = 0;
    unsigned longest = MAX_CODE_BITS;
    while (c.count[longest] == 0)
        longest--;
    // The wanted bits as they come, neither raised to the shortest code nor lowered to the
    // longest: a fast loop's table has the width it expects (shorter codes are repeated,
    // longer ones linked).
    unsigned root = (unsigned)*m;

    // Kraft: the codes may fill the code space (complete) or leave room (incomplete: those
    // bit patterns decode as invalid), but not need more than it has.
    long left = 1;
    for (unsigned len = 1; len <= longest; len++) {
        left = 2 * left - (long)c.count[len];
        if (left < 0) return 2;
    }
    assign_codes(b, n, &c);
    unsigned first_long = 0;
    while (first_long < c.used && b[c.symbol[first_long]] <= root)
        first_long++;
    size_t size = ((size_t)1 << root) + sub_table_entries(b, &c, first_long, root);
    huft *table = (huft *)malloc(size * sizeof(huft));
    if (table == NULL) return 3;
    if (left > 0) { // a complete code reaches every sub-table entry
        for (size_t i = (size_t)1 << root; i < size; i++)
            table[i] = invalid_entry(root);
    }
    fill_table(table, b, &c, root, s, d, e);
    *t = table;
    // A single code of one bit leaves the other half unused but counts as complete.
    return left > 0 && longest != 1 ? 1 : 0;
}

int huft_free(huft *t) {
    free(t);
    return 0;
}

int inflate_free(void) {
    huft_free(G.fixed_lit_table);
    huft_free(G.fixed_dist_table);
    G.fixed_lit_table = G.fixed_dist_table = NULL;
    return 0;
}

// ---------------------------------------------------------------------------------------
// Bits (the plain steps, on G)

// The bit buffer is a machine word: 64 bits on x86-64, 32 on i686 (G.bit_buf, a size_t,
// holds either). INFLATE_BITBUF32 gives a 64-bit host the shipped 32-bit build's word, so
// that its tests and fuzzers run that path too (tests/ and fuzz/ build such a variant).
#ifdef INFLATE_BITBUF32
typedef uint32_t bitbuf_t;
#else
typedef size_t bitbuf_t;
#endif
enum { BITBUF_BITS = 8 * sizeof(bitbuf_t) };

static bitbuf_t low_bits(bitbuf_t v, unsigned n) {
    return v & (((bitbuf_t)1 << n) - 1);
}

static bitbuf_t load_word(const uint8_t *p) {
    bitbuf_t v;
    memcpy(&v, p, sizeof v); // x86: little-endian, unaligned loads are cheap
    return v;
}

// Fills bit buffer buf (holding count bits) to at least BITBUF_BITS - 8 bits with one word
// load at in; the bytes that do not fit whole stay counted after in (see the file's head).
#define REFILL_WORD(buf, count, in)                                                                \
    do {                                                                                           \
        buf |= load_word(in) << ((count) & (BITBUF_BITS - 1));                                     \
        in += ((BITBUF_BITS - 1 - (count)) & (BITBUF_BITS - 1)) >> 3;                              \
        count |= BITBUF_BITS - 8;                                                                  \
    } while (0)

static_assert(MAX_FIELD_BITS <= BITBUF_BITS - 8, "one word load fills any field");

// need's refill. With a word of the member's data in read_buf, one load fills the buffer as
// the fast loop's refill does (the bytes that do not fit whole stay counted after): the
// plain steps read the header and code lengths of every dynamic block, 6 % of testing an
// archive of small text files when they went byte by byte.
static __attribute__((noinline)) int need_more(unsigned n) {
    if (G.read_left >= (int)sizeof(bitbuf_t)) {
        const uint8_t *in = G.read_ptr;
        REFILL_WORD(G.bit_buf, G.bit_count, in);
        G.read_left -= (int)(in - G.read_ptr);
        G.read_ptr = (uint8_t *)in;
        return 1;
    }
    while (G.bit_count < n) {
        int c = next_byte();
        if (c < 0) return 0;
        G.bit_buf |= (bitbuf_t)c << G.bit_count;
        G.bit_count += 8;
    }
    return 1;
}

// Makes at least n bits available; 0 when the member's data ends first. The count is tested
// in line and the refill called only when it falls short, and look-ups are in line too:
// testing 7,726 small text members took 4.8 % fewer instructions than with both calls.
static inline int need(unsigned n) {
    return G.bit_count >= n || need_more(n);
}

static void drop(unsigned n) {
    G.bit_buf >>= n;
    G.bit_count -= n;
}

// need, then the n bits' value, dropped.
static int take(unsigned n, unsigned *value) {
    if (!need(n)) return 0;
    *value = (unsigned)low_bits(G.bit_buf, n);
    drop(n);
    return 1;
}

// As need for a look-up: at the member's end the missing bits read as 0. Returns the bits
// really there.
static unsigned peek(unsigned n) {
    need(n);
    return G.bit_count;
}

// Looks up the next code in table t (root of bits bits). 0 and the entry in *h, its code
// not yet dropped (for a sub-table entry, the root part is); 1 for an invalid code, or one
// longer than the data that remain.
static inline int lookup(const huft *t, unsigned bits, huft *h) {
    unsigned have = peek(bits);
    *h = t[low_bits(G.bit_buf, bits)];
    if (h->e > KIND_LINK) {
        if (h->b > have) return 1;
        drop(h->b);
        unsigned sub = h->e - KIND_LINK;
        have = peek(sub);
        *h = t[h->n + low_bits(G.bit_buf, sub)];
    }
    return h->e == KIND_INVALID || code_bits(*h) > have;
}

// ---------------------------------------------------------------------------------------
// Output (the plain steps, on G)

static void output(const uint8_t *data, unsigned size) {
    if (G.to_memory)
        memflush(data, size);
    else
        flush((uint8_t *)data, size, 0);
}

// The end of the half that position q is in; the half is handed on once q reaches it.
static unsigned half_end(unsigned q) {
    return q < WINDOW_SIZE ? WINDOW_SIZE : RING_SIZE;
}

// The write position q has reached the end of a half, or run past it (only the fast loop
// writes past it): the half is handed on, and after the second the ring starts over, with
// what was written past its end moved to its start. Returns the write position.
static __attribute__((noinline)) unsigned half_filled(unsigned q) {
    if (q < RING_SIZE) {
        output(G.window, WINDOW_SIZE);
        return q;
    }
    output(G.window + WINDOW_SIZE, WINDOW_SIZE);
    memcpy(G.window, G.window + RING_SIZE, q - RING_SIZE);
    return q - RING_SIZE;
}

static void put_byte(unsigned c) {
    unsigned q = G.window_pos;
    G.window[q] = (uint8_t)c;
    G.window_pos = q + 1 == half_end(q) ? half_filled(q + 1) : q + 1;
}

// A match, byte by byte in increasing order: an overlapping one repeats what it has just
// produced.
static void copy_plain(unsigned dist, unsigned len) {
    unsigned from = (G.window_pos + RING_SIZE - dist) % RING_SIZE;
    while (len-- > 0) {
        put_byte(G.window[from]);
        from = (from + 1) % RING_SIZE;
    }
}

// ---------------------------------------------------------------------------------------
// The fast loop

// Input bytes decode_fast needs in read_buf for one symbol with every refill it makes:
// each refill reads a word and keeps at most a word less one byte; a 64-bit build makes
// one refill per symbol, a 32-bit build three.
enum { FAST_REFILLS = sizeof(bitbuf_t) >= 8 ? 1 : 3, FAST_MIN_INPUT = 16 };
static_assert(FAST_MIN_INPUT >=
                  (FAST_REFILLS - 1) * ((int)sizeof(bitbuf_t) - 1) + (int)sizeof(bitbuf_t),
              "one symbol's refills stay within the member's data");

// The fast loop's refill, on its own copies of the bit buffer, its count and the input.
#define REFILL() REFILL_WORD(bb, bl, in)

// Bits a step may use without a refill: after REFILL at least BITBUF_BITS - 8 are there.
#define HAVE_BITS(n) ((n) <= BITBUF_BITS - 8)

// Word-wise match copy; may write up to SHORT_COPY - 1 bytes past the end of a match
// shorter than SHORT_COPY, and up to 15 past a longer one. The destination starts within
// the ring, so all it writes stays within the ring and its slack; the source lies within
// the ring (the caller checks), before the destination or at least a half away behind it;
// reads past a source that ends at the ring's end stay in the slack behind it.
//
// Optimisations (x86-64 build, thread CPU time against libdeflate's in the same run, text
// and binaries at levels 6 and 9, 4 MiB, medians of 15 interleaved rounds): 16 bytes a step
// where the distance allows it (text, level 9: 1.1 times the speed of 8-byte steps); the
// first SHORT_COPY bytes of such a match in straight-line code, so that most matches take
// no loop branch; a distance of 1 as 8-byte stores of the repeated byte, not a call of
// memset. Tried and dropped: word steps that advance by the distance for distances of 2 to
// 7 (no faster: such matches are rare in text and binaries).
enum { SHORT_COPY = 48 };
static_assert((int)SHORT_COPY <= (int)MAX_MATCH,
              "a short match's overrun stays within the room for one");
static_assert((int)SHORT_COPY - 3 <= (int)RING_SLACK,
              "a short match's reads past a source that ends at the ring's end stay in the slack");
static_assert((int)MAX_MATCH + 15 <= (int)RING_SLACK && (int)SHORT_COPY <= (int)RING_SLACK,
              "a match begun before the ring's end writes within the slack behind it");

static inline __attribute__((always_inline)) void copy_fast(uint8_t *dst, const uint8_t *src,
                                                            unsigned dist, unsigned len) {
    uint8_t *end = dst + len;
    if (dist >= 16) { // the source is at least 16 bytes behind: already written
        memcpy(dst, src, 16);
        memcpy(dst + 16, src + 16, 16);
        memcpy(dst + 32, src + 32, 16);
        if (len <= SHORT_COPY) return;
        dst += SHORT_COPY;
        src += SHORT_COPY;
        do {
            memcpy(dst, src, 16);
            dst += 16;
            src += 16;
        } while (dst < end);
    } else if (dist >= 8) {
        do {
            memcpy(dst, src, 8);
            dst += 8;
            src += 8;
        } while (dst < end);
    } else if (dist == 1) {
        uint64_t v = *src * (uint64_t)0x0101010101010101u;
        do {
            memcpy(dst, &v, 8);
            dst += 8;
        } while (dst < end);
    } else {
        do
            *dst++ = *src++;
        while (dst < end);
    }
}

enum FastEnd { FAST_STOPPED, FAST_END_OF_BLOCK, FAST_INVALID };

// The fast loop reads an entry as one word: b in bits 0-7, e in bits 8-15, n in bits 16-31
// (x86 is little-endian). A literal is told by one bit of its kind, which no other kind
// has, and the bits an entry takes are the word's low byte: the shift and the count's
// subtraction use the word as it stands. The count (bl) takes whole words off, so in the
// loop only its low byte counts; the refill reads no more of it.
typedef uint32_t entry_t;
static_assert(sizeof(huft) == sizeof(entry_t) && offsetof(huft, b) == 0 && offsetof(huft, e) == 1 &&
                  offsetof(huft, n) == 2,
              "an entry reads as one word");
static_assert(KIND_INVALID < KIND_LITERAL && KIND_END < KIND_LITERAL &&
                  KIND_LINK == 2 * KIND_LITERAL && MAX_CODE_BITS < KIND_LITERAL,
              "only a literal's kind has the literal bit");
enum : entry_t { LITERAL_FLAG = (entry_t)KIND_LITERAL << 8 };

static inline entry_t entry_at(const huft *t, bitbuf_t i) {
    entry_t w;
    memcpy(&w, t + i, sizeof w);
    return w;
}
static inline unsigned bits_of(entry_t w) {
    return w & 0xFF;
}
static inline unsigned kind_of(entry_t w) {
    return (w >> 8) & 0xFF;
}
static inline unsigned value_of(entry_t w) {
    return w >> 16;
}

// Stores a literal as a whole word: its three upper bytes (zero) land ahead of the write
// position, where the bytes are older than the window and what follows overwrites them, or
// in the slack behind the ring. A byte store needs one of the four registers with a byte
// part, which the 32-bit build's loop is short of: i686 build under Wine against libdeflate
// (bench/inflate_bench, 9 rounds, two alternations) 0.77 / 0.70 before, 0.79 / 0.73 after
// on text / binaries at level 6; x86-64 and win64 within the noise.
static inline void put_literal(uint8_t *out, entry_t w) {
    uint32_t v = value_of(w);
    memcpy(out, &v, sizeof v);
}

// Drops entry w's bits, code and extra bits at once; the extra bits' value is then
// extra_of(saved, w), off the bit buffer's chain of dependencies.
#define CONSUME(w)                                                                                 \
    do {                                                                                           \
        saved = bb;                                                                                \
        bb >>= bits_of(w);                                                                         \
        bl -= (w);                                                                                 \
    } while (0)

static unsigned extra_of(bitbuf_t saved, entry_t w) {
    return (unsigned)low_bits(saved >> (bits_of(w) - kind_of(w)), kind_of(w));
}

// The sub-table entry link w of table t leads to, once the link's root bits are dropped from
// buffer bb.
static inline entry_t linked_entry(const huft *t, entry_t w, bitbuf_t bb) {
    return entry_at(t, value_of(w) + low_bits(bb, kind_of(w) - KIND_LINK));
}

// A 64-bit buffer holds a literal/length code with its extra bits and a distance code with
// its extra bits after one refill; a 32-bit one refills between them.
enum {
    MAX_LENGTH_BITS = MAX_CODE_BITS + MAX_LENGTH_EXTRA,
    MAX_DIST_BITS = MAX_CODE_BITS + MAX_DIST_EXTRA,
};
static const bool WIDE = HAVE_BITS(MAX_LENGTH_BITS + MAX_DIST_BITS);

// A refill loads a whole word, so every bit of the buffer is the member's data until
// symbols take it, whatever the count says. A root entry is therefore looked up before the
// refill that would come first: its lbits or dbits are still there after what was taken
// since the last refill. A 64-bit build refills once a symbol (three literals, or a length
// and a distance with their extra bits). A 32-bit build refills before a distance's code
// (a root code with its extra bits, or a link's root bits) and again before its sub-table
// entry, if it has one.
static_assert(WIDE ? BITBUF_BITS - (MAX_LENGTH_BITS + MAX_DIST_BITS) >= lbits &&
                         BITBUF_BITS - 3 * MAX_CODE_BITS >= lbits
                   : HAVE_BITS(MAX_LENGTH_BITS) && HAVE_BITS(dbits + MAX_DIST_EXTRA) &&
                         HAVE_BITS(MAX_DIST_BITS - dbits) &&
                         BITBUF_BITS - MAX_LENGTH_BITS >= dbits &&
                         BITBUF_BITS - (dbits + MAX_DIST_EXTRA) >= lbits,
              "a refill holds what is taken before the next, and a root entry's bits outlast it");

// Decodes symbols with tables of lbits and dbits first-level bits while at least
// FAST_MIN_INPUT bytes of the member's data are in read_buf (so every refill loads real
// data). Every check it leaves out is one this makes unnecessary; what it cannot cover (a
// source run that crosses the ring's end) goes to copy_plain. A half that a symbol fills
// is handed on before the next symbol, as the plain steps do it.
//
// Optimisation: the next literal/length entry is looked up as soon as its bits are there,
// before the refill and before the current symbol's output is written (a literal's store,
// a match's copy), and a 64-bit build takes up to three literals on one refill; each
// entry's bits, extra bits included, go in one shift before its kind is looked at; links
// are followed only after the literal test (and, for distances, within the test for an
// invalid code). Its own function: inlined into inflate_codes, it shared registers with the
// plain steps and kept its bounds and masks on the stack. Entries read as words, the own
// function, the third literal, the look-up before the refill and 11 root bits together,
// against libdeflate (bench/inflate_bench, 15 rounds, text / binaries at level 6): x86-64
// 0.79-0.83 / 0.77-0.80 before, 0.90-0.91 / 0.87-0.88 after; win64 build under Wine 0.78 /
// 0.76 before, 0.90 / 0.84 after; the look-up before the refill alone gave text 1.05.
// Running on across a half's end, where it used to stop MAX_MATCH + 48 bytes before
// it and leave those to the plain steps (3.6 % of the time on binaries), together with the
// masks as immediates: 1.02-1.04 (x86-64 0.90-0.91 / 0.88-0.90 before, 0.93-0.95 /
// 0.90-0.91 after; win64 0.89-0.90 / 0.80-0.86 before, 0.89-0.90 / 0.87-0.89 after; the
// 32-bit bit buffer 1.02-1.03). Either alone gained nothing: register pressure took it back.
// Tried and dropped, within the noise: the ring's wrap test only for sources before the
// ring's start; loads of a short match before its stores; a 40- or 32-byte straight-line
// copy (binaries gain what text loses); the count kept exact instead of whole words off.
// Tried and dropped for the 32-bit build (i686 under Wine, medians over 8 processes): an
// inner loop for runs of literals (runs are short, and its exits cost what it saved); the
// bit buffer, count and input kept in G during a match's copy (no gain, and 8 % slower
// without BMI2); the literal/length table at a fixed address (no register freed); leaving
// the loop at a half's end rather than calling from it; root entries holding two literals
// where both codes fit (text 2-4 % faster, binaries 1-4 % slower: such pairs are rare).
static inline __attribute__((always_inline)) FastEnd decode_fast(const huft *tl, const huft *td) {
    const uint8_t *in = G.read_ptr, *in_stop = G.read_ptr + G.read_left - FAST_MIN_INPUT;
    uint8_t *const win = G.window;
    uint8_t *out = win + G.window_pos;
    uint8_t *out_stop = win + half_end(G.window_pos);
    bitbuf_t bb = G.bit_buf, saved;
    unsigned bl = G.bit_count;
    const bitbuf_t lmask = ((bitbuf_t)1 << lbits) - 1, dmask = ((bitbuf_t)1 << dbits) - 1;
    FastEnd end = FAST_STOPPED;

    // At the top of the loop the buffer is refilled and w is the root entry of its bits.
    REFILL();
    entry_t w = entry_at(tl, bb & lmask);
    while (in <= in_stop) {
        if (out >= out_stop) { // the last symbol filled the half: handed on before the next
            out = win + half_filled((unsigned)(out - win));
            out_stop = win + half_end((unsigned)(out - win));
        }
        CONSUME(w);
        if (w & LITERAL_FLAG) {
            put_literal(out++, w);
            w = entry_at(tl, bb & lmask);
            if (WIDE && (w & LITERAL_FLAG)) {
                CONSUME(w);
                put_literal(out++, w);
                w = entry_at(tl, bb & lmask);
                if (w & LITERAL_FLAG) {
                    CONSUME(w);
                    put_literal(out++, w);
                    w = entry_at(tl, bb & lmask);
                }
            }
            REFILL();
            continue;
        }
        if (kind_of(w) > KIND_LINK) { // a link, its root bits dropped
            w = linked_entry(tl, w, bb);
            CONSUME(w);
            if (w & LITERAL_FLAG) {
                put_literal(out++, w);
                w = entry_at(tl, bb & lmask);
                REFILL();
                continue;
            }
        }
        if (kind_of(w) >= KIND_INVALID) {
            end = kind_of(w) == KIND_END ? FAST_END_OF_BLOCK : FAST_INVALID;
            break;
        }
        unsigned len = value_of(w) + extra_of(saved, w);
        // A 32-bit build looks the distance up before its refill too, which takes the refill
        // off the chain from the length to the distance: i686 build under Wine against
        // libdeflate (8 processes of 5 rounds, twice; text / binaries at levels 6 and 9) 0.85-0.86
        // / 0.86-0.88 / 0.77 / 0.78-0.80 before, 0.90 / 0.89 / 0.80-0.82 / 0.82 after; the
        // loop for any processor the same either way.
        w = entry_at(td, bb & dmask);
        if (!WIDE) REFILL();
        // A distance's code and extra bits go in one shift on a 32-bit build too, which
        // refills before a sub-table entry only, where it used to refill between every
        // distance's code and its extra bits: i686 build under Wine against libdeflate (8
        // processes of 5 rounds) 0.89 / 0.89 / 0.80 / 0.82 before, 0.96 / 0.95 / 0.83 / 0.82
        // after; the loop for any processor 0.78 / 0.78 / 0.73 / 0.72 before, 0.89 / 0.90 /
        // 0.79 / 0.76 after.
        CONSUME(w);
        if (kind_of(w) >= KIND_INVALID) { // a link, or an invalid code
            if (kind_of(w) == KIND_INVALID) {
                end = FAST_INVALID;
                break;
            }
            if (!WIDE) REFILL();
            w = linked_entry(td, w, bb);
            CONSUME(w);
            if (kind_of(w) == KIND_INVALID) {
                end = FAST_INVALID;
                break;
            }
        }
        unsigned dist = value_of(w) + extra_of(saved, w);
        w = entry_at(tl, bb & lmask);
        REFILL();

        size_t q = (size_t)(out - win);
        const uint8_t *src = dist <= q ? out - dist : out + RING_SIZE - dist;
        if (src + len <= win + RING_SIZE) {
            copy_fast(out, src, dist, len);
            out += len;
        } else { // the source crosses the ring's end
            G.window_pos = (unsigned)q;
            copy_plain(dist, len);
            out = win + G.window_pos;
            out_stop = win + half_end(G.window_pos);
        }
    }
    G.read_left = (int)(in_stop + FAST_MIN_INPUT - in);
    G.read_ptr = (uint8_t *)in;
    G.bit_buf = bb;
    G.bit_count = bl & (BITBUF_BITS - 1);
    if (out >= out_stop) out = win + half_filled((unsigned)(out - win));
    G.window_pos = (unsigned)(out - win);
    return end;
}

// The fast loop is compiled twice on x86: once for any processor and once with BMI2, whose
// shifts take their count in any register (not only CL) and leave the flags alone, and SSE2
// (which every processor with BMI2 has), whose 16-byte copies of a match go through a vector
// register, where the i686 build's took four of its seven general ones. The second is
// taken where cpuid reports both (INFLATE_NO_BMI2 leaves it out, so that tests run the
// first on such a processor too). Against libdeflate (bench/inflate_bench, 9 rounds, text /
// binaries at level 6, AMD EPYC, both builds in turn): i686 build under Wine 0.70 / 0.67
// before, 0.77 / 0.72 with BMI2, 0.79 / 0.73 with the literal stored as a word (see
// put_literal) and 0.82-0.84 / 0.74-0.76 with SSE2 as well (against MinGW zlib 1.90 / 1.79
// before, 2.15-2.23 / 1.82-1.92 after); x86-64 0.89 / 0.85 before, 0.93 / 0.90 after; win64
// 0.87 / 0.83 before, 0.88 / 0.85 after. An earlier x86-64 loop gained nothing from BMI2;
// this one, short of registers on i686 above all, does. AVX2 instead of SSE2: no faster.
typedef FastEnd (*FastLoop)(const huft *tl, const huft *td);

static __attribute__((noinline)) FastEnd decode_fast_any(const huft *tl, const huft *td) {
    return decode_fast(tl, td);
}

#if (defined(__i386__) || defined(__x86_64__)) && !defined(INFLATE_NO_BMI2)
#define FAST_LOOP_BMI2 1
static __attribute__((noinline, target("bmi2,sse2"))) FastEnd decode_fast_bmi2(const huft *tl,
                                                                               const huft *td) {
    return decode_fast(tl, td);
}
#endif

static FastLoop pick_fast_loop(void) {
#ifdef FAST_LOOP_BMI2
    if (cpu_has_bmi2()) return decode_fast_bmi2;
#endif
    return decode_fast_any;
}

// Chosen on first use; every thread that races to it chooses the same.
static FastLoop fast_loop;

// ---------------------------------------------------------------------------------------
// Blocks

enum { SYMBOL_NEXT, SYMBOL_END_OF_BLOCK, SYMBOL_INVALID };

// One symbol the plain way: a literal, a match, or the end of the block.
static int decode_plain(const huft *tl, const huft *td, unsigned lb, unsigned db) {
    huft h;
    if (lookup(tl, lb, &h)) return SYMBOL_INVALID;
    drop(code_bits(h));
    if (h.e == KIND_LITERAL) {
        put_byte(h.n);
        return SYMBOL_NEXT;
    }
    if (h.e == KIND_END) return SYMBOL_END_OF_BLOCK;
    unsigned extra, dist_extra;
    if (!take(h.e, &extra)) return SYMBOL_INVALID;
    unsigned len = h.n + extra;
    if (lookup(td, db, &h)) return SYMBOL_INVALID;
    drop(code_bits(h));
    if (!take(h.e, &dist_extra)) return SYMBOL_INVALID;
    copy_plain(h.n + dist_extra, len);
    return SYMBOL_NEXT;
}

int inflate_codes(huft *tl, huft *td, int bl, int bd) {
    // The fast loop takes tables of its own width. A block without distance codes (bd 0, td
    // null) has no length codes either (inflate_dynamic refuses it otherwise), so nothing
    // looks at td.
    const bool fast = bl == lbits && (bd == dbits || bd == 0);
    if (fast_loop == NULL) fast_loop = pick_fast_loop();
    for (;;) {
        if (fast && G.read_left >= FAST_MIN_INPUT) {
            FastEnd end = (*fast_loop)(tl, td);
            if (end == FAST_END_OF_BLOCK) return 0;
            if (end == FAST_INVALID) return 1;
        }
        int r = decode_plain(tl, td, (unsigned)bl, (unsigned)bd);
        if (r == SYMBOL_END_OF_BLOCK) return 0;
        if (r == SYMBOL_INVALID) return 1;
    }
}

// Copies len bytes of a stored block: the whole bytes still in the bit buffer first, then
// straight from read_buf, in pieces that end at the buffer's end or the half's end.
static int copy_stored_block(unsigned len) {
    for (; len > 0 && G.bit_count >= 8; len--) {
        put_byte((unsigned)(G.bit_buf & 0xFF));
        drop(8);
    }
    if (G.bit_count == 0) G.bit_buf = 0; // copies of the bytes below are read from there
    while (len > 0) {
        if (G.read_left <= 0) {
            int c = next_byte();
            if (c < 0) return 1;
            put_byte((unsigned)c);
            len--;
            continue;
        }
        unsigned room = half_end(G.window_pos) - G.window_pos, n = len;
        if (n > (unsigned)G.read_left) n = (unsigned)G.read_left;
        if (n > room) n = room;
        memcpy(G.window + G.window_pos, G.read_ptr, n);
        G.read_ptr += n;
        G.read_left -= (int)n;
        G.window_pos = n == room ? half_filled(G.window_pos + n) : G.window_pos + n;
        len -= n;
    }
    return 0;
}

int inflate_stored(void) {
    drop(G.bit_count % 8);
    unsigned len, nlen;
    if (!take(16, &len) || !take(16, &nlen)) return 1;
    if (nlen != (~len & 0xFFFF)) return 1;
    return copy_stored_block(len);
}

// The fixed codes of RFC 1951 3.2.6, built on the first fixed block of the run.
static int build_fixed_tables(void) {
    unsigned lengths[LITLEN_CODES];
    unsigned i = 0;
    for (; i < 144; i++)
        lengths[i] = 8;
    for (; i < 256; i++)
        lengths[i] = 9;
    for (; i < 280; i++)
        lengths[i] = 7;
    for (; i < LITLEN_CODES; i++)
        lengths[i] = 8;
    G.fixed_lit_bits = lbits;
    int r = huft_build(lengths, LITLEN_CODES, 257, cplens, cplext, &G.fixed_lit_table,
                       &G.fixed_lit_bits);
    if (r != 0) {
        G.fixed_lit_table = NULL;
        return r;
    }
    for (i = 0; i < 30; i++)
        lengths[i] = 5;
    G.fixed_dist_bits = dbits;
    r = huft_build(lengths, 30, 0, cpdist, cpdext, &G.fixed_dist_table, &G.fixed_dist_bits);
    if (r > 1) { // codes 30 and 31 are missing: incomplete, as it should be
        huft_free(G.fixed_lit_table);
        G.fixed_lit_table = NULL;
        return r;
    }
    return 0;
}

int inflate_fixed(void) {
    if (G.fixed_lit_table == NULL) {
        int r = build_fixed_tables();
        if (r != 0) return r;
    }
    return inflate_codes(G.fixed_lit_table, G.fixed_dist_table, G.fixed_lit_bits,
                         G.fixed_dist_bits) != 0;
}

// The code lengths of a dynamic block, through its code-length code: count of them in
// lengths; 0, or 1 for invalid data.
static int read_code_lengths(const huft *tc, unsigned bc, unsigned *lengths, unsigned count) {
    unsigned i = 0, previous = 0;
    while (i < count) {
        huft h;
        // The unused half of a single 1-bit code is no length.
        if (lookup(tc, bc, &h) || h.e != KIND_LITERAL) return 1;
        drop(h.b);
        unsigned symbol = h.n, repeat, value = 0;
        if (symbol < 16) {
            lengths[i++] = previous = symbol;
            continue;
        }
        if (symbol == 16) {
            if (!take(2, &repeat)) return 1;
            repeat += 3;
            value = previous;
        } else if (symbol == 17) {
            if (!take(3, &repeat)) return 1;
            repeat += 3;
        } else {
            if (!take(7, &repeat)) return 1;
            repeat += 11;
        }
        if (i + repeat > count) return 1;
        while (repeat-- > 0)
            lengths[i++] = value;
        previous = value;
    }
    return 0;
}

// Reads the header's three counts and the code-length code; 0 and the table in *tc, or the
// block's result.
static int read_dynamic_header(unsigned *nl, unsigned *nd, huft **tc, int *bc) {
    unsigned hlit, hdist, hclen;
    if (!take(5, &hlit) || !take(5, &hdist) || !take(4, &hclen)) return 1;
    // Every count the fields can give is taken: up to 288 and 32, beyond RFC 1951's 286
    // and 30; the extra codes are invalid when met.
    *nl = 257 + hlit;
    *nd = 1 + hdist;
    unsigned lengths[CODELEN_CODES] = {0};
    for (unsigned i = 0; i < 4 + hclen; i++)
        if (!take(3, &lengths[border[i]])) return 1;
    *bc = CODELEN_BITS;
    int r = huft_build(lengths, CODELEN_CODES, CODELEN_CODES, NULL, NULL, tc, bc);
    if (r == 0 && *bc == 0) r = 1; // no code at all
    if (r == 1) huft_free(*tc);
    return r;
}

static void note_incomplete(const char *text) {
    if (G.quiet_level == 0) zmsg(MF_ERRSTREAM, "%s", text);
}

// A length symbol has a code: then the block needs distances.
static int has_length_codes(const unsigned *lengths, unsigned nl) {
    for (unsigned i = 257; i < nl; i++)
        if (lengths[i] != 0) return 1;
    return 0;
}

int inflate_dynamic(void) {
    unsigned nl, nd, lengths[LITLEN_CODES + DIST_CODES];
    huft *tc, *tl, *td;
    int bc;
    int r = read_dynamic_header(&nl, &nd, &tc, &bc);
    if (r != 0) return r;
    r = read_code_lengths(tc, (unsigned)bc, lengths, nl + nd);
    huft_free(tc);
    if (r != 0) return r;

    int bl = lbits, bd = dbits;
    r = huft_build(lengths, nl, 257, cplens, cplext, &tl, &bl);
    if (r == 0 && bl == 0) r = 1;
    if (r == 1) {
        note_incomplete("(incomplete l-tree)  ");
        huft_free(tl);
        return 1;
    }
    if (r != 0) return r;
    r = huft_build(lengths + nl, nd, 0, cpdist, cpdext, &td, &bd);
    if (bd == 0 && has_length_codes(lengths, nl)) {
        note_incomplete("(incomplete d-tree)  ");
        huft_free(tl);
        return 1;
    }
    if (r > 1) { // an incomplete distance code is taken: its gaps are invalid when met
        huft_free(tl);
        return r;
    }
    r = inflate_codes(tl, td, bl, bd);
    huft_free(tl);
    huft_free(td);
    return r != 0;
}

int inflate_block(int *last) {
    unsigned final_bit, type;
    if (!take(1, &final_bit) || !take(2, &type)) return 1;
    *last = (int)final_bit;
    switch (type) {
    case 0:
        return inflate_stored();
    case 1:
        return inflate_fixed();
    case 2:
        return inflate_dynamic();
    default:
        return INFLATE_BAD_CODES;
    }
}

int inflate(void) {
    G.window_pos = 0;
    G.bit_buf = 0;
    G.bit_count = 0;
    int last;
    do {
        int r = inflate_block(&last);
        if (r != INFLATE_OK) return r;
    } while (!last);
    // Bits left over after the final block are not given back to the input.
    if (G.window_pos < WINDOW_SIZE)
        output(G.window, G.window_pos);
    else
        output(G.window + WINDOW_SIZE, G.window_pos - WINDOW_SIZE);
    return 0;
}
