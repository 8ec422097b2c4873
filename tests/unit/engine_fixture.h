// Common set-up for tests of the engine: a fresh G with its buffers and signatures, the
// engine's messages captured instead of printed, and a scratch directory as the current
// directory.
#ifndef TESTS_UNIT_ENGINE_FIXTURE_H
#define TESTS_UNIT_ENGINE_FIXTURE_H

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "compat/control.h"
#include "unzip/unzip.h"

class EngineTest : public ::testing::Test {
  protected:
    static std::string &messages() {
        static std::string text;
        return text;
    }
    static int capture(void *, uint8_t *text, uint32_t size, int) {
        messages().append((const char *)text, size);
        return 0;
    }

    void SetUp() override {
        compat::reset();
        globalsCtor();
        G.message_fn = capture;
        messages().clear();
        G.read_buf = (uint8_t *)malloc(INBUF_SIZE + 4);
        G.write_buf = G.write_base = (uint8_t *)malloc(OUTBUF_SIZE + 1);
        G.sig_spill = G.read_buf + INBUF_SIZE;
        memcpy(G.sig_local, "PK\x03\x04", 5);
        memcpy(G.sig_central, "PK\x01\x02", 5);
        memcpy(G.sig_end, "PK\x05\x06", 5);
        char tmpl[] = "/tmp/engine-test-XXXXXX";
        dir_ = mkdtemp(tmpl);
        if (getcwd(old_cwd_, sizeof old_cwd_) == NULL) old_cwd_[0] = '\0';
        EXPECT_EQ(0, chdir(dir_.c_str()));
    }
    void TearDown() override {
        if (G.archive_fd >= 0) close(G.archive_fd);
        free_G_buffers();
        EXPECT_EQ(0, chdir(old_cwd_));
        std::string cmd = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(0, system(cmd.c_str()));
    }

    // Writes bytes to a file in the scratch directory.
    static void writeFile(const char *name, const std::string &bytes) {
        FILE *f = ::fopen(name, "wb");
        ASSERT_NE(nullptr, f);
        ASSERT_EQ(bytes.size(), fwrite(bytes.data(), 1, bytes.size(), f));
        fclose(f);
    }
    static bool fileExists(const char *name) {
        struct stat st;
        return stat(name, &st) == 0;
    }
    static std::string readFile(const char *name) {
        std::string out;
        FILE *f = ::fopen(name, "rb");
        if (f == NULL) return out;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0)
            out.append(buf, n);
        fclose(f);
        return out;
    }

    std::string dir_;
    char old_cwd_[4096];
};

// Little-endian field writers for hand-built records.
inline void put16(std::string &s, unsigned v) {
    s += (char)(v & 0xFF);
    s += (char)((v >> 8) & 0xFF);
}
inline void put32(std::string &s, uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

#endif
