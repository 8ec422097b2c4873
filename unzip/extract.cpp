// The member loop: walks the central directory in batches of BATCH_SIZE entries, decides
// per entry whether it is extracted, finds each member's local header (retrying without
// the prefix correction when the offsets do not fit), and extracts it through flush and
// close_outfile. Existing files are overwrite.cpp's.
#include <io.h>
#include <stdlib.h>
#include <string.h>

#include "unzip/unzip.h"

static const char CentSigMsg[] =
    "error:  expected central file header signature not found (file #%u).\n";
static const char FilNamMsg[] = "%s:  bad filename length (%s)\n";
static const char ExtFieldMsg[] = "%s:  bad extra field length (%s)\n";
static const char BadFileCommLength[] = "%s:  bad file comment length\n";
static const char OffsetMsg[] = "file #%d:  bad zipfile offset (%s):  %ld\n";
static const char EmptyNameMsg[] = "file #%u:  empty file name (%s), skipped\n";
static const char OverlapMsg[] = "error:  refusing %s (%s)\n";
static const char LocalHdrSig[] = "local header sig";
static const char BadLocalHdr[] = "file #%d:  bad local header\n";
static const char AttemptRecompensate[] = "  (attempting to re-compensate)\n";
static const char SkipVolumeLabel[] = "   skipping: %-22s  %svolume label\n";
static const char VersionMsg[] = "   skipping: %-22s  need %s compat. v%u.%u (can do v%u.%u)\n";
static const char ComprMsgNum[] = "   skipping: %-22s  unsupported compression method %d\n";
static const char SkipEncrypted[] = "   skipping: %-22s  encrypted (not supported)\n";
static const char VMSFormatQuery[] = "\n%s:  stored in VMS format.  Extract anyway? (y/n) ";
static const char ExtractMsg[] = "%8sing: %-22s  %s%s";
static const char ErrUnzipFile[] = "  error:  %s%s %s\n";
static const char FileUnknownCompMethod[] = "%s:  unknown compression method\n";
static const char FileTruncated[] = "warning:  %s is probably truncated\n";
static const char BadCRC[] = " bad CRC %08lx  (should be %08lx)\n";
static const char FilenameNotMatched[] = "caution: filename not matched:  %s\n";
static const char ExclFilenameNotMatched[] = "caution: excluded filename not matched:  %s\n";
static const char ErrorInArchive[] = "At least one %serror was detected in %s.\n";
static const char ZeroFilesTested[] = "Caution:  zero files tested in %s.\n";
static const char NoErrInCompData[] = "No errors detected in compressed data of %s.\n";
static const char NoErrInTestedFiles[] = "No errors detected in %s for the %d file%s tested.\n";
static const char UncountedEntries[] = "warning [%s]:  central directory holds %lu bytes after its "
                                       "%u counted entries (not processed)\n";
static const char FilesSkipped[] =
    "%d file%s skipped because of unsupported compression or encoding.\n";

static void keep_worst(int *result, int code) {
    if (code > *result) *result = code;
}

// How a step of the member loop ends.
enum Step {
    STEP_DONE,        // the step did its part; the member goes on
    STEP_NEXT_MEMBER, // nothing more for this member (its message and result are given)
    STEP_END_LOOP,    // no further member: the loop ends with its result
};

// Bytes of the file, from start up to end.
struct Span {
    zoff_t start, end;
};

// State of one run of the member loop.
struct LoopState {
    int result;
    uint16_t skipped;   // entries refused by store_info
    uint16_t remaining; // directory entries not yet read
    unsigned batch;
    long last_index;              // index of the last member handed to extraction
    zoff_t saved_prefix;          // correction put aside while re-compensating
    char *fn_matched;             // one flag per include pattern, or NULL
    char *xn_matched;             // one flag per exclude pattern, or NULL
    int stop_batches;             // the directory is damaged: read no further batch
    unsigned dir_pos[BATCH_SIZE]; // position in the directory of each accepted entry, from 0
    // Bytes taken by members (see take_member_bytes): the directory's, those of the members
    // of this batch, how many all members have taken so far, and where they lie.
    Span directory;
    Span taken[BATCH_SIZE];
    unsigned taken_count;
    zoff_t taken_total;
    Span extent; // lowest start to highest end of the members taken
};

