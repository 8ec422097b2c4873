// The engine's plumbing: the block reader over the archive with the per-member input limit,
// the output writer with CRC-32 and line-end conversion, the message sink and its hooks,
// the signal handler. See G for the fields used.
#include <conio.h>
#include <io.h>
#include <signal.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "unzip/unzip.h"

static const char CannotDeleteOldFile[] = "error:  cannot delete old %s\n";
static const char CannotOpenZipfile[] = "error:  cannot open zipfile [ %s ]\n";
static const char CannotCreateFile[] = "error:  cannot create %s\n";
const char ReadError[] = "error:  zipfile read error\n";
static const char DiskFullQuery[] = "%s:  write error (disk full?).  Continue? (y/n/^C) ";
static const char ZipfileCorrupt[] = "error:  zipfile probably corrupt (%s)\n";
static const char MorePrompt[] = "--More--(%lu)";
static const char HidePrompt[] = "\r                                                         \r";

// ---------------------------------------------------------------------------------------
// Messages

int zmsg(int flags, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(G.msg_buf, MSG_BUF_SIZE, fmt, ap);
    va_end(ap);
    if (n < 0) return 0;
    if (n >= MSG_BUF_SIZE) n = MSG_BUF_SIZE - 1; // cut, as vsnprintf did
    return (*G.message_fn)(&G, (uint8_t *)G.msg_buf, (uint32_t)n, flags);
}

int read_reply(char *buf, int size) {
    if (fgets(buf, size, stdin) == NULL) return 0;
    return 1;
}

static int stream_is_console(FILE *f) {
    return _isatty(fileno(f));
}

// Test output goes to standard output; when that is redirected but standard error is a
// console, errors are echoed there so that they are not lost from view.
static int echo_to_stderr(int flags) {
    return (flags & MF_ERRSTREAM) && G.test_only && !stream_is_console(stdout) &&
           stream_is_console(stderr);
}

static int write_text(FILE *out, const uint8_t *text, uint32_t size, int echo) {
    int short_write = fwrite(text, 1, size, out) != size;
    fflush(out);
    if (echo) {
        fwrite(text, 1, size, stderr);
        fflush(stderr);
    }
    return short_write;
}

int UzpMessagePrnt(void *g, uint8_t *text, uint32_t size, int flags) {
    (void)g;
    FILE *out = ((flags & MF_ERRSTREAM) && !G.test_only) ? stderr : stdout;
    int echo = echo_to_stderr(flags);

    // Callers' buffers have room for one more byte.
    if ((flags & MF_TRAILNL) &&
        ((size == 0 && !G.at_line_start) || (size > 0 && text[size - 1] != '\n')))
        text[size++] = '\n';
    if ((flags & MF_LEADNL) && !G.at_line_start) {
        write_text(out, (const uint8_t *)"\n", 1, echo);
        G.at_line_start = 1;
    }

    G.page_lines = 23;
    if (G.paging) {
        uint8_t *p = text, *end = text + size;
        for (uint8_t *q = text; q < end; q++) {
            if (*q != '\n' || ++G.line_count % G.page_lines != 0) continue;
            write_text(out, p, (uint32_t)(q + 1 - p), 0);
            G.at_line_start = 1;
            (*G.pause_fn)(&G, MorePrompt, 1);
            p = q + 1;
        }
        size = (uint32_t)(end - p);
        text = p;
    }
    if (size > 0) {
        if (write_text(out, text, size, echo)) return 1;
        G.at_line_start = text[size - 1] == '\n';
    }
    return 0;
}

int UzpInput(void *g, uint8_t *buf, int *size, int flags) {
    (void)g, (void)buf, (void)flags;
    *size = 0;
    return 0;
}

