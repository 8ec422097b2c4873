// The extraction engine: its one state record G, result codes, record layouts and the
// functions that the engine files share. The engine is plain procedural code, runs on one
// thread and is not reentrant; every function reads and writes G directly.
#ifndef UNZIP_UNZIP_H
#define UNZIP_UNZIP_H

#include <fcntl.h>
#include <io.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>

#include "common/buffers.h"

// ---------------------------------------------------------------------------------------
// Result codes. Higher is worse; loops keep the highest code seen.
enum {
    ZR_OK = 0,             // success
    ZR_WARN = 1,           // warning only: truncated comment or name, empty archive, a kept file
    ZR_ERR = 2,            // archive damaged, processing went on
    ZR_BADERR = 3,         // severe archive error; also the exit code after a read failure
    ZR_MEM = 4,            // out of memory
    ZR_MEM_INFLATE = 6,    // out of memory while decompressing
    ZR_NOARCHIVE = 9,      // the archive is missing or cannot be opened
    ZR_PARAM = 10,         // bad options (usage) or no memory for the path buffers
    ZR_NOMATCH = 11,       // no member matched the patterns
    ZR_DISKFULL = 50,      // a write to an output file failed
    ZR_EOF = 51,           // the archive ended early
    ZR_ISDIR = 76,         // the archive path names a directory (reported as 9)
    ZR_DIR_CREATED = 77,   // mapname: a directory entry whose directory was created
    ZR_LABEL_SKIPPED = 78, // mapname: a volume label not to be set on this drive
    ZR_EF_MISSING = 79,    // security data announced in the local extra field is missing
    ZR_INTERRUPTED = 80,   // interrupt or termination signal
    ZR_UNSUPPORTED = 81,   // members skipped as unsupported, nothing worse happened
};

// ---------------------------------------------------------------------------------------
// ZIP layout. Every multi-byte field is little-endian and read through a Cursor (below).
// The signatures: "PK" and two type bytes, assembled into G at the start of a run (never
// stored whole in the program, see process.cpp).
constexpr unsigned LOCAL_SIG_TYPE = 0x0403;   // local header, then name, extra field, data
constexpr unsigned CENTRAL_SIG_TYPE = 0x0201; // directory entry, then name, extra, comment
constexpr unsigned END_SIG_TYPE = 0x0605;     // end record, then the archive comment
constexpr int ZIP_SIG_LEN = 4;
constexpr int END_REC_LEN = 22;        // end-of-central-directory record, signature included
constexpr int CDIR_ENTRY_LEN = 46;     // central directory entry before name, extra field, comment
constexpr int CDIR_FIXED_LEN = 42;     // ... of which get_cdir_ent reads these after the signature
constexpr int LOCAL_HDR_LEN = 30;      // local header before name and extra field
constexpr int LOCAL_FIXED_LEN = 26;    // ... of which process_local_file_hdr reads these
constexpr int EF_BLOCK_HEADER_LEN = 4; // extra-field block: 2-byte id, 2-byte data size
constexpr int INBUF_SIZE = 8192;       // archive read block; block_start is always a multiple of it
constexpr int OUTBUF_SIZE = 65536;     // text conversion buffer: a 32 KiB block at most doubles
constexpr int WINDOW_SIZE = 32768;     // Deflate history, and the unit of every output flush
constexpr int RING_SIZE = 2 * WINDOW_SIZE; // the decoder's output ring: two flush units
constexpr int RING_SLACK = 258 + 48;  // past the ring's end: a match begun before it, its overrun
constexpr int END_SEARCH_LEN = 66000; // tail searched for the end record: 22 + a 65535-byte comment
constexpr int MAX_NAME = 258;         // longest member name kept; longer names are truncated
constexpr int BATCH_SIZE = 64;        // central directory entries held at a time
constexpr int MSG_BUF_SIZE = 4096;    // one formatted message; a longer one is cut
constexpr int NAME_AREA_SIZE = 1024;  // one display-filtered name (fnfilter); a longer one is cut
constexpr int WIN_PATH_BUF = PATH_BUF; // a Windows path (MAX_PATH characters) and its terminator