// ---------------------------------------------------------------------------------------
// Selection

// Include lists end with a NULL entry; the counts only size the matched flags (an "-x"
// first leaves the default "*" with a count of 0).
static int matches_any(char **names, int count, char *matched) {
    for (int i = 0; names[i] != NULL; i++) {
        if (match(G.member_name, names[i], G.match_nocase)) {
            if (matched != NULL && i < count) matched[i] = 1;
            return 1;
        }
    }
    return 0;
}

static int is_selected(LoopState *st) {
    if (G.select_all) return 1;
    if (!matches_any(G.include_names, G.include_count, st->fn_matched)) return 0;
    return !matches_any(G.exclude_names, G.exclude_count, st->xn_matched);
}

// Versions are the format's version times 10.
static int refuse_version(const char *host, unsigned can_do) {
    unsigned needed = G.central_hdr.version_needed;
    if (G.quiet_level == 0)
        zmsg(MSG_ERROR, VersionMsg, display_name(), host, needed / 10u, needed % 10u, can_do / 10u,
             can_do % 10u);
    return 0;
}

int store_info(void) {
    entry_info *e = G.cur_entry;
    e->is_encrypted = G.central_hdr.flags & GPF_ENCRYPTED;
    e->is_text = G.central_hdr.internal_attr & IATTR_TEXT;
    e->stored_crc = G.central_hdr.crc;
    e->packed_size = G.central_hdr.csize;
    e->convert_eol = G.text_conv == 0 ? 0 : G.text_conv == 1 ? e->is_text : 1;

    if (G.central_hdr.host_needed == HOST_VMS) {
        if (G.central_hdr.version_needed > VMS_VERSION_CAN_DO)
            return refuse_version("VMS", VMS_VERSION_CAN_DO);
        if (!G.test_only && !G.overwrite_always) {
            zmsg(MSG_ERROR_QUERY, VMSFormatQuery, display_name());
            read_reply(G.reply_buf, 9);
            if (G.reply_buf[0] != 'y' && G.reply_buf[0] != 'Y') return 0;
        }
    } else if (G.central_hdr.version_needed > VERSION_CAN_DO) {
        return refuse_version("PK", VERSION_CAN_DO);
    }
    if (G.central_hdr.method != METHOD_STORED && G.central_hdr.method != METHOD_DEFLATED) {
        if (G.quiet_level == 0) zmsg(MSG_ERROR, ComprMsgNum, display_name(), G.central_hdr.method);
        return 0;
    }
    if (e->is_encrypted) {
        if (G.quiet_level == 0) zmsg(MSG_ERROR, SkipEncrypted, display_name());
        return 0;
    }
    mapattr();
    e->local_offset = G.central_hdr.local_offset;
    return 1;
}

// ---------------------------------------------------------------------------------------
// Directory scan