int UzpMorePause(void *g, const char *prompt, int flags) {
    (void)g;
    if (!G.at_line_start) fputc('\n', stderr);
    fprintf(stderr, prompt, (unsigned long)G.line_count);
    fflush(stderr);
    int c;
    if (flags & 1) {
        do
            c = _getch();
        while (c != '\r' && c != '\n' && c != ' ' && c != 'q' && c != 'Q' && c != EOF);
    } else {
        c = _getch();
    }
    fputs(HidePrompt, stderr);
    fflush(stderr);
    if (c == 'q' || c == 'Q') exit(0);
    G.at_line_start = 1;
    return 0;
}

int UzpPassword(void *g, int *rcnt, char *pwbuf, int size, const char *zfn, const char *efn) {
    (void)g, (void)rcnt, (void)pwbuf, (void)size, (void)zfn, (void)efn;
    return 5; // no password can be supplied
}

void handler(int signal) {
    if (signal == SIGSEGV) {
        zmsg(MSG_ERROR_LEADNL, ZipfileCorrupt, "segmentation violation");
        exit(ZR_BADERR);
    }
    exit(ZR_INTERRUPTED);
}

// ---------------------------------------------------------------------------------------
// Input

int open_input_file(void) {
    G.archive_fd = _open(G.archive_path, _O_RDONLY | _O_BINARY);
    if (G.archive_fd < 0) {
        zmsg(MSG_ERROR, CannotOpenZipfile, G.archive_path);
        return 1;
    }
    return 0;
}

// The one place the archive is read: up to INBUF_SIZE bytes at the file position into
// read_buf, which becomes the buffered block (read_ptr at its start, read_left its size).
// Returns the count: 0 at the end of the archive, -1 after a read error (the buffer is then
// empty).
static int fill_read_buf(void) {
    int n = _read(G.archive_fd, G.read_buf, INBUF_SIZE);
    G.read_ptr = G.read_buf;
    G.read_left = n > 0 ? n : 0;
    return n;
}

int read_block_at(zoff_t block) {
    G.block_start = _lseeki64(G.archive_fd, block, SEEK_SET);
    if (G.block_start < 0) return -1;
    return fill_read_buf();
}

int next_block(void) {
    int n = fill_read_buf();
    if (n > 0) G.block_start += INBUF_SIZE; // the file advances in whole blocks
    return n;
}

unsigned readbuf(char *buf, unsigned size) {
    unsigned wanted = size;
    while (wanted > 0) {
        if (G.read_left <= 0) {
            int n = next_block();
            if (n == 0) return size - wanted;
            if (n < 0) {
                zmsg(MSG_ERROR, "%s", ReadError);
                return 0;
            }
        }
        unsigned count = wanted < (unsigned)G.read_left ? wanted : (unsigned)G.read_left;
        memcpy(buf, G.read_ptr, count);
        G.read_ptr += count;
        G.read_left -= (int)count;
        buf += count;
        wanted -= count;
    }
    return size;
}

// While a member's data is read, read_left never counts bytes past the member, so that a
// decoder cannot run into the next header; the rest of the block is held back here.
void defer_leftover_input(void) {
    if ((zoff_t)G.read_left > G.csize_left) {
        if (G.csize_left < 0) G.csize_left = 0;
        G.leftover_ptr = G.read_ptr + G.csize_left;
        G.leftover_left = G.read_left - (int)G.csize_left;
        G.read_left = (int)G.csize_left;
    } else {
        G.leftover_left = 0;
    }
    G.csize_left -= G.read_left;
}

void undefer_input(void) {
    // readbyte counts its calls past the member's end below 0; no byte was taken by them,
    // so they must not move the held-back input.
    if (G.csize_left < 0) G.csize_left = 0;
    if (G.read_left > 0) G.csize_left += G.read_left;
    if (G.leftover_left > 0) {
        G.read_left = G.leftover_left + (int)G.csize_left;
        G.read_ptr = G.leftover_ptr - G.csize_left;
        G.leftover_left = 0;
    } else if (G.read_left < 0) {
        G.read_left = 0;
    }
}