// General purpose flag bits.
enum { GPF_ENCRYPTED = 0x0001, GPF_DATA_DESCRIPTOR = 0x0008, GPF_UTF8 = 0x0800 };

// Attribute bits of a directory entry: internal (the member is text) and the DOS attributes
// in the external ones' low byte (a volume label).
enum { IATTR_TEXT = 0x01, EATTR_DOS_LABEL = 0x08 };

// Compression methods this engine knows.
enum { METHOD_STORED = 0, METHOD_DEFLATED = 8 };

// Message flags of message_fn. The sink acts on the first three; the other two say what a
// message is, for a sink that wants to know (the default one ignores them).
enum {
    MF_ERRSTREAM = 0x001, // standard error (unless test_only)
    MF_LEADNL = 0x020,    // first end an open line
    MF_TRAILNL = 0x040,   // end with a newline; with size 0, end an open line
    MF_QUERY = 0x080,     // a question: an answer is read from standard input next
    MF_REPORT = 0x400,    // a warning or an error about the archive or a member
};
// The combinations the engine sends.
enum {
    MSG_ERROR = MF_REPORT | MF_ERRSTREAM,                 // 0x401
    MSG_ERROR_LEADNL = MSG_ERROR | MF_LEADNL,             // 0x421
    MSG_QUERY = MF_QUERY | MF_ERRSTREAM,                  // 0x081
    MSG_ERROR_QUERY = MSG_ERROR | MF_QUERY,               // 0x481
    MSG_ERROR_QUERY_LEADNL = MSG_ERROR_QUERY | MF_LEADNL, // 0x4A1
};

// Versions (the format's version times 10): the highest this engine extracts, the highest for
// a member written on VMS, and the made-by version from which NTFS names are in the OEM
// code page.
enum { VERSION_CAN_DO = 20, VMS_VERSION_CAN_DO = 42, VERSION_NTFS_OEM_NAMES = 50 };

// Host numbers of the "made by" byte; above 17 counts as unknown (18).
constexpr int HOST_FS_FAT = 0, HOST_VMS = 2, HOST_UNIX = 3, HOST_FS_HPFS = 6, HOST_FS_NTFS = 11,
              HOST_UNKNOWN = 18;

// Extra field ids read by the engine.
enum {
    EF_TIME = 0x5455 /* "UT" */,
    EF_IZUNIX = 0x5855 /* "UX" */,
    EF_IZUNIX2 = 0x7855 /* "Ux" */,
    EF_NTSD = 0x4453 /* "SD" */
};

// Bits of the flag word of ef_scan_for_izux and getNTfiletime.
enum { EB_UT_FL_MTIME = 1, EB_UT_FL_ATIME = 2, EB_UT_FL_CTIME = 4, EB_UX2_VALID = 0x100 };

// Offsets are 64-bit so that a large payload never wraps a 32-bit long.
typedef int64_t zoff_t;

// The fields a local header and a directory entry share, stored in this order in both.
struct member_fields {
    uint8_t version_needed; // version needed to extract, x10
    uint8_t host_needed;
    uint16_t flags; // general purpose flags (GPF_*)
    uint16_t method;
    uint16_t dos_time, dos_date;
    uint32_t crc, csize, usize;
    uint16_t name_len, extra_len;
};

struct local_file_hdr : member_fields {};

struct cdir_file_hdr : member_fields {
    uint8_t version_made_by; // x10
    uint8_t host_made_by;
    uint16_t comment_len;
    uint16_t disk_start;    // not used
    uint16_t internal_attr; // bit 0: text file
    uint32_t external_attr; // host-dependent; bit 3 of the low byte marks a DOS volume label
    uint32_t local_offset;  // relative to the archive's own start
};

struct end_central_rec {
    uint16_t this_disk, cdir_disk; // read, never checked
    uint16_t entries_this_disk, total_entries;
    uint32_t cdir_size, cdir_offset; // offset relative to the archive's own start
    uint16_t comment_len;
};

