// CRC-32, DOS time stamps, the output writer's line-end conversion and the member input
// limit. CRCs are checked against zlib, times against values derived by hand from the
// calendar.
#include <zlib.h>

#include <iostream>

#include "engine_fixture.h"

namespace {

// zlib's CRC, the reference; its exact argument types keep the call unambiguous.
uint32_t referenceCrc(const void *data, size_t len) {
    return (uint32_t)::crc32(0UL, (const Bytef *)data, (uInt)len);
}

TEST(Crc32, KnownVectors) {
    EXPECT_EQ(0x352441C2u, crc32(0u, (const uint8_t *)"abc", 3u));
    EXPECT_EQ(0u, crc32(0u, (const uint8_t *)NULL, 0u));
    EXPECT_EQ(0xCBF43926u, crc32(0u, (const uint8_t *)"123456789", 9u));
}

// Both ways, at the lengths where they change gear: the byte tail, words, braided rounds
// (40 bytes) and their end, folded blocks of 64 bytes and their 16-byte tail.
TEST(Crc32, AgreesWithZlibAcrossLengthsAndChunks) {
    std::string data;
    for (int i = 0; i < 5000; i++)
        data += (char)(i * 7 + (i >> 3));
    const uint8_t *p = (const uint8_t *)data.data();
    for (size_t len : {0u,  1u,  7u,  8u,   9u,   39u,  40u,  79u,   80u,   81u,
                       63u, 64u, 65u, 127u, 128u, 143u, 144u, 1000u, 4999u, 5000u}) {
        uint32_t want = referenceCrc(p, len);
        EXPECT_EQ(want, crc32(0u, p, (unsigned)len)) << len;
        EXPECT_EQ(want, crc32_by_tables(0u, p, (unsigned)len)) << len;
        if (len >= 13) {
            EXPECT_EQ(want, crc32(crc32(0u, p, 13u), p + 13, (unsigned)len - 13)) << len;
        }
    }
    if (!cpu_has_clmul()) std::cout << "(this CPU has no carry-less multiplication)\n";
    free_crc_table();
}

// ---------------------------------------------------------------------------------------

class DosTime : public ::testing::Test {
  protected:
    void SetUp() override {
        compat::reset();
        const char *tz = getenv("TZ");
        saved_tz_ = tz ? tz : "";
        had_tz_ = tz != NULL;
        setTz("UTC0");
    }
    void TearDown() override {
        if (had_tz_)
            setenv("TZ", saved_tz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
        compat::reset();
    }
    static void setTz(const char *tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
    // DOS date and time fields packed by hand.
    static unsigned date(int y, int m, int d) { return (unsigned)((y - 1980) << 9 | m << 5 | d); }
    static unsigned time(int h, int mi, int s) { return (unsigned)(h << 11 | mi << 5 | s / 2); }

    std::string saved_tz_;
    bool had_tz_;
};

TEST_F(DosTime, CalendarInUtc) {
    EXPECT_EQ(315532800, dos_to_unix_time(date(1980, 1, 1), 0));
    EXPECT_EQ(352252800, dos_to_unix_time(date(1981, 3, 1), 0)); // no leap day in 1981
    EXPECT_EQ(446947200, dos_to_unix_time(date(1984, 3, 1), 0)); // leap day counted
    EXPECT_EQ(446860800, dos_to_unix_time(date(1984, 2, 29), 0));
    // 2024-07-15 13:45:58
    EXPECT_EQ(1721051158, dos_to_unix_time(date(2024, 7, 15), time(13, 45, 58)));
}

TEST_F(DosTime, SaturatesBeyond2038) {
    EXPECT_EQ(0x7FFFFFFF, dos_to_unix_time(date(2107, 12, 31), 0));
    EXPECT_EQ(0x7FFFFFFF, dos_to_unix_time(date(2040, 1, 1), 0));
    EXPECT_EQ(2147385600, dos_to_unix_time(date(2038, 1, 18), 0));
}

TEST_F(DosTime, ZoneBiasApplied) {
    compat::setTimeZone(-60, TIME_ZONE_ID_STANDARD); // one hour east of UTC
    EXPECT_EQ(315532800 - 3600, dos_to_unix_time(date(1980, 1, 1), 0));
}

TEST_F(DosTime, ZoneWithoutDaylightSavingStillApplied) {
    // Japan: no daylight saving, so the zone query reports "unknown" with a valid bias.
    compat::setTimeZone(-540, TIME_ZONE_ID_UNKNOWN);
    EXPECT_EQ(315532800 - 9 * 3600, dos_to_unix_time(date(1980, 1, 1), 0));
}

TEST_F(DosTime, FailedZoneQueryLeavesTimeUncorrected) {
    compat::setTimeZone(-540, TIME_ZONE_ID_INVALID);
    EXPECT_EQ(315532800, dos_to_unix_time(date(1980, 1, 1), 0));
}

TEST_F(DosTime, DaylightSavingHourRemoved) {
    setTz("CET-1CEST,M3.5.0,M10.5.0/3");
    compat::setTimeZone(-60, TIME_ZONE_ID_STANDARD);
    // 2024-07-15 12:00 local summer time is 10:00 UTC.
    EXPECT_EQ(1721037600, dos_to_unix_time(date(2024, 7, 15), time(12, 0, 0)));
}

// ---------------------------------------------------------------------------------------

class OutputWriter : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        G.cur_entry->convert_eol = 1;
        G.first_flush = 1;
        G.dest_file = ::fopen("out", "wb");
    }
    void write(const std::string &block) {
        ASSERT_EQ(0, flush((uint8_t *)block.data(), (uint32_t)block.size(), 0));
    }
    std::string output() {
        EXPECT_EQ(0, finish_writes()); // the member's end
        fclose(G.dest_file);
        G.dest_file = NULL;
        return readFile("out");
    }
};

TEST_F(OutputWriter, ConvertsLoneCrAndLoneLf) {
    write("a\rb\nc\r\nd");
    EXPECT_EQ("a\r\nb\r\nc\r\nd", output());
}

TEST_F(OutputWriter, CrLfSplitAcrossBlocksStaysOnePair) {
    write("line1\r");
    write("\nline2\r");
    write("x");
    EXPECT_EQ("line1\r\nline2\r\nx", output());
}

TEST_F(OutputWriter, CrcIsOfTheDataBeforeConversion) {
    write("a\r");
    write("\nb\n");
    EXPECT_EQ(referenceCrc("a\r\nb\n", 5), G.running_crc);
    output();
}

TEST_F(OutputWriter, NewMemberForgetsPendingCr) {
    write("a\r");
    G.first_flush = 1;
    write("\nb");
    EXPECT_EQ("a\r\n\r\nb", output());
}

TEST_F(OutputWriter, BinaryMemberWrittenUnchanged) {
    G.cur_entry->convert_eol = 0;
    write(std::string("\r\n\x1a\0z", 5));
    EXPECT_EQ(std::string("\r\n\x1a\0z", 5), output());
}

TEST_F(OutputWriter, FullWindowOfLineEndsFitsTheBuffer) {
    write(std::string(WINDOW_SIZE, '\n'));
    EXPECT_EQ((size_t)2 * WINDOW_SIZE, output().size());
}

// ---------------------------------------------------------------------------------------

// A member's bytes end inside a buffered block: the reader stops exactly at its size, and
// the bytes after it are there again for the next header.
TEST_F(EngineTest, MemberInputLimitHoldsBackTheRest) {
    std::string bytes = std::string(100, 'm') + "NEXT" + std::string(50, 'z');
    writeFile("in", bytes);
    G.archive_path = (char *)"in";
    ASSERT_EQ(0, open_input_file());
    G.block_start = -1; // nothing buffered yet
    ASSERT_EQ(0, archive_seek(0));
    G.csize_left = 100;
    defer_leftover_input();
    int count = 0;
    while (next_byte() >= 0)
        count++;
    EXPECT_EQ(100, count);
    undefer_input();
    char next[5] = {};
    ASSERT_EQ(4u, readbuf(next, 4));
    EXPECT_STREQ("NEXT", next);
}

// A security block is expanded from memory while a member's data is being read (a directory
// before its data, a file after them): the member's input goes on where it stood.
TEST_F(EngineTest, MemoryExtractionLeavesTheMembersInputAsItWas) {
    std::string bytes = std::string(100, 'm') + "NEXT";
    writeFile("in", bytes);
    G.archive_path = (char *)"in";
    ASSERT_EQ(0, open_input_file());
    G.block_start = -1;
    ASSERT_EQ(0, archive_seek(0));
    G.csize_left = 100;
    defer_leftover_input();
    for (int i = 0; i < 40; i++)
        ASSERT_EQ('m', next_byte());

    std::string block = std::string("\0\0\x33\xf0\xc4\x68", 6) + "0123456789abcdef"; // stored, CRC
    uint8_t target[16];
    ASSERT_EQ(0, memextract(target, 16, (const uint8_t *)block.data(), (uint32_t)block.size()));

    int count = 0;
    while (next_byte() >= 0)
        count++;
    EXPECT_EQ(60, count);
    undefer_input();
    char next[5] = {};
    ASSERT_EQ(4u, readbuf(next, 4));
    EXPECT_STREQ("NEXT", next);
}

} // namespace