// Reads one directory entry into cur_entry and decides on it; 0 to go on, else stop.
static int scan_entry(LoopState *st, unsigned *n) {
    if (readbuf(G.sig_buf, ZIP_SIG_LEN) != ZIP_SIG_LEN) {
        st->result = ZR_EOF;
        return 1;
    }
    if (memcmp(G.sig_buf, G.sig_central, ZIP_SIG_LEN) != 0) {
        zmsg(MSG_ERROR, CentSigMsg, *n);
        zmsg(MSG_ERROR, "%s", ReportMsg);
        st->result = ZR_BADERR;
        return 1;
    }
    int r = process_cdir_file_hdr();
    if (r != 0) {
        st->result = r;
        return 1;
    }
    r = do_string(G.central_hdr.name_len, DS_FN);
    keep_worst(&st->result, r);
    if (r > ZR_WARN) {
        zmsg(MSG_ERROR, FilNamMsg, display_name(), "central");
        return 1;
    }
    r = do_string(G.central_hdr.extra_len, EXTRA_FIELD);
    keep_worst(&st->result, r);
    if (r > ZR_WARN) {
        zmsg(MSG_ERROR, ExtFieldMsg, display_name(), "central");
        return 1;
    }
    r = do_string(G.central_hdr.comment_len, SKIP);
    keep_worst(&st->result, r);
    if (r > ZR_WARN) {
        zmsg(MSG_ERROR_LEADNL, BadFileCommLength, display_name());
        return 1;
    }
    unsigned pos = (unsigned)(G.end_rec.total_entries - st->remaining - 1);
    if (G.member_name[0] == '\0') {
        zmsg(MSG_ERROR, EmptyNameMsg, pos, "central");
        keep_worst(&st->result, ZR_WARN);
    } else if (is_selected(st)) {
        if (store_info())
            st->dir_pos[(*n)++] = pos;
        else
            st->skipped++;
    }
    return 0;
}

static unsigned scan_batch(LoopState *st) {
    unsigned n = 0;
    while (st->remaining > 0 && n < BATCH_SIZE) {
        st->remaining--;
        G.cur_entry = &G.entry_batch[n];
        if (scan_entry(st, &n)) {
            st->stop_batches = 1;
            break;
        }
    }
    return n;
}

// ---------------------------------------------------------------------------------------
// Finding a member's local header

static int has_local_sig(void) {
    return memcmp(G.sig_buf, G.sig_local, ZIP_SIG_LEN) == 0;
}

// Ends the loop at once; its result is raised to code (a failed seek or read while
// re-compensating, a full disk, a directory that cannot be read again).
static Step end_loop_with(LoopState *st, int code) {
    keep_worst(&st->result, code);
    return STEP_END_LOOP;
}

// The member is given up with its message; result raised to code.
static Step give_up_member(LoopState *st, int code) {
    keep_worst(&st->result, code);
    return STEP_NEXT_MEMBER;
}

// Swaps the prefix correction in or out and reads the signature again.
static Step recompensate(LoopState *st, long index, zoff_t request) {
    zmsg(MSG_ERROR, "%s", AttemptRecompensate);
    if (G.prefix_bytes != 0) {
        st->saved_prefix = G.prefix_bytes;
        G.prefix_bytes = 0;
    } else {
        G.prefix_bytes = st->saved_prefix;
    }
    int r = archive_seek(G.cur_entry->local_offset);
    if (r != 0) return end_loop_with(st, r);
    if (readbuf(G.sig_buf, ZIP_SIG_LEN) != ZIP_SIG_LEN) {
        zmsg(MSG_ERROR, OffsetMsg, (int)index, "EOF", (long)request);
        return give_up_member(st, ZR_BADERR);
    }
    if (!has_local_sig()) {
        zmsg(MSG_ERROR, OffsetMsg, (int)index, LocalHdrSig, (long)request);
        return give_up_member(st, ZR_BADERR);
    }
    return STEP_DONE;
}

