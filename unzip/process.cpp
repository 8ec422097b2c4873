// The engine's state record and its top level: open the stub's own executable as an
// archive, find the end record, work out the bytes of executable in front of the archive,
// and hand the central directory to the member loop.
//
// Bytes in front of the archive. A package is the stub followed by a ZIP archive whose
// offsets usually count from the archive's own start. The end record tells where the
// directory should end (offset + size); where it was found, minus that, is prefix_bytes,
// the stub's length, and every later seek adds it (archive_seek). Packers that corrected
// the offsets give a prefix of 0. When the directory is not at the corrected offset, the
// uncorrected one is tried (result 2), and the member loop likewise retries a member's
// local header without the correction ("re-compensation"). Corpus archives that take
// these paths: commons-compress-COMPRESS-621.zip (15 bytes in front),
// libarchive-test_read_format_zip_sfx (an executable in front, offsets corrected),
// commons-compress-ZipFile-method.zip (a directory offset that points at garbage).
#include <io.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "unzip/unzip.h"

Globals G;

const char ReportMsg[] =
    "  (please check that you have transferred or created the zipfile in the\n"
    "  appropriate BINARY mode and that you have compiled ombrelin properly)\n";
const char SeekMsg[] = "error [%s]:  attempt to seek before beginning of zipfile\n%s";

static const char CannotAllocateBuffers[] = "error:  cannot allocate unzip buffers\n";
static const char CannotFindMyself[] = "ombrelin:  cannot find myself! [%s]\n";
static const char CentDirNotFound[] =
    "error [%s]:  start of central directory not found;\n  zipfile corrupt.\n%s";
static const char MissingBytes[] =
    "error [%s]:  missing %ld bytes in zipfile\n    (attempting to process anyway)\n";
static const char NullCentDirOffset[] =
    "error [%s]:  NULL central directory offset\n    (attempting to process anyway)\n";
static const char ZipfileEmpty[] = "warning [%s]:  zipfile is empty\n";
static const char EndSigNotFound[] = "  End-of-central-directory signature not found.\n";
static const char ZipfileCommentTrunc[] = "\ncaution:  zipfile comment truncated\n";

static char module_path[MAX_NAME + 1];
static char *default_names[] = {(char *)"*", NULL};

Globals *globalsCtor(void) {
    memset(&G, 0, sizeof G);
    G.include_names = default_names;
    G.exclude_names = default_names + 1;
    G.cur_entry = &G.entry_batch[0];
    G.at_line_start = 1;
    G.message_fn = UzpMessagePrnt;
    G.input_fn = UzpInput;
    G.pause_fn = UzpMorePause;
    G.password_fn = UzpPassword;
    G.archive_fd = -1;
    return &G;
}

char *GetLoadPath(void) {
    DWORD n = GetModuleFileNameA(NULL, module_path, sizeof module_path);
    // A path that did not fit would name some other file: leave it empty, so that the
    // archive cannot be found rather than the wrong one opened.
    if (n == 0 || n >= sizeof module_path) module_path[0] = '\0';
    return module_path;
}

// ---------------------------------------------------------------------------------------
// Reading the archive