// One accepted central directory entry of the current batch.
struct entry_info {
    zoff_t local_offset;    // from the central entry
    uint32_t packed_size;   // compressed size from the central entry
    uint32_t stored_crc;    // CRC-32 from the central entry
    int host_id;            // 0..18
    unsigned platform_attr; // DOS attribute byte with the archive bit (mapattr)
    unsigned is_encrypted : 1, is_text : 1, convert_eol : 1, lowercase : 1, is_label : 1;
};

// Times delivered by ef_scan_for_izux: signed seconds since 1970 UTC.
struct stamp_times {
    int32_t atime, mtime, ctime;
};

// One entry of a Deflate decoding table (inflate.cpp), packed into 32 bits on every build.
struct huft {
    uint8_t b;  // bits the entry's code takes at its level; for a length or distance base,
                // with the e extra bits that follow the code
    uint8_t e;  // kind: 16 literal, 15 end of block, 14 invalid, 0..13 extra bits of a length
                // or distance base, 33..47 link to a sub-table indexed by e - 32 more bits
    uint16_t n; // the literal or base; for a link, the sub-table's offset from the root table
};

typedef int (*MsgFn)(void *g, uint8_t *text, uint32_t size, int flags);
typedef int (*InputFn)(void *g, uint8_t *buf, int *size, int flags);
typedef int (*PauseFn)(void *g, const char *prompt, int flags);
typedef int (*PasswdFn)(void *g, int *rcnt, char *pwbuf, int size, const char *zfn,
                        const char *efn);
typedef void (*StatusFn)(void);
typedef void (*HandOffFn)(void);
typedef int (*OwnFileFn)(const char *path);

// ---------------------------------------------------------------------------------------
// The engine state. globalsCtor zeroes it and sets the defaults named below.
struct Globals {
    // Options (set by the option parser before the run).
    int listing_mode;     // always 0 here
    int text_conv;        // line-end conversion level 0..2 (-a)
    int to_sink;          // member data to the message sink (-c, -p)
    int match_nocase;     // patterns ignore case (-C)
    int freshen;          // replace only older existing files (-f)
    int junk_dirs;        // drop stored directory parts (-j)
    int lower_names;      // lower-case names from upper-case hosts (-L)
    int paging;           // page the sink's output (-M)
    int page_lines;       // lines per page; the sink sets 23
    int no_overwrite;     // never overwrite (-n)
    int overwrite_always; // overwrite without asking (-o)
    int quiet_level;      // forced to 4 by the stub
    int labels_too;       // also set volume labels (-$)
    int test_only;        // test, write nothing (-t)
    int update_only;      // only new or newer members (-u, -f)
    int keep_versions;    // keep ";N" version suffixes (-V)
    int security_level;   // apply NT security data (-X, counted)
    int comment_only;     // show the archive comment (-z)
    int include_count, exclude_count;
    int select_all; // no pattern: every member is selected
    int make_dirs;  // directories may be created for the current member (mapname)
    int extracting; // members are written to files

    // Archive geometry.
    zoff_t end_found_at;    // file offset of the end record
    zoff_t end_expected_at; // directory offset + directory size, by the archive's numbers
    zoff_t csize_left;      // compressed bytes of the member not yet handed to the reader
    zoff_t usize;           // uncompressed size of the current member
    char **include_names;   // default {"*", NULL}
    char **exclude_names;   // default: the NULL tail of that list
    char sig_buf[5];        // the 4 signature bytes just read
    char reply_buf[10];     // answer line of the engine's questions

    entry_info entry_batch[BATCH_SIZE];
    entry_info *cur_entry; // default &entry_batch[0]