int readbyte(void) {
    if (G.to_memory) return -1; // memory mode has no file input
    if (G.csize_left <= 0) {
        G.csize_left--;
        G.read_left = 0;
        return -1;
    }
    if (G.read_left <= 0) {
        int n = next_block();
        if (n == 0) return -1;
        if (n < 0) {
            finish_write(G.dest_file); // the member's file keeps what was handed on
            zmsg(MSG_ERROR, "%s", ReadError);
            exit(ZR_BADERR);
        }
        defer_leftover_input();
    }
    G.read_left--;
    return *G.read_ptr++;
}

// ---------------------------------------------------------------------------------------
// Output

int open_outfile(void) {
    if (G.dest_file != NULL) return 0; // made by create_outfile
    if (_stati64(G.member_name, &G.file_stat) == 0) {
        finish_closes(); // Windows deletes no file that is still open
        if (_access(G.member_name, ACCESS_WRITE) != 0) _chmod(G.member_name, _S_IREAD | _S_IWRITE);
        if (_unlink(G.member_name) != 0) {
            zmsg(MSG_ERROR, CannotDeleteOldFile, fnfilter(G.member_name, G.name_area[0]));
            return 1;
        }
    }
    G.dest_file = fopen(G.member_name, "wb");
    if (G.dest_file == NULL) {
        zmsg(MSG_ERROR, CannotCreateFile, fnfilter(G.member_name, G.name_area[0]));
        return 1;
    }
    // Blocks are written whole, so stdio's own buffer would only add a copy.
    setvbuf(G.dest_file, NULL, _IONBF, 0);
    return 0;
}

int disk_error(void) {
    zmsg(MSG_ERROR_QUERY_LEADNL, DiskFullQuery, fnfilter(G.member_name, G.name_area[0]));
    read_reply(G.reply_buf, 9);
    G.disk_state = (G.reply_buf[0] == 'y') ? 1 : 2;
    return ZR_DISKFULL;
}

int finish_writes(void) {
    return finish_write(G.dest_file) ? disk_error() : 0;
}

static int write_out(const uint8_t *data, uint32_t size) {
    if (G.to_sink) return (*G.message_fn)(&G, (uint8_t *)data, size, 0), 0;
    if (fwrite(data, 1, size, G.dest_file) != size) return disk_error();
    return 0;
}

// CR and lone LF become CR LF; a CR LF pair stays one pair, also when a block boundary
// falls between the two.
static uint32_t convert_line_ends(const uint8_t *data, uint32_t size, uint8_t *out) {
    uint8_t *q = out;
    uint32_t i = 0;
    if (G.first_flush) {
        G.cr_pending = 0;
        G.first_flush = 0;
    }
    if (G.cr_pending && size > 0 && data[0] == '\n') i = 1;
    G.cr_pending = 0;
    for (; i < size; i++) {
        uint8_t c = data[i];
        if (c == '\r') {
            *q++ = '\r';
            *q++ = '\n';
            if (i + 1 == size)
                G.cr_pending = 1;
            else if (data[i + 1] == '\n')
                i++;
        } else if (c == '\n') {
            *q++ = '\r';
            *q++ = '\n';
        } else {
            *q++ = c;
        }
    }
    return (uint32_t)(q - out);
}

int flush(uint8_t *data, uint32_t size, int second_buffer) {
    (void)second_buffer;
    G.running_crc = crc32(G.running_crc, data, size);
    if (G.test_only || size == 0) return 0;
    if (G.disk_state) return ZR_DISKFULL;
    if (!G.cur_entry->convert_eol && !G.to_sink)
        return stage_write(G.dest_file, data, size) ? disk_error() : 0;
    if (!G.cur_entry->convert_eol) return write_out(data, size);

    // Converted text at most doubles, so write_buf takes a window-sized block at a time.
    for (uint32_t done = 0; done < size; done += WINDOW_SIZE) {
        uint32_t part = size - done < WINDOW_SIZE ? size - done : WINDOW_SIZE;
        uint32_t n = convert_line_ends(data + done, part, G.write_buf);
        int r = n ? write_out(G.write_buf, n) : 0;
        if (r) return r;
    }
    return 0;
}
