// Whole engine runs over archives built byte by byte here, where the offsets, the bytes in
// front and the damage are exactly what each test needs: the prefix correction and its
// retries, batches, CRC and selection verdicts, and the overwrite rules without input.
#include <sys/stat.h>

#include <zlib.h>

#include "engine_fixture.h"

namespace {

const std::string Stub(5000, 'S'); // bytes of executable in front of the archive

TEST_F(EngineRun, StubInFrontIsFoundSilently) {
    EXPECT_EQ(0, run(buildPackage({{"a.txt", "alpha"}, {"d/b.txt", "beta"}}, Stub)));
    EXPECT_EQ((zoff_t)Stub.size(), G.prefix_bytes);
    EXPECT_EQ("", messages());
    EXPECT_EQ("alpha", readFile("a.txt"));
    EXPECT_EQ("beta", readFile("d/b.txt"));
}

TEST_F(EngineRun, OffsetsCorrectedToTheWholeFileNeedNoPrefix) {
    EXPECT_EQ(0, run(buildPackage({{"a.txt", "alpha"}}, Stub, true, true)));
    EXPECT_EQ(0, G.prefix_bytes);
    EXPECT_EQ("alpha", readFile("a.txt"));
}

// The directory offset counts from the archive, the local offsets from the file: adding the
// prefix once more misses the first header, and the loop retries without it.
TEST_F(EngineRun, LocalOffsetsAlreadyCorrectedAreRecompensated) {
    std::string big(20000, 'a');
    EXPECT_EQ(ZR_ERR, run(buildPackage({{"a.txt", big}, {"b.txt", "beta"}}, Stub, true)));
    EXPECT_TRUE(has("file #0:  bad zipfile offset (local header sig):  10000\n"));
    EXPECT_TRUE(has("  (attempting to re-compensate)\n"));
    EXPECT_EQ(big, readFile("a.txt"));
    EXPECT_EQ("beta", readFile("b.txt"));
}

// The same when the doubly corrected offset lies past the end of the file.
TEST_F(EngineRun, RecompensatedAlsoWhenTheOffsetMissesTheFile) {
    EXPECT_EQ(ZR_ERR, run(buildPackage({{"a.txt", "alpha"}, {"b.txt", "beta"}}, Stub, true)));
    EXPECT_TRUE(has("file #0:  bad zipfile offset (lseek):  8192\n"));
    EXPECT_TRUE(has("  (attempting to re-compensate)\n"));
    EXPECT_EQ("alpha", readFile("a.txt"));
    EXPECT_EQ("beta", readFile("b.txt"));
}

TEST_F(EngineRun, DirectoryFoundOnlyWithoutCorrection) {
    // Offsets count from the file, but bytes between the directory and the end record make
    // the geometry suggest a prefix: the directory is found at its plain offset.
    EXPECT_EQ(ZR_ERR, run(buildPackage({{"a.txt", "alpha"}}, Stub, true, true, 0, "gap")));
    EXPECT_EQ(0, G.prefix_bytes);
    EXPECT_EQ("alpha", readFile("a.txt"));
}

TEST_F(EngineRun, MissingBytesReportedAndProcessingGoesOn) {
    // The end record claims the directory 5 bytes further on than it is.
    EXPECT_EQ(ZR_ERR, run(buildPackage({{"a.txt", "alpha"}}, "", false, false, 5)));
    EXPECT_TRUE(has("missing 5 bytes in zipfile\n    (attempting to process anyway)\n"));
    EXPECT_EQ("alpha", readFile("a.txt"));
}

TEST_F(EngineRun, DirectoryNowhereIsSevere) {
    std::string p = buildPackage({{"a.txt", "alpha"}}, Stub);
    p[p.find("PK\x01\x02")] = 'X';
    EXPECT_EQ(ZR_BADERR, run(p));
    EXPECT_TRUE(has("start of central directory not found;\n  zipfile corrupt.\n"));
    EXPECT_FALSE(fileExists("a.txt"));
}

TEST_F(EngineRun, MembersAcrossThreeBatches) {
    std::vector<Member> members;
    for (int i = 0; i < 130; i++)
        members.push_back({"m" + std::to_string(i), "data " + std::to_string(i)});
    EXPECT_EQ(0, run(buildPackage(members, Stub)));
    for (int i : {0, 63, 64, 127, 128, 129})
        EXPECT_EQ("data " + std::to_string(i), readFile(("m" + std::to_string(i)).c_str()));
}

TEST_F(EngineRun, DamagedDirectoryStopsAfterTheBatchRead) {
    std::vector<Member> members;
    for (int i = 0; i < 130; i++)
        members.push_back({"m" + std::to_string(i), "x"});
    std::string p = buildPackage(members, Stub);
    // The 101st directory entry (the 37th of the second batch) loses its signature.
    size_t at = p.find("PK\x01\x02");
    for (int i = 0; i < 100; i++)
        at = p.find("PK\x01\x02", at + 4);
    p[at] = 'X';
    EXPECT_EQ(ZR_BADERR, run(p));
    EXPECT_TRUE(has("expected central file header signature not found (file #36).\n"));
    EXPECT_TRUE(fileExists("m99"));   // accepted in the damaged batch: still extracted
    EXPECT_FALSE(fileExists("m100")); // the damaged entry and everything after it: not
    EXPECT_FALSE(fileExists("m129"));
}

TEST_F(EngineRun, CrcMismatchKeepsTheFileAndFails) {
    EXPECT_EQ(ZR_ERR, run(buildPackage({{"a.txt", "alpha", 0, 0, 0x12345678}}, Stub)));
    EXPECT_TRUE(has("a.txt" + std::string(17, ' ') + "  bad CRC d0e0396a  (should be 12345678)\n"));
    EXPECT_EQ("alpha", readFile("a.txt"));
}

TEST_F(EngineRun, EncryptedMemberSkippedOthersExtracted) {
    EXPECT_EQ(ZR_UNSUPPORTED, run(buildPackage({{"a.txt", "alpha"},
                                                {"secret", "xxxxxxxxxxxxxxxx", GPF_ENCRYPTED},
                                                {"b.txt", "beta"}},
                                               Stub)));
    EXPECT_EQ("alpha", readFile("a.txt"));
    EXPECT_EQ("beta", readFile("b.txt"));
    EXPECT_FALSE(fileExists("secret"));
}

TEST_F(EngineRun, DeflatedMemberWithInvalidDataFails) {
    EXPECT_EQ(ZR_ERR, run(buildPackage({{"z", "not really deflate", 0, METHOD_DEFLATED}}, Stub)));
    EXPECT_TRUE(has("  error:  invalid compressed data to inflate z\n"));
}

TEST_F(EngineRun, Utf8NamesBecomeAnsiNames) {
    // Bit 11 marks UTF-8 names: "é" has a Windows-1252 form, the CJK character has none.
    EXPECT_EQ(
        0, run(buildPackage(
               {{"caf\xC3\xA9.txt", "x", GPF_UTF8}, {"\xE4\xB8\x96.txt", "y", GPF_UTF8}}, Stub)));
    EXPECT_EQ("x", readFile("caf\xE9.txt"));
    EXPECT_EQ("y", readFile("_.txt"));
}

TEST_F(EngineRun, UnflaggedNamesKeepTheirBytesFromUnixHosts) {
    EXPECT_EQ(0, run(buildPackage({{"caf\xC3\xA9.txt", "x"}}, Stub)));
    EXPECT_EQ("x", readFile("caf\xC3\xA9.txt"));
}

TEST_F(EngineRun, PatternThatMatchesNothing) {
    static char pattern[] = "*.doc", *names[] = {pattern, NULL};
    G.select_all = 0;
    G.include_names = names;
    G.include_count = 1;
    EXPECT_EQ(ZR_NOMATCH, run(buildPackage({{"a.txt", "alpha"}}, Stub)));
    EXPECT_TRUE(has("caution: filename not matched:  *.doc\n"));
}

TEST_F(EngineRun, ExistingFilesKeptWithoutAnAnswer) {
    writeFile("a.txt", "old a");
    writeFile("b.txt", "old b");
    EXPECT_EQ(ZR_WARN,
              run(buildPackage({{"a.txt", "new"}, {"b.txt", "new"}, {"c.txt", "c"}}, Stub)));
    EXPECT_EQ("old a", readFile("a.txt"));
    EXPECT_EQ("old b", readFile("b.txt"));
    EXPECT_EQ("c", readFile("c.txt"));
    // Asked once; the assumed "None" answers every later question.
    EXPECT_EQ("replace a.txt? [y]es, [n]o, [A]ll, [N]one, [r]ename:  NULL\n(assuming [N]one)\n",
              messages());
}

// A console whose input ends while it asks for a new name gives no answer: the member is
// kept as without a console, instead of asking for ever.
TEST_F(EngineRun, InputEndingAtTheNewNameQuestionKeepsTheFile) {
    writeFile("a.txt", "old a");
    writeFile("../answers", "r\n\n");
    ASSERT_NE(nullptr, freopen("../answers", "r", stdin));
    EXPECT_EQ(ZR_WARN, run(buildPackage({{"a.txt", "new"}, {"b.txt", "b"}}, Stub)));
    EXPECT_EQ("old a", readFile("a.txt"));
    EXPECT_EQ("b", readFile("b.txt"));
    EXPECT_EQ("replace a.txt? [y]es, [n]o, [A]ll, [N]one, [r]ename: new name: new name: "
              " NULL\n(assuming [N]one)\n",
              messages());
}

// The truncated name follows the warning as it stands, without a line end of its own; the
// directory entry and the local header each give it.
TEST_F(EngineRun, OverlongNameIsTruncatedWithAWarning) {
    std::string name(259, 'n');
    EXPECT_EQ(ZR_WARN, run(buildPackage({{name, "long"}}, Stub)));
    std::string warning = "warning:  filename too long--truncating.\n" + name.substr(0, 258);
    EXPECT_EQ(warning + warning, messages());
    EXPECT_EQ("long", readFile("nnnnnnnn")); // one component too long: its 8.3 form
}

// Windows would open these names as devices (the host stand-in records such an open): the
// bytes would vanish or go to a serial port while the run reports success.
TEST_F(EngineRun, DeviceNamesAreRefused) {
    EXPECT_EQ(ZR_ERR,
              run(buildPackage({{"lib/NUL.dll", "lost"}, {"COM1.log", "sent"}, {"a.txt", "alpha"}},
                               Stub)));
    EXPECT_EQ(std::vector<std::string>{}, compat::deviceOpens());
    EXPECT_TRUE(has("error:  refusing lib/NUL.dll (Windows opens the name as a device)\n"));
    EXPECT_FALSE(fileExists("lib"));
    EXPECT_EQ("alpha", readFile("a.txt"));
}

// Makes the stored member whose local header starts at `header` claim the bytes from its
// data up to `end` as its data, with their CRC.
void claimUpTo(std::string &p, size_t header, size_t end) {
    size_t data = header + LOCAL_HDR_LEN + makeword((const uint8_t *)&p[header + 26]);
    std::string claimed = p.substr(data, end - data), crc, size;
    put32(crc, (uint32_t)::crc32(0UL, (const Bytef *)claimed.data(), (uInt)claimed.size()));
    put32(size, (uint32_t)claimed.size());
    p.replace(header + 14, 4, crc);
    p.replace(header + 18, 4, size); // compressed
    p.replace(header + 22, 4, size); // uncompressed
}

// Without a name of its own a member would be written under the last name read, here over
// a.txt without a question.
TEST_F(EngineRun, EmptyNamesAreSkipped) {
    G.overwrite_always = 1;
    std::string p = buildPackage({{"a.txt", "alpha"},
                                  {"", "central name empty"},
                                  {"b.txt", "local name empty"},
                                  {"c.txt", "gamma"}},
                                 Stub);
    p[p.find("b.txt") - LOCAL_HDR_LEN + 26] = 0; // the local header's name length
    EXPECT_EQ(ZR_WARN, run(p));
    EXPECT_TRUE(has("file #1:  empty file name (central), skipped\n"));
    EXPECT_TRUE(has("file #2:  empty file name (local), skipped\n"));
    EXPECT_EQ("alpha", readFile("a.txt"));
    EXPECT_FALSE(fileExists("b.txt"));
    EXPECT_EQ("gamma", readFile("c.txt"));
}

// Each member's data reach over all later members and the last one's 1000 bytes: extracted
// whole, the 130 members write 130 times those and about 130 * 130 / 2 local headers. Only
// the first member, which holds all the others, is written.
TEST_F(EngineRun, MembersSharingBytesAreRefused) {
    std::vector<Member> members;
    for (int i = 0; i < 130; i++)
        members.push_back({"m" + std::to_string(i), i == 129 ? std::string(1000, 'k') : ""});
    std::string p = buildPackage(members, Stub);
    size_t directory = p.find("PK\x01\x02");
    for (size_t h = p.find("PK\x03\x04"); h < directory; h = p.find("PK\x03\x04", h + 4))
        claimUpTo(p, h, directory);
    EXPECT_EQ(ZR_ERR, run(p));
    EXPECT_TRUE(has("error:  refusing m1 (its data overlap another member's)\n"));
    EXPECT_TRUE(has(
        "error:  refusing m64 (members overlap: together they take more bytes than they span)\n"));
    int written = 0;
    for (int i = 0; i < 130; i++)
        written += fileExists(("m" + std::to_string(i)).c_str());
    EXPECT_EQ(1, written);
    size_t data = Stub.size() + LOCAL_HDR_LEN + 2;
    EXPECT_EQ(p.substr(data, directory - data), readFile("m0"));
}

TEST_F(EngineRun, MemberReachingIntoTheDirectoryIsRefused) {
    std::string p = buildPackage({{"a.txt", "alpha"}}, Stub);
    claimUpTo(p, Stub.size(), p.size() - END_REC_LEN);
    EXPECT_EQ(ZR_ERR, run(p));
    EXPECT_TRUE(has("error:  refusing a.txt (its data overlap the central directory)\n"));
    EXPECT_FALSE(fileExists("a.txt"));
}

// The end record counts entries in 16 bits: 70,000 entries read as 4,464.
TEST_F(EngineRun, EntriesBeyondTheCountAreReported) {
    std::string p = buildPackage({{"a", "1"}, {"b", "2"}, {"c", "3"}}, Stub);
    p[p.size() - END_REC_LEN + 8] = p[p.size() - END_REC_LEN + 10] = 2;
    EXPECT_EQ(ZR_WARN, run(p));
    EXPECT_TRUE(has("central directory holds 47 bytes after its 2 counted entries"));
    EXPECT_EQ("2", readFile("b"));
    EXPECT_FALSE(fileExists("c"));
}

TEST_F(EngineRun, OverwriteOptionReplacesReadOnlyFile) {
    writeFile("a.txt", "old a");
    chmod("a.txt", 0444);
    G.overwrite_always = 1;
    EXPECT_EQ(0, run(buildPackage({{"a.txt", "new"}}, Stub)));
    EXPECT_EQ("new", readFile("a.txt"));
}

// With closes as slow as a virus scanner makes them on Windows, files are closed behind the
// engine; a member replacing a file of the same name, and the hand-over to the installer,
// still find every file closed and whole.
TEST_F(EngineRun, FilesClosedBehindAreClosedWhereItMatters) {
    compat::setCloseDelay(2000);
    G.overwrite_always = 1;
    std::vector<Member> members;
    for (int i = 0; i < 40; i++)
        members.push_back({"f" + std::to_string(i), std::string((size_t)i, 'x')});
    members.push_back({"f3", "replaced"});
    static int openAtHandOff;
    openAtHandOff = -1;
    G.handoff_fn = [] { openAtHandOff = compat::openWrittenFiles(); };
    EXPECT_EQ(0, run(buildPackage(members, Stub)));
    EXPECT_EQ(0, openAtHandOff);
    EXPECT_EQ("replaced", readFile("f3"));
    EXPECT_EQ(std::string(39, 'x'), readFile("f39"));
    EXPECT_EQ("", messages());
}

// What a run asks the file system while it makes ten files in one folder five levels down, a
// directory entry for a folder made already, and a file in a new folder beside it: each
// question once. The volume once per run, each directory once (made; looked at only when that
// fails), each new file only by being made (its times go through the handle it was written
// with); no name is searched for along the PATH (OpenFile is gone from the stand-ins).
TEST_F(EngineRun, FileSystemCallsOfARun) {
    std::vector<Member> members;
    for (int i = 0; i < 10; i++)
        members.push_back({"a/b/c/d/e/f" + std::to_string(i) + ".txt", "data"});
    members.push_back({"a/b/c/", ""});
    members.push_back({"a/b/x/y.txt", "data"});
    EXPECT_EQ(0, run(buildPackage(members, Stub)));
    EXPECT_EQ(1, apiCallCount("GetVolumeInformationA"));
    EXPECT_EQ(1, apiCallCount("_stati64")); // the archive
    EXPECT_EQ(6, apiCallCount("_mkdir"));   // a to e, and x
    EXPECT_EQ(12, apiCallCount("_open"));   // the archive and the 11 files
    EXPECT_EQ(0, apiCallCount("CreateFileA"));
    EXPECT_EQ("", messages());
}

// ---------------------------------------------------------------------------------------

// Blocks as compressed extra fields carry them: method, CRC-32 of the data, then the data.
std::string extraBlock(const std::string &data, uint16_t method = METHOD_STORED, uint32_t crc = 0) {
    std::string b;
    put16(b, method);
    put32(b, crc ? crc : (uint32_t)::crc32(0UL, (const Bytef *)data.data(), (uInt)data.size()));
    return b + data;
}

TEST_F(EngineTest, MemoryExtractionOfStoredBlock) {
    std::string block = extraBlock("security descriptor");
    std::vector<uint8_t> target(19);
    EXPECT_EQ(0, memextract(target.data(), (uint32_t)target.size(), (const uint8_t *)block.data(),
                            (uint32_t)block.size()));
    EXPECT_EQ("security descriptor", std::string(target.begin(), target.end()));
}

TEST_F(EngineTest, MemoryExtractionNeverWritesPastItsTarget) {
    std::string block = extraBlock("longer than the target says");
    std::vector<uint8_t> target(8, 'T');
    EXPECT_EQ(ZR_ERR, memextract(target.data(), (uint32_t)target.size(),
                                 (const uint8_t *)block.data(), (uint32_t)block.size()));
    EXPECT_EQ(std::string(8, 'T'), std::string(target.begin(), target.end()));
    EXPECT_NE(std::string::npos,
              messages().find("extra-field block larger than its declared size"));
    EXPECT_EQ(ZR_ERR, memextract(target.data(), 8, (const uint8_t *)"\0\0\0", 3));
    // Deflated data that expand beyond the target are reported as such, not as a bad CRC.
    messages().clear();
    std::string plain(40000, 'x');
    std::string deflated = extraBlock(zlibDeflate(plain), METHOD_DEFLATED,
                                      (uint32_t)::crc32(0UL, (const Bytef *)plain.data(), 40000));
    EXPECT_EQ(ZR_ERR, memextract(target.data(), (uint32_t)target.size(),
                                 (const uint8_t *)deflated.data(), (uint32_t)deflated.size()));
    EXPECT_EQ(std::string(8, 'T'), std::string(target.begin(), target.end()));
    EXPECT_NE(std::string::npos, messages().find("larger than its declared size (40000 > 8)"))
        << messages();
    EXPECT_EQ(std::string::npos, messages().find("CRC"));
}

TEST_F(EngineTest, MemoryExtractionChecksTheCrc) {
    std::string block = extraBlock("abc", METHOD_STORED, 0x11111111);
    uint8_t target[3];
    EXPECT_EQ(ZR_ERR, memextract(target, 3, (const uint8_t *)block.data(), (uint32_t)block.size()));
    EXPECT_NE(std::string::npos,
              messages().find("bad extra-field CRC 352441c2 (should be 11111111)\n"));
    G.test_only = 1;
    EXPECT_EQ(ZR_ERR + 8 * 256,
              memextract(target, 3, (const uint8_t *)block.data(), (uint32_t)block.size()));
}

TEST_F(EngineTest, MemoryExtractionOfUnknownMethod) {
    std::string block = extraBlock("abc", 12);
    uint8_t target[3];
    EXPECT_EQ(ZR_ERR, memextract(target, 3, (const uint8_t *)block.data(), (uint32_t)block.size()));
    EXPECT_NE(std::string::npos,
              messages().find("unsupported extra-field compression type (12)--skipping\n"));
}

} // namespace