    // Window: the stored copy's buffer (its first WINDOW_SIZE bytes) and the decoder's
    // output ring of two halves, each flushed when full (see inflate.cpp); the decoder's
    // history is the last WINDOW_SIZE bytes before its write position. The rule: while a
    // member's data is copied or decoded, nothing else writes into it, since a deflated
    // member's matches reach back into it, across flushes (and a flush that fails asks its
    // question then). So messages are formatted in msg_buf and names for messages in
    // name_area, never here; the one other user is the archive comment's display, which
    // runs before the first member. It starts zeroed (globalsCtor), so a distance that
    // reaches before a member's first byte always reads defined bytes.
    uint8_t window[RING_SIZE + RING_SLACK];
    char msg_buf[MSG_BUF_SIZE + 1];    // zmsg's text; +1 for the sink's newline
    char name_area[2][NAME_AREA_SIZE]; // fnfilter's results: two names at once

    const uint32_t *crc_table_ref; // CRC-32 table: static, made on first use in the process
    uint32_t running_crc;          // CRC of the current member's data so far

    // Input: read_buf holds one aligned INBUF_SIZE block of the archive plus 4 spill bytes.
    uint8_t *read_buf;
    uint8_t *read_ptr;  // next unread byte
    int read_left;      // bytes left in read_buf from read_ptr (member-limited, see defer)
    char *program_arg0; // the stub's argv[0]
    char *archive_path; // the stub's own module file (GetLoadPath)
    int archive_fd;     // open archive, binary, read-only
    zoff_t archive_len;
    zoff_t block_start;  // file offset of read_buf[0]; a multiple of INBUF_SIZE
    zoff_t prefix_bytes; // bytes in front of the archive proper; added to every offset
    uint8_t *extra_buf;  // heap copy of the current local extra field, or NULL
    uint8_t *sig_spill;  // read_buf + INBUF_SIZE: first 3 bytes of the following block
    char sig_local[5], sig_central[5], sig_end[5];

    local_file_hdr local_hdr;
    cdir_file_hdr central_hdr;
    end_central_rec end_rec;
    uint16_t name_flags;       // general flags of the header whose name do_string reads
    struct _stati64 file_stat; // status of the archive or of an existing output file

    // Memory-to-memory extraction (memextract).
    int to_memory;
    uint8_t *mem_ptr;
    uint32_t mem_left;

    // Output.
    int disk_state;      // 0 writing; 1 drop the rest of this member; 2 stop all output
    int first_flush;     // the next flush starts a new member
    int cr_pending;      // the last flushed text block ended with CR
    uint32_t line_count; // lines written by the sink (paging)
    int at_line_start;   // the sink is at the start of a line; default 1
    FILE *dest_file;     // output file of the current member
    uint8_t *write_buf;  // OUTBUF_SIZE + 1 bytes: text conversion
    uint8_t *write_base; // as allocated
    uint8_t *copy_ptr;   // fill position in window while a stored member is copied
    uint32_t out_count;  // bytes copied; total output in memory mode
    char member_name[MAX_NAME + 1];

    // Deflate decoder (inflate.cpp). Between its steps the bit buffer holds bit_count
    // unused bits of the member's data, least significant first; bits above them are zero,
    // or already the next input bytes (read_ptr points at the first byte not yet in it).
    unsigned window_pos; // next write position in the output ring, 0..RING_SIZE-1
    size_t bit_buf;      // a machine word: 64 bits on x86-64, 32 on i686
    unsigned bit_count;
    huft *fixed_lit_table, *fixed_dist_table; // built on first use, kept for the run
    int fixed_lit_bits, fixed_dist_bits;      // their first-level lookup bits

    // Hooks.
    MsgFn message_fn;     // default UzpMessagePrnt
    InputFn input_fn;     // default UzpInput
    PauseFn pause_fn;     // default UzpMorePause
    PasswdFn password_fn; // default UzpPassword
    // The front end's hooks; the engine itself knows no window and no installer. NULL (the
    // default) means nothing to do: the console driver and the fuzzer leave them so.
    StatusFn status_fn;   // the status window (the stub's updateStatus)
    HandOffFn handoff_fn; // after a clean run (the stub's hand_off)
    // Asked when a member's file exists already: 1 (once per file) when the front end made
    // that file itself and a member may take its place as if it were not there (the stub's
    // empty copies of the start folder's switch files, handOverSwitchCopy).
    OwnFileFn own_file_fn;