// Positions the input after the member's local signature.
static Step seek_local_header(LoopState *st, long index) {
    zoff_t request = G.cur_entry->local_offset + G.prefix_bytes;
    if (request < 0) {
        zmsg(MSG_ERROR, SeekMsg, G.archive_path, ReportMsg);
        keep_worst(&st->result, ZR_ERR);
        if (index != 0 || G.prefix_bytes == 0) return give_up_member(st, ZR_BADERR);
        zmsg(MSG_ERROR, "%s", AttemptRecompensate);
        st->saved_prefix = G.prefix_bytes;
        G.prefix_bytes = 0;
        request = G.cur_entry->local_offset;
        if (request < 0) {
            zmsg(MSG_ERROR, SeekMsg, G.archive_path, ReportMsg);
            return give_up_member(st, ZR_BADERR);
        }
    }
    // An offset past the end of the file is as wrong as one that misses the signature, so
    // all three failures may retry with the correction swapped.
    const char *what = NULL;
    zoff_t where = request;
    if (archive_seek(G.cur_entry->local_offset) != 0) {
        what = "lseek";
        where = request - request % INBUF_SIZE;
    } else if (readbuf(G.sig_buf, ZIP_SIG_LEN) != ZIP_SIG_LEN) {
        what = "EOF";
    } else if (!has_local_sig()) {
        what = LocalHdrSig;
    } else {
        return STEP_DONE;
    }
    zmsg(MSG_ERROR, OffsetMsg, (int)index, what, (long)where);
    int may_retry =
        (index == 0 && G.prefix_bytes != 0) || (G.prefix_bytes == 0 && st->saved_prefix != 0);
    if (!may_retry) return give_up_member(st, what == LocalHdrSig ? ZR_ERR : ZR_BADERR);
    keep_worst(&st->result, ZR_ERR);
    return recompensate(st, index, request);
}

// Reads the local header, name and extra field.
static Step read_local_header(LoopState *st, long index) {
    int r = process_local_file_hdr();
    if (r != 0) {
        zmsg(MSG_ERROR_LEADNL, BadLocalHdr, (int)index);
        return give_up_member(st, r);
    }
    r = do_string(G.local_hdr.name_len, DS_FN);
    keep_worst(&st->result, r);
    if (r > ZR_WARN) {
        zmsg(MSG_ERROR, FilNamMsg, display_name(), "local");
        return STEP_NEXT_MEMBER;
    }
    if (G.member_name[0] == '\0') {
        zmsg(MSG_ERROR, EmptyNameMsg, st->dir_pos[G.cur_entry - G.entry_batch], "local");
        return give_up_member(st, ZR_WARN);
    }
    free(G.extra_buf);
    G.extra_buf = NULL;
    r = do_string(G.local_hdr.extra_len, EXTRA_FIELD);
    keep_worst(&st->result, r);
    if (r > ZR_WARN) {
        zmsg(MSG_ERROR, ExtFieldMsg, display_name(), "local");
        return STEP_NEXT_MEMBER;
    }
    return STEP_DONE;
}

// ---------------------------------------------------------------------------------------
// Bytes shared between members

// The file offset of the next byte the input delivers.
static zoff_t input_position(void) {
    return G.block_start + (G.read_ptr - G.read_buf);
}

static int overlap(Span a, Span b) {
    return a.start < b.end && b.start < a.end;
}

static zoff_t length_within(Span a, Span within) {
    zoff_t start = a.start > within.start ? a.start : within.start;
    zoff_t end = a.end < within.end ? a.end : within.end;
    return end > start ? end - start : 0;
}

// The bytes the current member occupies: local header, name, extra field and data.
static Span member_bytes(void) {
    Span s;
    s.start = G.cur_entry->local_offset + G.prefix_bytes;
    s.end =
        s.start + LOCAL_HDR_LEN + G.local_hdr.name_len + G.local_hdr.extra_len + G.local_hdr.csize;
    if (s.end > G.archive_len) s.end = G.archive_len; // the file's end stops the reader too
    return s;
}

// Real writers give every member bytes of its own. Members whose data reach over each
// other's headers and data make a small archive extract as much as the square of its
// member count, so a member is refused when its bytes overlap the directory or those of a
// member of its batch taken before it. Across batches only a sum is kept: members that
// share no byte take no more bytes together than lie between the lowest start and the
// highest end among them, outside the directory. Returns why s may not be taken, or NULL.
static const char *shared_bytes(const LoopState *st, Span s, Span extent) {
    if (overlap(s, st->directory)) return "its data overlap the central directory";
    for (unsigned j = 0; j < st->taken_count; j++)
        if (overlap(s, st->taken[j])) return "its data overlap another member's";
    zoff_t room = extent.end - extent.start - length_within(st->directory, extent);
    if (st->taken_total + (s.end - s.start) > room)
        return "members overlap: together they take more bytes than they span";
    return NULL;
}

