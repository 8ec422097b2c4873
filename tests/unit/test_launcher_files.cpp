// The launcher's log and trace lines, its stream and file copies, and the DLL search
// restriction.
#include <gtest/gtest.h>

#include <string>

#include "common/dllsearch.h"
#include "launcher/clib.h"
#include "launcher/trace.h"
#include "test_launcher_support.h"

namespace {

class LauncherLogs : public LauncherTest {};

TEST_F(LauncherLogs, ThreeFormsAndTheTraceSwitch) {
    Trace t;
    t.traceMessage("trace.log", "lost");
    EXPECT_FALSE(exists("trace.log")) << "a trace file is never created";
    writeFile("trace.log", "");
    t.traceMessage("trace.log", "");
    t.traceMessage("trace.log", "label", "value");
    t.traceMessage("trace.log", "flag", 2);
    t.traceMessage("trace.log", "flag", 0);
    t.logAndTraceMessage("err.log", "trace.log", "both 100% %s");
    EXPECT_EQ(messages("trace.log"),
              (Lines{"", "label value", "flag: true", "flag: false", "both 100% %s"}));
    EXPECT_EQ(messages("err.log"), Lines{"both 100% %s"}) << "created by its first line";
}

TEST_F(LauncherLogs, DllSearchIsRestrictedToSystem32) {
    restrictDllSearch();
    EXPECT_EQ(compat::dllDirectoryFlags(), 0x800u); // LOAD_LIBRARY_SEARCH_SYSTEM32
}

class LauncherFiles : public LauncherTest {};

TEST(CopyBuffers, OnePerStartedBlockAndOneMoreAtMostTwenty) {
    const struct {
        int64_t size;
        int buffers;
    } rows[] = {{0, 1},       {29999, 1},   {30000, 2},     {59999, 2},
                {569999, 19}, {570000, 20}, {1LL << 40, 20}};
    for (const auto &row : rows)
        EXPECT_EQ(clib::copyBufferCount(row.size), row.buffers) << row.size;
}

// Sizes around the transfer buffer and around a whole round of twenty of them.
class CopySizes : public LauncherTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(CopySizes, CopyAndAppendKeepEveryByte) {
    std::string data(GetParam(), '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = (char)(i * 7 + i / 251);
    writeFile("in.bin", data);
    EXPECT_EQ(clib::copyFile("in.bin", "copy.bin"), 1);
    EXPECT_EQ(readFile("copy.bin"), data);
    writeFile("log.bin", "head");
    EXPECT_EQ(clib::appendFile("in.bin", "log.bin"), 1) << "only the appended bytes count";
    EXPECT_EQ(readFile("log.bin"), "head" + data);
}

INSTANTIATE_TEST_SUITE_P(Boundaries, CopySizes,
                         ::testing::Values(0, 1, 29999, 30000, 30001, 600000, 600001));

TEST_F(LauncherFiles, RefusedCopiesLeaveTheDestination) {
    writeFile("dest", "keep");
    writeFile("self", "mine");
    dir("folder");
    EXPECT_EQ(clib::copyFile("missing", "dest"), 0);
    EXPECT_EQ(clib::copyFile("folder", "dest"), 0);
    EXPECT_EQ(clib::appendFile("missing", "dest"), 0);
    EXPECT_EQ(readFile("dest"), "keep");
    // Copying a file onto itself would truncate it before it is read.
    EXPECT_EQ(clib::copyFile("self", (root + "\\self").c_str()), 0);
    EXPECT_EQ(clib::copyFile("self", "SELF"), 0) << "Windows names ignore case";
    EXPECT_EQ(clib::appendFile("self", "self"), 0);
    EXPECT_EQ(readFile("self"), "mine");
}

TEST_F(LauncherFiles, ShortWriteFailsTheCopy) {
    writeFile("in.bin", std::string(70000, 'x'));
    FILE *in = fopen("in.bin", "rb"), *full = fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(clib::copyStream(in, full), 0);
    EXPECT_EQ(clib::copyStream(in, nullptr), 0);
    fclose(in);
    fclose(full);
}

} // namespace