    // Input held back past the current member (defer_leftover_input).
    int leftover_left;
    uint8_t *leftover_ptr;

    // Path mapping of the current member (mapname, checkdir).
    int created_dir; // a directory was created while mapping
    int name_len;    // length of member_name when mapping began
    int label_drive; // drive number of a volume label (1 = A)
    char *long_path; // the path with mapped names
    char *fat_path;  // the same with 8.3 components where the volume needs them
    char *long_end, *fat_end;

    // What the run has learnt about the file system (mapname.cpp); forgotten at the end of a
    // run (checkdir END). Member paths are relative to the current directory, which does not
    // change during a run.
    // Directories that exist: the fat_path of the last directory that had to be made or
    // looked at, with its parents, each followed by "/" ("a/b/" for "a/b/c.txt"); "" at first.
    char known_dirs[WIN_PATH_BUF];
    // The volume as GetVolumeInformationA described it for the root volume_root (a drive
    // root such as "C:\", the first three characters of the full path; "" until asked):
    // whether the query succeeded, the longest component it allows, its file-system name.
    char volume_root[4];
    int volume_ok;
    uint32_t volume_max_component;
    char volume_fs_name[WIN_PATH_BUF - 1];
};

extern Globals G;

// Inputs of the hand-off to "installer.exe" (handoff.cpp), set by the stub's worker before
// the run: the quiet marker, the properties switch (never set by the command line), the
// install directory (a heap string of any length; "" when none) and the extraction log
// "qelpand.log" (open or NULL).
extern int quietInstall;
extern int propertiesInstall;
extern char *installDir;
extern FILE *logErrors;
// The hand-off's outcome: 0 when the installer started (or there was none to start), else
// the system's error code of the failed start (ERROR_CANCELLED: the user declined the
// consent prompt). The worker reports it.
extern uint32_t installerStartError; // a Windows error code (DWORD)

// ---------------------------------------------------------------------------------------
// Engine state and archive discovery (process.cpp).
Globals *globalsCtor(void);
char *GetLoadPath(void);
int process_zipfiles(void);
int do_seekable(int lastchance);
int find_ecrec(zoff_t searchlen);
int uz_end_central(void);
void free_G_buffers(void);
void report_status(void);        // calls the front end's status hook, if any
int archive_seek(zoff_t offset); // offset-corrected seek; 0, 3 or 51
extern const char ReportMsg[];
extern const char SeekMsg[];

// Directory records and local headers (records.cpp).
int get_cdir_ent(void);
int process_cdir_file_hdr(void);
int process_local_file_hdr(void);
enum { SKIP = 0, DISPLAY = 1, DS_FN = 2, EXTRA_FIELD = 3 };
int do_string(unsigned length, int mode);
unsigned ef_scan_for_izux(const uint8_t *ef, unsigned ef_len, int is_central, unsigned dos_date,
                          stamp_times *out_times, uint16_t *out_ids);
uint16_t makeword(const uint8_t *p);
uint32_t makelong(const uint8_t *p);
// A little-endian cursor over the bytes of one record or extra-field block: fields are taken
// in the order they are stored. A take or skip past the end takes nothing, gives 0 and marks
// the cursor short, so a decoder checks once, after its last field.
struct Cursor {
    const uint8_t *p;
    unsigned left;
    int is_short;
};
Cursor cursor_over(const uint8_t *p, unsigned len);
uint8_t take8(Cursor *c);
uint16_t take16(Cursor *c);
uint32_t take32(Cursor *c);
void skip(Cursor *c, unsigned n);
// The next block of an extra field: its id, a cursor over its data and where the block
// starts (header included). 0 at the field's end, or at a block that runs past it (an
// inconsistent field: the walk stops there).
struct ef_block {
    unsigned id;
    const uint8_t *start;
    Cursor data;
};
int next_ef_block(Cursor *field, ef_block *block);
// Reads a record's fixed part (len bytes after its signature) into buf: a cursor over it, or
// one already short when the archive ends first.
Cursor read_record(uint8_t *buf, unsigned len);