static Step take_member_bytes(LoopState *st) {
    Span s = member_bytes(), extent = s;
    if (st->taken_total > 0) { // members were taken before: extent covers them too
        if (st->extent.start < extent.start) extent.start = st->extent.start;
        if (st->extent.end > extent.end) extent.end = st->extent.end;
    }
    const char *why = shared_bytes(st, s, extent);
    if (why != NULL) {
        zmsg(MSG_ERROR, OverlapMsg, display_name(), why);
        return give_up_member(st, ZR_ERR);
    }
    st->taken[st->taken_count++] = s;
    st->taken_total += s.end - s.start;
    st->extent = extent;
    return STEP_DONE;
}

// Maps the name, creates directories and applies the overwrite rules.
static Step overwrite_decision(LoopState *st) {
    int new_name = 0;
    for (;;) {
        int rc = mapname(new_name);
        if (rc == ZR_LABEL_SKIPPED)
            zmsg(MSG_ERROR, SkipVolumeLabel, display_name(), G.labels_too ? "hard disk " : "");
        if (rc == ZR_DIR_CREATED || rc == ZR_LABEL_SKIPPED || rc == MAP_NOTHING_TO_WRITE)
            return STEP_NEXT_MEMBER;
        if (rc > ZR_WARN) {
            if (st->result <= ZR_WARN) st->result = ZR_ERR;
            return STEP_NEXT_MEMBER;
        }
        Decision d = decide_existing(new_name);
        if (d == ASK) d = ask_replace(&st->result);
        if (d != ASK) return d == EXTRACT ? STEP_DONE : STEP_NEXT_MEMBER;
        new_name = 1;
    }
}

// ---------------------------------------------------------------------------------------
// One member

// Copies a stored member through the window; the buffered part of each block in one go.
static void copy_stored(void) {
    G.copy_ptr = G.window;
    G.out_count = 0;
    while (G.disk_state == 0) {
        uint32_t room = (uint32_t)(G.window + WINDOW_SIZE - G.copy_ptr);
        if (G.read_left > 0) {
            uint32_t n = (uint32_t)G.read_left < room ? (uint32_t)G.read_left : room;
            memcpy(G.copy_ptr, G.read_ptr, n);
            G.read_ptr += n;
            G.read_left -= (int)n;
            G.copy_ptr += n;
        } else {
            int b = next_byte();
            if (b < 0) break;
            *G.copy_ptr++ = (uint8_t)b;
        }
        if (G.copy_ptr == G.window + WINDOW_SIZE) {
            flush(G.window, WINDOW_SIZE, 0);
            G.out_count += WINDOW_SIZE;
            G.copy_ptr = G.window;
        }
    }
    uint32_t rest = (uint32_t)(G.copy_ptr - G.window);
    flush(G.window, rest, 0);
    G.out_count += rest;
}

static void show_extract_line(const char *verb, int stored) {
    if (G.quiet_level != 0) return;
    const char *tag = "";
    if (G.text_conv == 1) {
        if (stored && G.local_hdr.usize == 0)
            tag = "[empty] ";
        else
            tag = G.cur_entry->is_text ? "[text]  " : "[binary]";
    }
    zmsg(0, ExtractMsg, verb, display_name(), tag, G.to_sink ? "\r\n" : "");
}

static int open_member_output(void) {
    if (G.test_only) {
        if (G.quiet_level == 0) zmsg(0, ExtractMsg, "test", display_name(), "", "");
        return 0;
    }
    if (!G.to_sink) return open_outfile() ? ZR_DISKFULL : 0;
    G.dest_file = stdout;
    fflush(stdout);
    _setmode(fileno(stdout), _O_BINARY);
    return 0;
}

// decode_member's answer for a method it cannot decode; otherwise a result code.
enum { DECODE_UNKNOWN_METHOD = -1 };

