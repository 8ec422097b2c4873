// Removing trees where Wine cannot show it: the host stand-in reports a symbolic link as a
// reparse point (Wine shows one as a plain directory) and lets a test mark a file in use, as
// Windows keeps a running program's file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "compat/control.h"
#include "stub/stub.h"
#include "test_stub_support.h"

namespace {

namespace fs = std::filesystem;

class RemoveTree : public StubDirTest {
  protected:
    void SetUp() override {
        StubDirTest::SetUp();
        start = dir("start");
        temp = dir("temp");
        ASSERT_EQ(chdir(start.c_str()), 0);
    }

    // createTempDir under temp; the name of the directory it made.
    std::string makeTempDir() {
        char base[PATH_BUF];
        copyBounded(base, temp.c_str(), PATH_BUF);
        EXPECT_EQ(createTempDir(start.c_str(), base), 1);
        return std::string(base).substr(temp.size() + 1);
    }

    // Every path below top, relative to it; links are listed, not followed.
    static std::vector<std::string> paths(const std::string &top) {
        std::vector<std::string> out;
        for (const auto &entry : fs::recursive_directory_iterator(top))
            out.push_back(fs::relative(entry.path(), top).string());
        std::sort(out.begin(), out.end());
        return out;
    }

    std::string start, temp;
};

TEST_F(RemoveTree, LinksGoAsEntriesAndAreNeverFollowed) {
    std::string outside = dir("outside");
    writeFile(outside + "/precious.txt", "keep");
    writeFile(outside + "/installer.exe", "not the leftover's");
    std::string leftover = dir("temp/tmpqel01/lib");
    ASSERT_EQ(symlink(outside.c_str(), (leftover + "/junction").c_str()), 0);
    ASSERT_EQ(symlink((outside + "/precious.txt").c_str(), (leftover + "/file.lnk").c_str()), 0);
    // A link in a leftover's place: its target is not looked at, let alone emptied.
    ASSERT_EQ(symlink(outside.c_str(), (temp + "/tmpqel02").c_str()), 0);
    EXPECT_EQ(makeTempDir(), "tmpqel01");
    EXPECT_EQ(paths(temp), std::vector<std::string>({"tmpqel01", "tmpqel01/startdir.txt"}));
    EXPECT_EQ(paths(outside), std::vector<std::string>({"installer.exe", "precious.txt"}));
    EXPECT_EQ(readFile(outside + "/precious.txt"), "keep");
}

TEST_F(RemoveTree, FileInUseStopsNothingElse) {
    std::string bin = dir("temp/tmpqel01/jre/bin");
    writeFile(bin + "/java.exe", "running");
    writeFile(bin + "/java.dll", "x");
    writeFile(dir("temp/tmpqel01/jre/lib/deep") + "/rt.jar", "x");
    writeFile(temp + "/tmpqel01/readonly.txt", "r");
    chmod((temp + "/tmpqel01/readonly.txt").c_str(), 0444);
    compat::setInUse((bin + "/java.exe").c_str());
    cleanUpTempDir((temp + "\\tmpqel01").c_str());
    EXPECT_EQ(paths(temp), std::vector<std::string>({"tmpqel01", "tmpqel01/jre", "tmpqel01/jre/bin",
                                                     "tmpqel01/jre/bin/java.exe"}));
}

TEST_F(RemoveTree, LeftoverWhereAStubStillExtractsIsKeptWhole) {
    std::string leftover = dir("temp/tmpqel01");
    writeFile(leftover + "/__qelexpand.sem", "ok\n");
    writeFile(dir("temp/tmpqel01/lib") + "/app.jar", "half written");
    EXPECT_EQ(makeTempDir(), "tmpqel02");
    EXPECT_EQ(paths(leftover), std::vector<std::string>({"__qelexpand.sem", "lib", "lib/app.jar"}));
}

TEST_F(RemoveTree, NestingDownToThePathLimit) {
    // About 115 levels of 2 characters each; every path fits, the deepest file's too.
    std::string deepest = temp + "/t";
    while (deepest.size() + 2 <= 253)
        deepest += "/d";
    fs::create_directories(deepest);
    writeFile(deepest + "/f", "x");
    ASSERT_LE((deepest + "/f").size(), 260u);
    cleanUpTempDir((temp + "/t").c_str());
    EXPECT_FALSE(exists(temp + "/t"));
}

} // namespace