// Member extraction loop (extract.cpp, match.cpp).
int extract_or_test_files(void);
int store_info(void);
int extract_or_test_member(void);
int memflush(const uint8_t *data, uint32_t size); // the decoder's output in memory mode
// With test_only, memextract encodes what it does not report in its result: ZR_ERR plus the
// block's method times 256 (a bad CRC counts as method 8).
constexpr int TEST_DETAIL_STEP = 256;
inline int mem_test_detail(unsigned method) {
    return ZR_ERR + (int)method * TEST_DETAIL_STEP;
}
// Existing files (overwrite.cpp). What happens to a member whose file exists: EXTRACT it,
// SKIP_MEMBER, or ASK the user (also: start over with the new name the user gave).
enum Decision { EXTRACT, SKIP_MEMBER, ASK };
Decision decide_existing(int new_name);
// Asks; EXTRACT, SKIP_MEMBER, or ASK when a new name was given. An answer that cannot be
// read counts as "None" and raises *result to ZR_WARN.
Decision ask_replace(int *result);
// Makes member_name as a new file, open in dest_file: 1, or 0 (nothing changed) when the name
// is taken or the file cannot be made. open_outfile then keeps that file.
int create_outfile(void);
int check_for_newer(const char *path); // -1 no file, 0 older than the member, 1 as new or newer
// Messages (messages.cpp).
char *fnfilter(const char *raw, char *space);
char *display_name(void); // the current member's name, filtered into the first name area
extern const char ErrUnzipNoFile[], NotEnoughMem[], InvalidComprData[], Inflate[];
int match(const char *name, const char *pattern, int ignore_case);
int recmatch(const uint8_t *pattern, const uint8_t *name, int ignore_case);

// Buffered input and output, CRC-32 and messages (fileio.cpp, crc32.cpp).
// The archive is read in one way only: whole INBUF_SIZE blocks into read_buf, through
// read_block_at after a seek or next_block in sequence. Both make the block the buffered one
// (read_ptr at its start, read_left its size) and return its size: 0 at the end of the
// archive, -1 after a read error. readbuf and readbyte refill through next_block; the member
// data's consumers (the stored copy, the decoder) take bytes through next_byte below.
extern const char ReadError[];
int open_input_file(void);
int read_block_at(zoff_t block); // block: a multiple of INBUF_SIZE
int next_block(void);
unsigned readbuf(char *buf, unsigned size);
int readbyte(void);
void defer_leftover_input(void);
void undefer_input(void);
int open_outfile(void);
enum { ACCESS_WRITE = 2 }; // _access's mode: may the file be written?
// Hands a block of member data on: CRC, and the write to the member's file (or the sink). A
// plain file's data may be held back or still be written on return (win32/writer.cpp);
// finish_writes ends the member's writes, and asks the disk-full question should one have
// fallen short (ZR_DISKFULL), as flush does.
int flush(uint8_t *data, uint32_t size, int second_buffer);
int finish_writes(void);
int disk_error(void);
// The writer (win32/writer.cpp): stage_write copies the data and writes them behind, and
// finish_write writes the rest and waits; each is 1 when a write fell short, once, after
// which the rest of the member is dropped.
int stage_write(FILE *file, const uint8_t *data, uint32_t size);
int finish_write(FILE *file);
void stop_writer(void); // at the end of a run
// The closers (win32/closer.cpp): close_later hands a finished member's file on, to be closed
// behind the engine; finish_closes returns once every file handed on is closed.
void close_later(FILE *file);
void finish_closes(void);
void stop_closers(void); // at the end of a run
int UzpMessagePrnt(void *g, uint8_t *text, uint32_t size, int flags);
int UzpInput(void *g, uint8_t *buf, int *size, int flags);
int UzpMorePause(void *g, const char *prompt, int flags);
int UzpPassword(void *g, int *rcnt, char *pwbuf, int size, const char *zfn, const char *efn);
void handler(int signal);
uint32_t crc32(uint32_t crc, const uint8_t *buf, unsigned len);
uint32_t crc32_by_tables(uint32_t crc, const uint8_t *buf, unsigned len); // never by clmul
// Processor features (cpu.cpp), SSE2 included in each; always 0 on other processors.
int cpu_has_clmul(void); // carry-less multiplication: the CRC folds
int cpu_has_bmi2(void);  // BMI2: the decoder's second fast loop
const uint32_t *get_crc_table(void);
void make_crc_table(void);
void free_crc_table(void);
// Formats a message into G.msg_buf and sends it through message_fn.
int zmsg(int flags, const char *fmt, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 2, 3)))
#endif
    ;
