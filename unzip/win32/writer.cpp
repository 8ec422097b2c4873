// Writes behind the decoder. A member's data are gathered into one of two stages of
// STAGE_SIZE bytes; a full stage is written to the member's file by a thread of its own while
// the next one fills, so that a large member's decoding and writing overlap. The member's
// last part is written in place when it ends, so a member that fits one stage (most do)
// never waits for the other thread, and a run without a large member never starts it.
// Everything else (the CRC, the messages, the questions, opening and closing files) stays on
// the engine's thread, in the same order as without this one: a write that fell short is
// reported at the next hand-over or at the member's end, and nothing observable happens in
// between.
//
// The writer touches nothing but this record. The two sides hand over through the counts of
// jobs posted and done, each waiting for the other's to change (countwait.cpp). A run ends
// its writer (stop_writer), so no thread outlives a run.
//
// The counts are waited on by address where Windows allows it, where they used to have an
// event each: the runtime-like package (993 members, 143 MB deflated, 20 members of more
// than one stage) took 0.90, 0.99, 0.91 and 0.90 of the time, and 0.93 stored
// (bench/floor_bench.py, win64 stubs under Wine in the same rounds, medians of 10 to 30).
//
// Measured without: making each member's new file on this thread while the engine decodes
// the member, the overwrite rules deciding once the file was needed. Under Wine a hand-over
// by events costs about what a create does, so stored members took 1.11-1.21 times as long
// (ombrelin.exe -q on tmpfs, 12 paired rounds), and with only deflated members of 64 KiB or
// more handed over, deflated packages took 0.94-0.96 of the time (30 rounds; single rounds
// 0.45-1.53). Spinning before each wait did not help. With hand-overs on addresses, deflated
// members' files made here took 0.90-0.97 of the time; but an exclusive create is also how
// the engine learns that a name exists, which its overwrite rules need before the member's
// extraction begins, so that would move questions and messages.
#include <atomic>
#include <process.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "unzip/win32/win32.h"

namespace {

// 256 KiB: a hand-over costs two thread wake-ups, and at 32 KiB (one ring half) under Wine
// those cost more than the write they hide: the 143 MB runtime package's stored extraction
// took 1.14 s instead of 0.74 s.
enum { STAGE_SIZE = 256 * 1024, WRITER_STACK = 64 * 1024 };

struct Writer {
    HANDLE thread;   // running writer, or NULL
    int unavailable; // the thread could not be started this run: write in place
    uint8_t *stages; // two stages, one filling while the other is written
    int filling;     // the stage being filled: 0 or 1
    uint32_t used;   // bytes in it
    int discard;     // a short write was reported: drop the rest of the member
    // The job in flight: written by the engine's thread before it counts the job as posted,
    // read by the writer before it counts it as done. A NULL file ends the writer.
    FILE *file;
    const uint8_t *data;
    uint32_t size;
    int short_write; // the writer's: the job's write fell short
    WaitedCount posted, done;
};

Writer W;

unsigned WINAPI writer_main(void *) {
    for (unsigned seen = W.done.value.load(std::memory_order_relaxed);; seen++) {
        wait_for_change(&W.posted, seen);
        FILE *file = W.file;
        if (file != NULL) W.short_write = fwrite(W.data, 1, W.size, file) != W.size;
        count_up(&W.done);
        if (file == NULL) return 0;
    }
}

void post(FILE *file, const uint8_t *data, uint32_t size) {
    W.file = file;
    W.data = data;
    W.size = size;
    count_up(&W.posted);
}

// Waits until the writer has done every job posted; 1 when one fell short.
int wait_idle(void) {
    unsigned posted = W.posted.value.load(std::memory_order_relaxed);
    for (unsigned done; (done = W.done.value.load(std::memory_order_acquire)) != posted;)
        wait_for_change(&W.done, done);
    int failed = W.short_write;
    W.short_write = 0;
    return failed;
}

int start_writer(void) {
    if (count_waits_ready(&W.posted) && count_waits_ready(&W.done))
        W.thread = (HANDLE)_beginthreadex(NULL, WRITER_STACK, writer_main, NULL, 0, NULL);
    W.unavailable = W.thread == NULL;
    return !W.unavailable;
}

int write_here(FILE *file, const uint8_t *data, uint32_t size) {
    return fwrite(data, 1, size, file) != size;
}

// The full stage goes to the writer, which the first one starts; 1 when an earlier write fell
// short.
int pass_on(FILE *file) {
    if (wait_idle()) return 1;
    uint8_t *stage = W.stages + W.filling * STAGE_SIZE;
    W.used = 0;
    if (W.thread == NULL && (W.unavailable || !start_writer()))
        return write_here(file, stage, STAGE_SIZE);
    post(file, stage, STAGE_SIZE);
    W.filling ^= 1;
    return 0;
}

// Made at a run's first write; without them (no memory) every write is made in place.
int have_stages(void) {
    if (W.stages == NULL) W.stages = (uint8_t *)malloc(2 * STAGE_SIZE);
    return W.stages != NULL;
}

} // namespace

int stage_write(FILE *file, const uint8_t *data, uint32_t size) {
    if (W.discard) return 0;
    if (!have_stages()) return W.discard = write_here(file, data, size);
    while (size > 0) {
        uint32_t n = size < STAGE_SIZE - W.used ? size : STAGE_SIZE - W.used;
        memcpy(W.stages + W.filling * STAGE_SIZE + W.used, data, n);
        W.used += n;
        data += n;
        size -= n;
        if (W.used == STAGE_SIZE && pass_on(file)) return W.discard = 1;
    }
    return 0;
}

int finish_write(FILE *file) {
    int failed = wait_idle();
    if (!failed && !W.discard && W.used > 0)
        failed = write_here(file, W.stages + W.filling * STAGE_SIZE, W.used);
    W.used = 0;
    W.discard = 0;
    return failed;
}

void stop_writer(void) {
    if (W.thread != NULL) {
        wait_idle();
        post(NULL, NULL, 0);
        WaitForSingleObject(W.thread, INFINITE);
        CloseHandle(W.thread);
        W.thread = NULL;
    }
    free(W.stages);
    W.stages = NULL;
    W.used = 0;
    W.discard = W.unavailable = 0;
}