int archive_seek(zoff_t offset) {
    zoff_t request = offset + G.prefix_bytes;
    zoff_t in_block = request % INBUF_SIZE;
    zoff_t block = request - in_block;
    if (request < 0) {
        zmsg(MF_ERRSTREAM, SeekMsg, G.archive_path, ReportMsg);
        return ZR_BADERR;
    }
    if (block != G.block_start) {
        int n = read_block_at(block);
        if (n <= 0) return ZR_EOF;
        G.read_ptr += in_block;
        G.read_left -= (int)in_block;
    } else {
        G.read_left += (int)(G.read_ptr - G.read_buf) - (int)in_block;
        G.read_ptr = G.read_buf + in_block;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// End record

static int is_end_sig(const uint8_t *p) {
    return p[0] == 0x50 && memcmp(p, G.sig_end, ZIP_SIG_LEN) == 0;
}

// Scans buf[from] down to buf[0] for the end signature of a record that ends inside the
// file; bytes after buf[count - 1] are those of sig_spill.
static int scan_block(int from) {
    for (int pos = from; pos >= 0; pos--) {
        if (G.block_start + pos + END_REC_LEN > G.archive_len)
            continue; // a record cannot end past the file
        if (is_end_sig(G.read_buf + pos)) {
            G.read_ptr = G.read_buf + pos;
            G.read_left -= pos;
            return 1;
        }
    }
    return 0;
}

static int search_small_archive(void) {
    if (read_block_at(0) != G.archive_len) return 0;
    return scan_block((int)G.archive_len - END_REC_LEN);
}

static int search_large_archive(zoff_t searchlen) {
    int tail = (int)(G.archive_len % INBUF_SIZE);
    if (tail > END_REC_LEN - ZIP_SIG_LEN) {
        if (read_block_at(G.archive_len - tail) != tail) return 0;
        if (scan_block(tail - END_REC_LEN)) return 1;
        memcpy(G.sig_spill, G.read_buf, ZIP_SIG_LEN - 1);
    } else {
        // Too few bytes for a record of their own; the block before covers them.
        G.block_start = G.archive_len - tail;
    }
    searchlen -= tail;
    for (zoff_t i = 0; i < (searchlen + INBUF_SIZE - 1) / INBUF_SIZE; i++) {
        if (read_block_at(G.block_start - INBUF_SIZE) != INBUF_SIZE) return 0;
        if (scan_block(INBUF_SIZE - 1)) return 1;
        memcpy(G.sig_spill, G.read_buf, ZIP_SIG_LEN - 1);
    }
    return 0;
}

int find_ecrec(zoff_t searchlen) {
    int found =
        G.archive_len <= INBUF_SIZE ? search_small_archive() : search_large_archive(searchlen);
    if (!found) {
        zmsg(MSG_ERROR, "[%s]\n", G.archive_path);
        zmsg(MSG_ERROR, "%s", EndSigNotFound);
        return ZR_ERR;
    }
    G.end_found_at = G.block_start + (G.read_ptr - G.read_buf);
    uint8_t b[END_REC_LEN];
    Cursor c = read_record(b, END_REC_LEN);
    if (c.is_short) return ZR_EOF;
    skip(&c, ZIP_SIG_LEN); // found above
    end_central_rec &e = G.end_rec;
    e.this_disk = take16(&c);
    e.cdir_disk = take16(&c);
    e.entries_this_disk = take16(&c);
    e.total_entries = take16(&c);
    e.cdir_size = take32(&c);
    e.cdir_offset = take32(&c);
    e.comment_len = take16(&c);
    G.end_expected_at = (zoff_t)e.cdir_offset + e.cdir_size;
    return 0;
}

int uz_end_central(void) {
    if (G.end_rec.comment_len != 0 &&
        (G.comment_only > 0 || (G.comment_only == 0 && G.quiet_level == 0))) {
        if (do_string(G.end_rec.comment_len, DISPLAY) != 0) {
            zmsg(MSG_ERROR, "%s", ZipfileCommentTrunc);
            return ZR_WARN;
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// The run

// Works out prefix_bytes; a negative or inconsistent geometry is reported and processing
// goes on with result 2.
static int apply_prefix(void) {
    G.prefix_bytes = G.end_found_at - G.end_expected_at;
    if (G.prefix_bytes < 0) {
        zmsg(MSG_ERROR, MissingBytes, G.archive_path, (long)-G.prefix_bytes);
        return ZR_ERR;
    }
    if (G.prefix_bytes > 0 && G.end_rec.cdir_offset == 0 && G.end_rec.cdir_size != 0) {
        zmsg(MSG_ERROR, NullCentDirOffset, G.archive_path);
        G.end_rec.cdir_offset = (uint32_t)G.prefix_bytes;
        G.prefix_bytes = 0;
        return ZR_ERR;
    }
    return 0;
}

// Positions the input at the directory; tries without the correction when the signature
// is not where the numbers say. 0, 2 (found uncorrected) or 3.
static int central_sig_at_cdir_offset(void) {
    return archive_seek(G.end_rec.cdir_offset) == 0 &&
           readbuf(G.sig_buf, ZIP_SIG_LEN) == ZIP_SIG_LEN &&
           memcmp(G.sig_buf, G.sig_central, ZIP_SIG_LEN) == 0;
}

static int find_central_dir(void) {
    if (central_sig_at_cdir_offset()) return 0;
    G.prefix_bytes = 0;
    if (central_sig_at_cdir_offset()) return ZR_ERR;
    zmsg(MSG_ERROR, CentDirNotFound, G.archive_path, ReportMsg);
    return ZR_BADERR;
}

static int close_archive(int result) {
    _close(G.archive_fd);
    G.archive_fd = -1;
    return result;
}

static int max_result(int a, int b) {
    return a > b ? a : b;
}

int do_seekable(int lastchance) {
    (void)lastchance;
    if (_stati64(G.archive_path, &G.file_stat) != 0) return ZR_NOARCHIVE;
    if ((G.file_stat.st_mode & S_IFMT) == S_IFDIR) return ZR_ISDIR;
    G.archive_len = G.file_stat.st_size;
    if (open_input_file() != 0) return ZR_NOARCHIVE;
    if (G.crc_table_ref == NULL && (G.crc_table_ref = get_crc_table()) == NULL)
        return close_archive(ZR_MEM);
    G.block_start = 0;
    G.read_ptr = G.read_buf;
    G.read_left = 0;

    zoff_t searchlen =
        G.archive_len < (zoff_t)END_SEARCH_LEN ? G.archive_len : (zoff_t)END_SEARCH_LEN;
    int r = find_ecrec(searchlen);
    if (r != 0) return close_archive(r);
    int result = uz_end_central();
    if (result > ZR_WARN) return close_archive(result);
    if (G.comment_only > 0 && G.listing_mode == 0) return close_archive(result);

    result = max_result(result, apply_prefix());
    if (G.end_expected_at == 0 && G.end_rec.cdir_size == 0) {
        zmsg(MSG_ERROR, ZipfileEmpty, G.archive_path);
        return close_archive(max_result(result, ZR_WARN));
    }
    r = find_central_dir();
    if (r == ZR_BADERR) return close_archive(r);
    result = max_result(result, r);
    // The member loop reads the directory's first signature itself.
    r = archive_seek(G.end_rec.cdir_offset);
    if (r != 0) return close_archive(max_result(result, r));
    return close_archive(max_result(result, extract_or_test_files()));
}

void report_status(void) {
    if (G.status_fn != NULL) (*G.status_fn)();
}

// Puts "PK" and the two type bytes (low byte first) into sig. Byte by byte, so that the
// program's image holds no signature: a reader that searches a package from its end must
// find only the appended archive's records. (With the three stored whole, Python's zipfile
// took the 32-bit stub's own data for an archive when appending one, and wrote over the
// code behind it.) The empty asm keeps the compiler from merging the stores into one.
static void assemble_signature(char *sig, unsigned type) {
    char k = 'K';
    __asm__("" : "+r"(k));
    sig[0] = 'P';
    sig[1] = k;
    sig[2] = (char)(type & 0xFF);
    sig[3] = (char)(type >> 8);
    sig[4] = '\0';
}

int process_zipfiles(void) {
    int result = 0;
    report_status();
    G.read_buf = (uint8_t *)malloc(INBUF_SIZE + 4);
    G.write_buf = (uint8_t *)malloc(OUTBUF_SIZE + 1);
    G.write_base = G.write_buf;
    if (G.read_buf == NULL || G.write_buf == NULL) {
        zmsg(MSG_ERROR, "%s", CannotAllocateBuffers);
        free_G_buffers();
        return ZR_MEM;
    }
    G.sig_spill = G.read_buf + INBUF_SIZE;
    assemble_signature(G.sig_local, LOCAL_SIG_TYPE);
    assemble_signature(G.sig_central, CENTRAL_SIG_TYPE);
    assemble_signature(G.sig_end, END_SIG_TYPE);

    int code = do_seekable(0);
    if (code == ZR_NOARCHIVE) G.archive_path = G.program_arg0;
    if (code != 0) {
        result = code == ZR_ISDIR ? ZR_NOARCHIVE : code;
        if (code == ZR_NOARCHIVE) zmsg(MF_ERRSTREAM, CannotFindMyself, G.archive_path);
    }
    report_status();
    if (result == 0 && G.handoff_fn != NULL) (*G.handoff_fn)();
    free_G_buffers();
    return result;
}

void free_G_buffers(void) {
    stop_writer();
    stop_closers();
    inflate_free();
    end_security();
    checkdir(NULL, END);
    if (G.crc_table_ref != NULL) {
        free_crc_table();
        G.crc_table_ref = NULL;
    }
    free(G.extra_buf);
    G.extra_buf = NULL;
    free(G.write_buf);
    free(G.read_buf);
    G.write_buf = G.write_base = G.read_buf = NULL;
}