// Reads one line of at most size - 1 characters from standard input; 0 when nothing came.
int read_reply(char *buf, int size);

// Deflate decoder (inflate.cpp). inflate decodes the current member (or, with to_memory,
// the block memextract set up).
enum {
    INFLATE_OK = 0,
    INFLATE_BAD_DATA = 1,  // invalid data, or input that ends early
    INFLATE_BAD_CODES = 2, // a block type 3, or over-subscribed code lengths
    INFLATE_NO_MEMORY = 3, // no memory for a table
};
int inflate(void);
int inflate_free(void);
int inflate_block(int *last);
int inflate_stored(void);
int inflate_fixed(void);
int inflate_dynamic(void);
int inflate_codes(huft *tl, huft *td, int bl, int bd);
int huft_build(const unsigned *b, unsigned n, unsigned s, const uint16_t *d, const uint16_t *e,
               huft **t, int *m);
int huft_free(huft *t);

// Windows file-system adaptation (win32/; its Windows-typed interfaces are in win32/win32.h).
int mapname(int new_name);
int checkdir(char *pathcomp, int function);
void map2fat(char *pathcomp, char **fat_end);
int mapattr(void);
void close_outfile(void);
int IsWinNT(void);
int32_t dos_to_unix_time(unsigned ddate, unsigned dtime);
void process_defer_NT(void); // after the last member: the queued directories, and the report
void discard_defer_NT(void); // a loop that ends early drops the queue instead
void end_security(void);     // at the end of the run: the queue, the locks, the set-up
// Code-page conversion of member names, in place (win32/codepage.cpp).
void oem_to_ansi(char *s);
void ansi_to_oem(char *s);
void utf8_to_ansi(char *s, unsigned size); // unrepresentable characters become '_'
int is_dbcs_lead_byte(uint8_t c);          // of the ANSI code page
int is_superscript_digit(uint8_t c);       // superscript 1, 2 or 3 in the ANSI code page
// After a clean run: close the extraction log and start "installer.exe", setting
// installerStartError (handoff.cpp). The stub's front end hands it to the engine as
// G.handoff_fn.
void hand_off(void);
// Closes logErrors, deleting "qelpand.log" when nothing was written into it.
void closeExtractLog(void);
extern const char ExtractLogName[]; // "qelpand.log"

// The next byte of the current member's data (0..255), or -1 at its end: straight from
// read_buf while it holds some, else through readbyte, which refills it within the member's
// limit (defer_leftover_input).
inline int next_byte(void) {
    return --G.read_left >= 0 ? *G.read_ptr++ : readbyte();
}

// Results of mapname and checkdir, besides ZR_DIR_CREATED, ZR_LABEL_SKIPPED and
// ZR_EF_MISSING.
enum {
    MAP_OK = 0,               // the path is ready in member_name: the member is written
    MAP_NOTHING_TO_WRITE = 2, // a directory that was there, a freshen miss, a label set
    MAP_ERROR = 3,            // the member is skipped; its message was given
    MAP_PATH_TOO_LONG = 4,    // a directory path longer than 256 characters: skipped
    MAP_NO_MEMORY = ZR_PARAM, // no memory for the path buffers
};

// checkdir functions, and its answer to any other.
enum { ROOT = 0, INIT = 1, APPEND_DIR = 2, APPEND_NAME = 3, GETPATH = 4, END = 5 };
enum { CHECKDIR_UNKNOWN_FUNCTION = 99 };

#endif
