// The engine when the medium fails under it: a read error in the directory or when the
// directory is read again after a batch, a read error inside a member's data, and a disk
// that fills up inside a member, also where its writes run behind the decoder (waiting on
// events, or on addresses). The host stand-ins fail at a chosen byte.
#include "engine_fixture.h"

namespace {

// Two stored members, a.bin and b.txt, whose directory starts at dirAt: a.bin fills the
// bytes before it.
std::string packageWithDirectoryAt(size_t dirAt, size_t bSize = 10) {
    size_t aSize = dirAt - 2 * (LOCAL_HDR_LEN + 5) - bSize;
    return buildPackage({{"a.bin", std::string(aSize, 'a')}, {"b.txt", std::string(bSize, 'b')}});
}

struct FailureCase {
    const char *label;
    size_t dirAt;     // where the directory starts
    int64_t failAt;   // the failing byte, or -1
    int spared;       // reads reaching it that still succeed
    int64_t diskRoom; // bytes the disk takes, or -1
    int result;
    const char *message;  // one of the messages
    const char *unwanted; // a message that must not come, or ""
    int64_t aSize;        // a.bin left behind: its size, or -1 for none
    bool bExtracted;
};
void PrintTo(const FailureCase &c, std::ostream *os) {
    *os << c.label;
}

class EngineFailures : public EngineRun, public ::testing::WithParamInterface<FailureCase> {};

const int64_t kBlock = INBUF_SIZE;

TEST_P(EngineFailures, ResultMessagesAndFilesLeft) {
    const FailureCase &c = GetParam();
    std::string package = packageWithDirectoryAt(c.dirAt);
    compat::failReadsAt(c.failAt, false, c.spared);
    compat::setDiskRoom(c.diskRoom);
    EXPECT_EQ(c.result, run(package));
    EXPECT_TRUE(has(c.message)) << messages();
    if (*c.unwanted) {
        EXPECT_FALSE(has(c.unwanted)) << messages();
    }
    struct stat st;
    EXPECT_EQ(c.aSize, stat("a.bin", &st) == 0 ? (int64_t)st.st_size : -1);
    if (c.aSize > 0) {
        EXPECT_TRUE(readFile("a.bin") == std::string((size_t)c.aSize, 'a'));
    }
    EXPECT_EQ(c.bExtracted, readFile("b.txt") == std::string(10, 'b'));
}

// The directory's block is the archive's last: the end search reads it first (spared), and
// the scan or the return to the directory after the batch reads it again.
INSTANTIATE_TEST_SUITE_P(
    Medium, EngineFailures,
    ::testing::Values(
        // Entry b.txt straddles the block boundary; the scan's read of the next block fails.
        FailureCase{"ReadErrorMidDirectory", 3 * kBlock - 60, 3 * kBlock, 1, -1, ZR_EOF,
                    "error:  zipfile read error\n", "", 3 * kBlock - 60 - 80, false},
        // The members were read; reading the directory's block again fails. A read error,
        // not a damaged directory.
        FailureCase{"ReadErrorReturningToDirectory", 3 * kBlock, 3 * kBlock, 1, -1, ZR_BADERR,
                    "error:  zipfile read error\n", "expected central file header signature",
                    3 * kBlock - 80, true},
        // The disk takes 10,000 bytes of a.bin's first 32 KiB; the loop ends after it.
        FailureCase{"DiskFullMidMember", 5 * kBlock, -1, 0, 10000, ZR_DISKFULL,
                    "warning:  a.bin is probably truncated\n", "", 10000, false},
        // A member of more than two stages is written behind the decoder; the disk fills up
        // in a stage the writer thread writes, and the rest of the member is dropped.
        FailureCase{"DiskFullBehindTheDecoder", 700000, -1, 0, 300000, ZR_DISKFULL,
                    "warning:  a.bin is probably truncated\n", "", 300000, false},
        FailureCase{"LargeMemberWrittenBehind", 700000, -1, 0, -1, 0, "", "truncated", 700000 - 80,
                    true}),
    [](const ::testing::TestParamInfo<FailureCase> &info) { return info.param.label; });

// The writer's hand-overs wait on the counts' addresses where Windows has that (8 and later),
// on events elsewhere (the default above).
TEST_F(EngineRun, LargeMemberWrittenBehindWaitingOnAddresses) {
    compat::setAddressWaits(true);
    EXPECT_EQ(0, run(packageWithDirectoryAt(700000)));
    EXPECT_TRUE(readFile("a.bin") == std::string(700000 - 80, 'a'));
    EXPECT_TRUE(readFile("b.txt") == std::string(10, 'b'));
}

// A read error inside a member's data ends the process with code 3, as the block reader has
// no way to hand it back through the decoder; the member's file stays as far as it came: the
// first 32 KiB, handed on before the failing read.
TEST_F(EngineRun, ReadErrorMidMemberEndsTheProcess) {
    std::string package = packageWithDirectoryAt(10 * kBlock);
    compat::failReadsAt(6 * kBlock);
    EXPECT_EXIT(run(package), ::testing::ExitedWithCode(ZR_BADERR), "");
    EXPECT_TRUE(readFile("a.bin") == std::string(WINDOW_SIZE, 'a'));
    EXPECT_FALSE(fileExists("b.txt"));
}

} // namespace