static int decode_member(void) {
    switch (G.local_hdr.method) {
    case METHOD_STORED:
        if (!G.test_only) show_extract_line("extract", 1);
        copy_stored();
        finish_writes();
        return 0;
    case METHOD_DEFLATED: {
        if (!G.test_only) show_extract_line("inflat", 0);
        int r = inflate();
        finish_writes(); // a failed write is asked about before any decoding error
        if (r == INFLATE_OK) return 0;
        const char *why = r == INFLATE_NO_MEMORY ? NotEnoughMem : InvalidComprData;
        if (G.quiet_level != 0)
            zmsg(MSG_ERROR, ErrUnzipFile, why, Inflate, display_name());
        else
            zmsg(MSG_ERROR, ErrUnzipNoFile, why, Inflate);
        return r == INFLATE_NO_MEMORY ? ZR_MEM_INFLATE : ZR_ERR;
    }
    default:
        return DECODE_UNKNOWN_METHOD;
    }
}

int extract_or_test_member(void) {
    int result = 0;
    G.first_flush = 1;
    G.running_crc = 0;
    int r = open_member_output();
    if (r != 0) return r;
    defer_leftover_input();

    r = decode_member();
    if (r == DECODE_UNKNOWN_METHOD) {
        zmsg(MSG_ERROR, FileUnknownCompMethod, display_name());
        undefer_input();
        if (!G.test_only && !G.to_sink) close_outfile();
        return ZR_WARN;
    }
    keep_worst(&result, r);
    if (!G.test_only && !G.to_sink) close_outfile();
    if (G.disk_state == 2) {
        zmsg(MSG_ERROR_LEADNL, FileTruncated, display_name());
        keep_worst(&result, ZR_DISKFULL);
    } else if (G.disk_state == 1) {
        keep_worst(&result, ZR_WARN);
    }
    if (result > ZR_WARN) {
        undefer_input();
        return result;
    }
    if (G.running_crc != G.local_hdr.crc) {
        if (G.quiet_level != 0) zmsg(MSG_ERROR, "%-22s ", display_name());
        zmsg(MSG_ERROR, BadCRC, (unsigned long)G.running_crc, (unsigned long)G.local_hdr.crc);
        keep_worst(&result, ZR_ERR);
    } else if (G.quiet_level == 0) {
        if (G.test_only)
            zmsg(0, "%s", " OK\n");
        else if (result == 0)
            zmsg(0, "%s", "\n");
    }
    undefer_input();
    return result;
}

// ---------------------------------------------------------------------------------------
// The loop

// Extracts one accepted entry: STEP_NEXT_MEMBER, or STEP_END_LOOP.
static Step extract_entry(LoopState *st, long index) {
    Step step = seek_local_header(st, index);
    if (step == STEP_DONE) step = read_local_header(st, index);
    if (step == STEP_DONE) step = take_member_bytes(st);
    if (step == STEP_DONE && !G.test_only && !G.to_sink) step = overwrite_decision(st);
    if (step != STEP_DONE) return step;
    G.disk_state = 0;
    keep_worst(&st->result, extract_or_test_member());
    if (G.disk_state == 2) return STEP_END_LOOP; // output stopped (disk full)
    return STEP_NEXT_MEMBER;
}

// Extracts the batch's members, then returns to the directory where the scan stopped:
// STEP_DONE, or STEP_END_LOOP.
static Step extract_batch(LoopState *st, unsigned n) {
    zoff_t dir_block = G.block_start;
    long dir_offset = (long)(G.read_ptr - G.read_buf);
    int dir_left = G.read_left;
    st->taken_count = 0;
    for (unsigned i = 0; i < n; i++) {
        long index = (long)st->batch * BATCH_SIZE + (long)i;
        st->last_index = index;
        G.cur_entry = &G.entry_batch[i];
        if (extract_entry(st, index) == STEP_END_LOOP) return STEP_END_LOOP;
    }
    // The block was read before, so anything less than the bytes still to scan is a failed
    // read, not a damaged directory.
    if (read_block_at(dir_block) < dir_offset + dir_left) {
        zmsg(MSG_ERROR, "%s", ReadError);
        return end_loop_with(st, ZR_BADERR);
    }
    G.read_ptr = G.read_buf + dir_offset;
    G.read_left = dir_left;
    st->batch++;
    return STEP_DONE;
}

