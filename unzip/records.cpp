// Fixed-size ZIP records (central directory entry, local header), the variable fields after
// them, and the scan of an extra field for Unix time stamps. Every number is read through
// one little-endian cursor; decoded values land in G.
#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include "unzip/unzip.h"

static const char FilenameTooLongTrunc[] = "warning:  filename too long--truncating.\n";
static const char ExtraFieldTooLong[] = "warning:  extra field too long (%d).  Ignoring...\n";
static const char QuitPrompt[] = "--- Press `Q' to quit, or any other key to continue ---";

uint16_t makeword(const uint8_t *p) {
    return (uint16_t)(p[0] | (p[1] << 8));
}

uint32_t makelong(const uint8_t *p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

// ---------------------------------------------------------------------------------------
// The cursor

Cursor cursor_over(const uint8_t *p, unsigned len) {
    Cursor c = {p, len, 0};
    return c;
}

// The next n bytes, or NULL (and the cursor short) when fewer are left.
static const uint8_t *advance(Cursor *c, unsigned n) {
    if (c->is_short || n > c->left) {
        c->is_short = 1;
        c->left = 0;
        return NULL;
    }
    const uint8_t *p = c->p;
    c->p += n;
    c->left -= n;
    return p;
}

uint8_t take8(Cursor *c) {
    const uint8_t *p = advance(c, 1);
    return p != NULL ? p[0] : 0;
}

uint16_t take16(Cursor *c) {
    const uint8_t *p = advance(c, 2);
    return p != NULL ? makeword(p) : 0;
}

uint32_t take32(Cursor *c) {
    const uint8_t *p = advance(c, 4);
    return p != NULL ? makelong(p) : 0;
}

void skip(Cursor *c, unsigned n) {
    advance(c, n);
}

int next_ef_block(Cursor *field, ef_block *block) {
    if (field->left < EF_BLOCK_HEADER_LEN) return 0;
    block->start = field->p;
    block->id = take16(field);
    unsigned size = take16(field);
    if (size > field->left) return 0; // inconsistent: the block runs past the field
    block->data = cursor_over(field->p, size);
    skip(field, size);
    return 1;
}

Cursor read_record(uint8_t *buf, unsigned len) {
    Cursor c = cursor_over(buf, len);
    if (readbuf((char *)buf, len) != len) c.is_short = 1;
    return c;
}

// ---------------------------------------------------------------------------------------
// The records

static void take_member_fields(Cursor *c, member_fields *h) {
    h->version_needed = take8(c);
    h->host_needed = take8(c);
    h->flags = take16(c);
    h->method = take16(c);
    h->dos_time = take16(c);
    h->dos_date = take16(c);
    h->crc = take32(c);
    h->csize = take32(c);
    h->usize = take32(c);
    h->name_len = take16(c);
    h->extra_len = take16(c);
}

int get_cdir_ent(void) {
    uint8_t b[CDIR_FIXED_LEN];
    Cursor c = read_record(b, CDIR_FIXED_LEN);
    if (c.is_short) return ZR_EOF;
    cdir_file_hdr &h = G.central_hdr;
    h.version_made_by = take8(&c);
    h.host_made_by = take8(&c);
    take_member_fields(&c, &h);
    h.comment_len = take16(&c);
    h.disk_start = take16(&c);
    h.internal_attr = take16(&c);
    h.external_attr = take32(&c);
    h.local_offset = take32(&c);
    return 0;
}

static int host_in(int host, const int *list, int n) {
    for (int i = 0; i < n; i++)
        if (list[i] == host) return 1;
    return 0;
}

int process_cdir_file_hdr(void) {
    int r = get_cdir_ent();
    if (r) return r;
    entry_info *e = G.cur_entry;
    e->host_id =
        G.central_hdr.host_made_by >= HOST_UNKNOWN ? HOST_UNKNOWN : G.central_hdr.host_made_by;

    // Hosts whose file systems keep names in upper case.
    static const int upper_case_hosts[] = {0, 2, 4, 9, 10, 15, 17};
    static const int label_hosts[] = {0, 6, 11, 5};
    e->lowercase = G.lower_names && host_in(e->host_id, upper_case_hosts, 7);
    if ((G.central_hdr.external_attr & EATTR_DOS_LABEL) && host_in(e->host_id, label_hosts, 4)) {
        e->is_label = 1;
        e->lowercase = 0;
    } else {
        e->is_label = 0;
    }
    G.name_flags = G.central_hdr.flags;
    return 0;
}

int process_local_file_hdr(void) {
    uint8_t b[LOCAL_FIXED_LEN];
    Cursor c = read_record(b, LOCAL_FIXED_LEN);
    if (c.is_short) return ZR_EOF;
    local_file_hdr &h = G.local_hdr;
    take_member_fields(&c, &h);

    G.csize_left = h.csize;
    G.usize = h.usize;
    if (h.flags & GPF_DATA_DESCRIPTOR) {
        // Sizes and CRC follow the data; the central directory has the true values.
        h.crc = G.cur_entry->stored_crc;
        h.csize = G.cur_entry->packed_size;
        G.csize_left = h.csize;
    }
    G.name_flags = h.flags;
    return 0;
}

// ---------------------------------------------------------------------------------------
// Variable fields

static int skip_bytes(unsigned length) {
    zoff_t here = G.block_start + (G.read_ptr - G.read_buf) - G.prefix_bytes;
    return archive_seek(here + length);
}

// Sends the window's text and starts it afresh.
static void send_window(uint8_t **q, int flags) {
    (*G.message_fn)(&G, G.window, (uint32_t)(*q - G.window), flags);
    *q = G.window;
}

// Shows the archive comment: CRs dropped, ESC shown as "^[", Ctrl-S as a pause mark.
static int display_string(unsigned length) {
    uint8_t *q = G.window;
    while (length > 0) {
        unsigned want = length < OUTBUF_SIZE ? length : OUTBUF_SIZE;
        unsigned got = readbuf((char *)G.write_buf, want);
        if (got == 0) return ZR_EOF;
        length -= got;
        for (unsigned i = 0; i < got; i++) {
            uint8_t c = G.write_buf[i];
            int pause = 0;
            if (c == '\r') continue;
            if (c == 0x1B) {
                *q++ = '^';
                *q++ = '[';
            } else if (c == 0x13) {
                pause = 1;
                if (i + 1 < got && G.write_buf[i + 1] == '\n')
                    *q++ = G.write_buf[++i];
                else if (i + 2 < got && G.write_buf[i + 1] == '\r' && G.write_buf[i + 2] == '\n')
                    i += 2, *q++ = '\n';
            } else {
                *q++ = c;
            }
            if (pause || q - G.window > WINDOW_SIZE - 3) {
                send_window(&q, 0);
                if (pause && G.extracting) (*G.pause_fn)(&G, QuitPrompt, 0);
            }
        }
        send_window(&q, 0);
    }
    (*G.message_fn)(&G, G.window, 0, MF_TRAILNL);
    return 0;
}

static void convert_name_charset(void) {
    const entry_info *e = G.cur_entry;
    if (G.name_flags & GPF_UTF8) {
        // Java and most current tools write non-ASCII names as UTF-8 and say so here.
        utf8_to_ansi(G.member_name, sizeof G.member_name);
    } else if (e->host_id == HOST_FS_FAT || e->host_id == HOST_FS_HPFS ||
               (e->host_id == HOST_FS_NTFS &&
                G.central_hdr.version_made_by == VERSION_NTFS_OEM_NAMES)) {
        oem_to_ansi(G.member_name);
    }
}

static int read_file_name(unsigned length) {
    int result = 0;
    unsigned excess = 0;
    if (length > MAX_NAME) {
        zmsg(MSG_ERROR, "%s", FilenameTooLongTrunc);
        result = ZR_WARN;
        excess = length - MAX_NAME;
        length = MAX_NAME;
    }
    if (readbuf(G.member_name, length) != length) return ZR_EOF;
    G.member_name[length] = '\0';
    convert_name_charset();
    if (G.cur_entry->lowercase)
        for (char *p = G.member_name; *p; p++)
            *p = (char)tolower((uint8_t)*p);
    // A DOS label is stored as an 8.3 name; the dot is not part of it.
    if (G.cur_entry->is_label && strlen(G.member_name) > 8 && G.member_name[8] == '.')
        memmove(G.member_name + 8, G.member_name + 9, strlen(G.member_name + 9) + 1);
    if (excess > 0) {
        zmsg(MSG_ERROR, "%s", fnfilter(G.member_name, G.name_area[0]));
        int r = skip_bytes(excess);
        if (r) return r;
    }
    return result;
}

static int read_extra_field(unsigned length) {
    free(G.extra_buf);
    G.extra_buf = (uint8_t *)malloc(length);
    if (G.extra_buf == NULL) {
        zmsg(MSG_ERROR, ExtraFieldTooLong, (int)length);
        return skip_bytes(length);
    }
    if (readbuf((char *)G.extra_buf, length) != length) return ZR_EOF;
    return 0;
}

int do_string(unsigned length, int mode) {
    if (length == 0) {
        // An empty name must not leave the last one read standing, to be written under.
        if (mode == DS_FN) G.member_name[0] = '\0';
        return 0;
    }
    switch (mode) {
    case SKIP:
        return skip_bytes(length);
    case DISPLAY:
        return display_string(length);
    case DS_FN:
        return read_file_name(length);
    case EXTRA_FIELD:
        return read_extra_field(length);
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Unix time stamps in the extra field

enum {
    EB_UT_FLAGS_LEN = 1,  // "UT": the flag byte before the times
    EB_UT_TIME_LEN = 4,   // each time: signed seconds since 1970
    EB_UX_MINLEN = 8,     // "UX": access and modification time ...
    EB_UX_FULLSIZE = 12,  // ... and the owner's user and group ids
    EB_UX2_MINLEN = 4,    // "Ux": user and group ids
    EB_UT_FLAGS = 0x07,   // the flag byte's bits for modification, access, creation time
    EB_TIME_FLAGS = 0xFF, // the time bits of the result (all but EB_UX2_VALID)
    DOSDATE_1980_01_01 = 0x0021
};

// One time of a "UT" block; clears its flag bit when the block is too short or the time is
// negative on a date that is not the 1980 placeholder.
static void ut_time(Cursor *d, unsigned bit, int compatible, int32_t *out, unsigned *flags) {
    if (!(*flags & bit)) return;
    if (d->left < EB_UT_TIME_LEN) {
        *flags &= ~bit;
        return;
    }
    int32_t t = (int32_t)take32(d);
    *out = t;
    if (t < 0 && !compatible) *flags &= ~bit;
}

static unsigned scan_ut(Cursor d, int is_central, unsigned dos_date, stamp_times *z, unsigned flags,
                        int *compatible) {
    flags &= ~(unsigned)EB_TIME_FLAGS;
    if (d.left < EB_UT_FLAGS_LEN || z == NULL) return flags;
    flags |= take8(&d) & EB_UT_FLAGS;
    if (flags & EB_UT_FL_MTIME) {
        if (d.left >= EB_UT_TIME_LEN) {
            int32_t t = (int32_t)take32(&d);
            if (t < 0) {
                *compatible = dos_date == DOSDATE_1980_01_01;
                if (!*compatible) return 0;
            } else {
                *compatible = 0;
            }
            z->mtime = t;
        } else {
            flags &= ~EB_UT_FL_MTIME;
        }
    }
    if (is_central) return flags;
    ut_time(&d, EB_UT_FL_ATIME, *compatible, &z->atime, &flags);
    ut_time(&d, EB_UT_FL_CTIME, *compatible, &z->ctime, &flags);
    return flags;
}

static unsigned scan_ux(Cursor d, unsigned dos_date, stamp_times *z, uint16_t *ids, unsigned flags,
                        int *compatible) {
    unsigned len = d.left;
    int32_t atime = (int32_t)take32(&d), mtime = (int32_t)take32(&d);
    if (len >= EB_UX_MINLEN && z != NULL) {
        z->atime = atime;
        z->mtime = mtime;
        flags |= EB_UT_FL_MTIME | EB_UT_FL_ATIME;
        if (mtime < 0) {
            *compatible = dos_date == DOSDATE_1980_01_01;
            if (!*compatible) flags = 0;
        } else {
            *compatible = 0;
        }
        if (atime < 0 && !*compatible && (flags & EB_TIME_FLAGS)) flags &= ~EB_UT_FL_ATIME;
    }
    if (len >= EB_UX_FULLSIZE && ids != NULL) {
        ids[0] = take16(&d);
        ids[1] = take16(&d);
        flags |= EB_UX2_VALID;
    }
    return flags;
}

unsigned ef_scan_for_izux(const uint8_t *ef, unsigned ef_len, int is_central, unsigned dos_date,
                          stamp_times *out_times, uint16_t *out_ids) {
    if (ef_len == 0 || ef == NULL) return 0;
    unsigned flags = 0;
    int new_type_seen = 0, compatible = 0;
    Cursor field = cursor_over(ef, ef_len);
    ef_block block;
    while (next_ef_block(&field, &block)) {
        switch (block.id) {
        case EF_TIME:
            flags = scan_ut(block.data, is_central, dos_date, out_times, flags, &compatible);
            new_type_seen = 1;
            break;
        case EF_IZUNIX2:
            if (!new_type_seen) {
                flags &= ~(unsigned)EB_TIME_FLAGS;
                new_type_seen = 1;
            }
            if (block.data.left >= EB_UX2_MINLEN && out_ids != NULL) {
                out_ids[0] = take16(&block.data);
                out_ids[1] = take16(&block.data);
                flags |= EB_UX2_VALID;
            }
            break;
        case EF_IZUNIX:
            if (!new_type_seen)
                flags = scan_ux(block.data, dos_date, out_times, out_ids, flags, &compatible);
            break;
        }
    }
    return flags;
}
