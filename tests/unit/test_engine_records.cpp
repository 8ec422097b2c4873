// The little-endian readers, the search for the end record and the scan of extra fields
// for Unix times. Expected values are placed by the tests themselves or derived by hand.
#include "engine_fixture.h"

namespace {

// An end record with the given directory geometry and comment length.
std::string endRecord(uint32_t cdirSize, uint32_t cdirOffset, uint16_t entries,
                      uint16_t commentLen = 0) {
    std::string r = "PK\x05\x06";
    put16(r, 0);       // this disk
    put16(r, 0);       // directory's disk
    put16(r, entries); // entries on this disk
    put16(r, entries); // entries in all
    put32(r, cdirSize);
    put32(r, cdirOffset);
    put16(r, commentLen);
    return r;
}

class EndRecordSearch : public EngineTest {
  protected:
    // A file of `before` filler bytes, the record, then `after` filler bytes; returns the
    // result of the search.
    int search(size_t before, size_t after, uint16_t commentLen = 0, char filler = 'x') {
        std::string bytes(before, filler);
        bytes += endRecord(0x1234, 0x56, 7, commentLen);
        bytes += std::string(after, filler);
        writeFile("a.zip", bytes);
        G.archive_path = (char *)"a.zip";
        G.archive_len = (zoff_t)bytes.size();
        EXPECT_EQ(0, open_input_file());
        zoff_t len = G.archive_len < END_SEARCH_LEN ? G.archive_len : END_SEARCH_LEN;
        return find_ecrec(len);
    }
};

TEST_F(EndRecordSearch, FindsRecordInSmallFileWithOneRead) {
    ASSERT_EQ(0, search(100, 0));
    EXPECT_EQ(100, G.end_found_at);
    EXPECT_EQ(0x1234u, G.end_rec.cdir_size);
    EXPECT_EQ(0x56u, G.end_rec.cdir_offset);
    EXPECT_EQ(7u, G.end_rec.total_entries);
    EXPECT_EQ(0x1234 + 0x56, G.end_expected_at);
}

TEST_F(EndRecordSearch, FindsRecordFillingSmallFileExactly) {
    ASSERT_EQ(0, search(INBUF_SIZE - END_REC_LEN, 0));
    EXPECT_EQ(INBUF_SIZE - END_REC_LEN, G.end_found_at);
}

TEST_F(EndRecordSearch, FindsSignatureStraddlingTwoBlocks) {
    for (int split = 1; split <= 3; split++) {
        SCOPED_TRACE(split);
        // The signature's first `4 - split` bytes end one block, the rest begin the next.
        size_t at = 2 * INBUF_SIZE - (4 - split);
        ASSERT_EQ(0, search(at, 0));
        EXPECT_EQ((zoff_t)at, G.end_found_at);
        EXPECT_EQ(0x56u, G.end_rec.cdir_offset);
        close(G.archive_fd);
    }
}

TEST_F(EndRecordSearch, FindsRecordEndingInShortTail) {
    // Files whose length is 1 to 18 bytes past a block boundary: the tail is not scanned on
    // its own, the block before it covers the record.
    for (int tail = 1; tail <= 18; tail++) {
        SCOPED_TRACE(tail);
        size_t total = 3 * INBUF_SIZE + tail;
        ASSERT_EQ(0, search(total - END_REC_LEN, 0));
        EXPECT_EQ((zoff_t)(total - END_REC_LEN), G.end_found_at);
        close(G.archive_fd);
    }
}

TEST_F(EndRecordSearch, FindsRecordAtBlockStart) {
    ASSERT_EQ(0, search(2 * INBUF_SIZE, 500));
    EXPECT_EQ(2 * INBUF_SIZE, G.end_found_at);
}

TEST_F(EndRecordSearch, FindsRecordBeforeLongestComment) {
    ASSERT_EQ(0, search(200000, 65535, 65535));
    EXPECT_EQ(200000, G.end_found_at);
    EXPECT_EQ(65535u, G.end_rec.comment_len);
}

TEST_F(EndRecordSearch, FindsRecordBeforeAppendedCertificateTable) {
    // A signed package carries its certificate table after the archive.
    ASSERT_EQ(0, search(300000, 30 * 1024));
    EXPECT_EQ(300000, G.end_found_at);
}

TEST_F(EndRecordSearch, TakesTheLastOfTwoRecords) {
    std::string bytes(1000, 'x');
    bytes += endRecord(1, 2, 3);
    bytes += std::string(5000, 'y');
    bytes += endRecord(4, 5, 6);
    writeFile("two.zip", bytes);
    G.archive_path = (char *)"two.zip";
    G.archive_len = (zoff_t)bytes.size();
    ASSERT_EQ(0, open_input_file());
    ASSERT_EQ(0, find_ecrec(G.archive_len));
    EXPECT_EQ(6000 + END_REC_LEN, G.end_found_at);
    EXPECT_EQ(6u, G.end_rec.total_entries);
}

TEST_F(EndRecordSearch, IgnoresSignatureTooCloseToTheEndForARecord) {
    std::string bytes(20000, 'x');
    bytes += endRecord(1, 2, 3);
    bytes += "PK\x05\x06" + std::string(6, 'z'); // 10 trailing bytes: no room for a record
    writeFile("junk.zip", bytes);
    G.archive_path = (char *)"junk.zip";
    G.archive_len = (zoff_t)bytes.size();
    ASSERT_EQ(0, open_input_file());
    ASSERT_EQ(0, find_ecrec(G.archive_len));
    EXPECT_EQ(20000, G.end_found_at);
}

TEST_F(EndRecordSearch, ReportsMissingRecordOutsideSearchRange) {
    // The searched range is rounded up to whole blocks; this record lies before them.
    EXPECT_EQ(ZR_ERR, search(10, 100000));
    EXPECT_NE(std::string::npos,
              messages().find("  End-of-central-directory signature not found.\n"));
    EXPECT_EQ(0u, messages().find("[a.zip]\n"));
}

TEST(LittleEndian, ReadsUnalignedFields) {
    const uint8_t b[] = {0xFF, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xFE};
    EXPECT_EQ(0x1234, makeword(b + 1));
    EXPECT_EQ(0x12345678u, makelong(b + 3));
    EXPECT_EQ(0xFE123456u, makelong(b + 4));
}

// Fields are taken in order; one that runs past the end gives 0 and leaves the cursor short.
TEST(LittleEndian, CursorStopsAtItsEnd) {
    const uint8_t b[] = {0xFF, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xFE};
    Cursor c = cursor_over(b, 7);
    skip(&c, 1);
    EXPECT_EQ(0x1234, take16(&c));
    EXPECT_EQ(0x12345678u, take32(&c));
    EXPECT_FALSE(c.is_short);
    EXPECT_EQ(0u, take16(&c)) << "one byte left of the 7";
    EXPECT_TRUE(c.is_short);
    EXPECT_EQ(0, take8(&c)) << "nothing more once short";
}

// ---------------------------------------------------------------------------------------

// Extra-field blocks written field by field.
std::string utBlock(uint8_t flags, std::initializer_list<int32_t> times) {
    std::string data(1, (char)flags); // which times follow
    for (int32_t t : times)
        put32(data, (uint32_t)t);
    std::string b;
    put16(b, EF_TIME);
    put16(b, (unsigned)data.size());
    return b + data;
}
std::string uxBlock(int32_t atime, int32_t mtime) {
    std::string b;
    put16(b, EF_IZUNIX);
    put16(b, 8);
    put32(b, (uint32_t)atime);
    put32(b, (uint32_t)mtime);
    return b;
}
std::string ux2Block() {
    std::string b;
    put16(b, EF_IZUNIX2);
    put16(b, 4);
    put16(b, 1000); // uid
    put16(b, 1000); // gid
    return b;
}

unsigned scan(const std::string &ef, stamp_times *z, unsigned dosDate = 0x5021) {
    return ef_scan_for_izux((const uint8_t *)ef.data(), (unsigned)ef.size(), 0, dosDate, z, NULL);
}

const unsigned MTIME = EB_UT_FL_MTIME, ATIME = EB_UT_FL_ATIME, CTIME = EB_UT_FL_CTIME;

TEST(UnixTimeScan, DeliversEveryFlaggedTime) {
    stamp_times z = {};
    EXPECT_EQ(MTIME | ATIME | CTIME, scan(utBlock(7, {1000, 2000, 3000}), &z));
    EXPECT_EQ(1000, z.mtime);
    EXPECT_EQ(2000, z.atime);
    EXPECT_EQ(3000, z.ctime);
}

TEST(UnixTimeScan, ShortBlockDeliversOnlyWhatFits) {
    stamp_times z = {};
    EXPECT_EQ(MTIME, scan(utBlock(7, {1000}), &z)); // 5 data bytes
    EXPECT_EQ(1000, z.mtime);
}

TEST(UnixTimeScan, NegativeModificationTimeIgnoredUnless1980Placeholder) {
    stamp_times z = {};
    EXPECT_EQ(0u, scan(utBlock(3, {-5, 2000}), &z));
    EXPECT_EQ(MTIME | ATIME, scan(utBlock(3, {-5, 2000}), &z, 0x0021));
    EXPECT_EQ(-5, z.mtime);
}

TEST(UnixTimeScan, AccessTimeWithoutModificationTime) {
    stamp_times z = {};
    EXPECT_EQ(ATIME, scan(utBlock(2, {2000}), &z));
    EXPECT_EQ(2000, z.atime);
}

TEST(UnixTimeScan, OldUnixBlockThenOwnerBlockYieldsNoTimes) {
    stamp_times z = {};
    EXPECT_EQ(0u, scan(uxBlock(10, 20) + ux2Block(), &z));
}

TEST(UnixTimeScan, ExtendedBlockReplacesOldUnixTimes) {
    stamp_times z = {};
    EXPECT_EQ(MTIME, scan(uxBlock(10, 20) + utBlock(1, {30}), &z));
    EXPECT_EQ(30, z.mtime);
}

TEST(UnixTimeScan, OldUnixBlockAlone) {
    stamp_times z = {};
    EXPECT_EQ(MTIME | ATIME, scan(uxBlock(10, 20), &z));
    EXPECT_EQ(10, z.atime);
    EXPECT_EQ(20, z.mtime);
}

TEST(UnixTimeScan, StopsAtBlockLongerThanTheField) {
    stamp_times z = {};
    std::string ef = utBlock(1, {30});
    std::string bad;
    put16(bad, EF_TIME);
    put16(bad, 200); // claims more than there is
    bad += std::string(5, '\0');
    EXPECT_EQ(MTIME, scan(ef + bad, &z));
    EXPECT_EQ(30, z.mtime);
    EXPECT_EQ(0u, scan(bad, &z));
    EXPECT_EQ(0u, ef_scan_for_izux(NULL, 0, 0, 0, &z, NULL));
}

TEST(UnixTimeScan, SkipsUnknownBlocks) {
    stamp_times z = {};
    std::string other;
    put16(other, 0xCAFE);
    put16(other, 0);
    EXPECT_EQ(MTIME, scan(other + utBlock(1, {30}), &z));
}

} // namespace