// The end record's 16-bit count decides how many entries are read: 70,000 entries are
// counted as 4,464, and the rest would be left without a word.
static void check_entry_count(LoopState *st) {
    zoff_t used = input_position() - st->directory.start;
    if (st->stop_batches || used >= (zoff_t)G.end_rec.cdir_size) return;
    zmsg(MSG_ERROR, UncountedEntries, G.archive_path, (unsigned long)(G.end_rec.cdir_size - used),
         (unsigned)G.end_rec.total_entries);
    keep_worst(&st->result, ZR_WARN);
}

static void report_unmatched(LoopState *st) {
    for (int i = 0; st->fn_matched != NULL && i < G.include_count; i++) {
        if (st->fn_matched[i]) continue;
        zmsg(MF_ERRSTREAM, FilenameNotMatched, G.include_names[i]);
        if (st->result <= ZR_WARN) st->result = ZR_NOMATCH;
    }
    for (int i = 0; st->xn_matched != NULL && i < G.exclude_count; i++)
        if (!st->xn_matched[i]) zmsg(MSG_ERROR, ExclFilenameNotMatched, G.exclude_names[i]);
}

static void report_summary(LoopState *st, long num) {
    if (!G.test_only || G.quiet_level > 1) return;
    if (st->result != 0)
        zmsg(0, ErrorInArchive, st->result == ZR_WARN ? "warning-" : "", G.archive_path);
    else if (num == 0)
        zmsg(0, ZeroFilesTested, G.archive_path);
    else if (G.select_all && st->skipped == 0)
        zmsg(0, NoErrInCompData, G.archive_path);
    else
        zmsg(0, NoErrInTestedFiles, G.archive_path, (int)num, num == 1 ? "" : "s");
    if (st->skipped > 0) zmsg(0, FilesSkipped, st->skipped, st->skipped == 1 ? "" : "s");
}

static int end_loop(LoopState *st, int result) {
    finish_closes(); // the tree is whole before anyone else uses it
    free(st->fn_matched);
    free(st->xn_matched);
    return result;
}

int extract_or_test_files(void) {
    LoopState st;
    memset(&st, 0, sizeof st);
    st.remaining = G.end_rec.total_entries;
    st.last_index = -1;
    // Without memory for the flags the "not matched" messages are simply not given.
    if (G.include_count > 0) st.fn_matched = (char *)calloc((size_t)G.include_count, 1);
    if (G.exclude_count > 0) st.xn_matched = (char *)calloc((size_t)G.exclude_count, 1);
    // The input stands at the directory's first entry.
    st.directory.start = input_position();
    st.directory.end = st.directory.start + G.end_rec.cdir_size;
    if (st.directory.end > G.archive_len) st.directory.end = G.archive_len;

    while (st.remaining > 0 && !st.stop_batches) {
        unsigned n = scan_batch(&st);
        if (extract_batch(&st, n) == STEP_END_LOOP) {
            discard_defer_NT();
            return end_loop(&st, st.result);
        }
    }
    check_entry_count(&st);
    finish_closes(); // before the folders get their times
    process_defer_NT();

    long num = st.last_index + 1;
    report_unmatched(&st);
    report_summary(&st, num);
    if (num == 0 && st.result <= ZR_WARN)
        st.result = st.skipped > 0 ? ZR_UNSUPPORTED : ZR_NOMATCH;
    else if (st.skipped > 0 && st.result <= ZR_WARN)
        st.result = ZR_UNSUPPORTED;
    return end_loop(&st, st.result);
}
