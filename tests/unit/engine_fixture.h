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
#include <zlib.h>

#include <string>
#include <vector>

#include "compat/control.h"
#include "unzip/win32/win32.h"

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

// A raw Deflate stream of in, made by zlib.
inline std::string zlibDeflate(const std::string &in, int level = 9,
                               int strategy = Z_DEFAULT_STRATEGY) {
    z_stream z = {};
    deflateInit2(&z, level, Z_DEFLATED, -15, 9, strategy);
    std::string out(deflateBound(&z, (uLong)in.size()), '\0');
    z.next_in = (Bytef *)in.data();
    z.avail_in = (uInt)in.size();
    z.next_out = (Bytef *)&out[0];
    z.avail_out = (uInt)out.size();
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// How many calls of `name` the host stand-ins recorded since compat::reset().
inline int apiCallCount(const char *name) {
    int n = 0;
    for (const compat::ApiCall &c : compat::apiCalls())
        n += c.name == name;
    return n;
}

// Little-endian field writers for hand-built records.
inline void put16(std::string &s, unsigned v) {
    s += (char)(v & 0xFF);
    s += (char)((v >> 8) & 0xFF);
}
inline void put32(std::string &s, uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

// ---------------------------------------------------------------------------------------
// Hand-built archives and whole engine runs over them

// One member of a hand-built archive: data is what the archive holds; a deflated member's
// content, whose CRC and size its headers carry, is plain.
struct Member {
    std::string name, data;
    uint16_t flags = 0;
    uint16_t method = METHOD_STORED;
    uint32_t crc = 0; // 0: the true CRC
    std::string plain = std::string();
};

// An archive. `front` stands before it; with `correctLocal` / `correctCentral` the
// local header offsets / the directory offset count from the start of the file instead of
// the archive's.
inline std::string buildPackage(const std::vector<Member> &members, const std::string &front = "",
                                bool correctLocal = false, bool correctCentral = false,
                                int32_t cdirOffsetError = 0, const std::string &gap = "") {
    std::string archive, central;
    uint32_t shift = (uint32_t)front.size();
    for (const Member &m : members) {
        const std::string &content = m.method == METHOD_DEFLATED ? m.plain : m.data;
        uint32_t crc =
            m.crc ? m.crc
                  : (uint32_t)::crc32(0UL, (const Bytef *)content.data(), (uInt)content.size());
        uint32_t offset = (uint32_t)archive.size() + (correctLocal ? shift : 0);
        archive += "PK\x03\x04";
        archive += (char)10; // version needed 1.0
        archive += (char)0;  // host
        put16(archive, m.flags);
        put16(archive, m.method);
        put16(archive, 0x6000);                    // 12:00:00
        put16(archive, (44 << 9) | (7 << 5) | 15); // 2024-07-15
        put32(archive, crc);
        put32(archive, (uint32_t)m.data.size());  // compressed size
        put32(archive, (uint32_t)content.size()); // uncompressed size
        put16(archive, (unsigned)m.name.size());
        put16(archive, 0); // extra field
        archive += m.name + m.data;

        central += "PK\x01\x02";
        central += (char)20; // made by 2.0
        central += (char)3;  // Unix
        central += (char)10;
        central += (char)0;
        put16(central, m.flags);
        put16(central, m.method);
        put16(central, 0x6000);
        put16(central, (44 << 9) | (7 << 5) | 15);
        put32(central, crc);
        put32(central, (uint32_t)m.data.size());
        put32(central, (uint32_t)content.size());
        put16(central, (unsigned)m.name.size());
        put16(central, 0); // extra field
        put16(central, 0); // comment
        put16(central, 0); // disk
        put16(central, 0); // internal attributes
        put32(central, 0); // external attributes
        put32(central, offset);
        central += m.name;
    }
    uint32_t cdirOffset =
        (uint32_t)archive.size() + (correctCentral ? shift : 0) + (uint32_t)cdirOffsetError;
    archive += central + gap;
    archive += "PK\x05\x06";
    put16(archive, 0);
    put16(archive, 0);
    put16(archive, (unsigned)members.size());
    put16(archive, (unsigned)members.size());
    put32(archive, (uint32_t)central.size());
    put32(archive, cdirOffset);
    put16(archive, 0);
    return front + archive;
}

class EngineRun : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        // Members land in out/; the package stands beside it, inside this test's own folder
        // (tests run in parallel).
        ASSERT_EQ(0, mkdir("out", 0755));
        ASSERT_EQ(0, chdir("out"));
        // process_zipfiles allocates its own buffers.
        free_G_buffers();
        // Questions read nothing, as in the stub, which has no console.
        saved_stdin_ = dup(0);
        ASSERT_NE(nullptr, freopen("/dev/null", "r", stdin));
        G.quiet_level = 4;
        G.select_all = 1;
        G.extracting = 1;
    }
    void TearDown() override {
        dup2(saved_stdin_, 0);
        close(saved_stdin_);
        clearerr(stdin);
        EngineTest::TearDown();
    }
    int run(const std::string &package) {
        writeFile("../package.exe", package);
        static char path[] = "../package.exe";
        G.archive_path = path;
        G.program_arg0 = path;
        return process_zipfiles();
    }
    bool has(const std::string &text) { return messages().find(text) != std::string::npos; }

    int saved_stdin_ = -1;
};

#endif
