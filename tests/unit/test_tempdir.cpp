// The stub's temporary directory: the order of the bases, the Windows directory lookup and
// the limits of the path buffers (leftovers and "startdir.txt" are seen under Wine). Host
// paths mix "/" with the "\" the stub appends; the stand-in reads both as separators.
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

#include "compat/control.h"
#include "stub/stub.h"
#include "test_stub_support.h"

namespace {

class TempDir : public StubDirTest {
  protected:
    void SetUp() override {
        StubDirTest::SetUp();
        start = dir("start");
        ASSERT_EQ(chdir(start.c_str()), 0);
        // A Windows directory that does not exist: the bases after the environment then all
        // fail here instead of reaching the host's own "\tmp".
        compat::setRegistryValue(HKEY_LOCAL_MACHINE, NtKey, "SystemRoot",
                                 (root + "/nowin").c_str());
    }

    static constexpr const char *NtKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

    // Runs moveToTempDir; made receives the new directory.
    int move() {
        char startDir[PATH_BUF], base[PATH_BUF] = "";
        int result = moveToTempDir(startDir, base);
        EXPECT_EQ(std::string(startDir), start);
        made = base;
        return result;
    }

    std::string start, made;
};

TEST_F(TempDir, StartDirectoryIsTheLastBase) {
    ASSERT_EQ(move(), 1);
    EXPECT_EQ(made, start + "\\tmpqel01");
}

TEST_F(TempDir, HomeDriveWithoutHomePathMakesNothing) {
    std::string drive = dir("drive");
    setenv("homedrive", drive.c_str(), 1);
    char base[PATH_BUF] = "junk";
    EXPECT_EQ(getPlatformTempDir(start.c_str(), base), 0);
    EXPECT_STREQ(base, "");
    EXPECT_FALSE(exists(drive + "/tmpqel01"));
}

TEST_F(TempDir, HomeDriveAndPath) {
    std::string drive = dir("drive");
    dir("drive/users/me");
    setenv("homedrive", drive.c_str(), 1);
    setenv("homepath", "\\users\\me", 1);
    ASSERT_EQ(move(), 1);
    EXPECT_EQ(made, drive + "\\users\\me\\tmpqel01");
    unsetenv("homepath");
}

TEST_F(TempDir, HomeDriveWithMissingPathUsesDriveRoot) {
    std::string drive = dir("drive");
    setenv("homedrive", drive.c_str(), 1);
    setenv("homepath", "\\nobody", 1);
    ASSERT_EQ(move(), 1);
    EXPECT_EQ(made, drive + "\\tmpqel01");
}

TEST_F(TempDir, HomeTriesTempThenTmpThenItself) {
    std::string home = dir("home");
    setenv("HOME", home.c_str(), 1);
    ASSERT_EQ(move(), 1);
    EXPECT_EQ(made, home + "\\tmpqel01");
    dir("home/tmp");
    ASSERT_EQ(chdir(start.c_str()), 0);
    ASSERT_EQ(move(), 1);
    EXPECT_EQ(made, home + "\\tmp\\tmpqel01");
}

TEST_F(TempDir, WindowsDirectoryFromRegistry) {
    std::string win = dir("win");
    dir("win/temp");
    compat::setRegistryValue(HKEY_LOCAL_MACHINE, NtKey, "SystemRoot", win.c_str());
    ASSERT_EQ(move(), 1);
    EXPECT_EQ(made, win + "\\temp\\tmpqel01");
}

TEST_F(TempDir, NtValuesIgnoredOutsideNt) {
    compat::setRegistryValue(HKEY_LOCAL_MACHINE, NtKey, "SystemRoot", "nt");
    compat::setRegistryValue(HKEY_LOCAL_MACHINE,
                             "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SETUP", "WinDir",
                             "ntsetup");
    compat::setRegistryValue(HKEY_LOCAL_MACHINE,
                             "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SETUP", "WinDir",
                             "c:\\windows9x");
    char out[PATH_BUF];
    EXPECT_EQ(getWinDir(out), 1);
    EXPECT_STREQ(out, "nt");
    compat::setVersion(0x80000A04); // Windows 98
    EXPECT_EQ(getWinDir(out), 1);
    EXPECT_STREQ(out, "c:\\windows9x");
}

TEST_F(TempDir, WindowsDirectoryFromPath) {
    compat::reset();                   // no registry values
    ASSERT_EQ(chdir(root.c_str()), 0); // PATH entries relative to here: the copy is lowered
    dir("c/winnt/system32");
    dir("c/mywinnt");
    setenv("path", "x;C\\WINNT\\system32;c\\MyWinnt;c\\winnt", 1);
    char out[PATH_BUF];
    EXPECT_EQ(getWinDir(out), 1);
    EXPECT_STREQ(out, "c\\mywinnt");
    setenv("path", "c\\winnt\\winnt", 1); // "winnt" occurs before the end
    EXPECT_EQ(getWinDir(out), 0);
    EXPECT_STREQ(out, "");
}

TEST_F(TempDir, OverlongPathIsCutBeforeItsLastEntry) {
    compat::reset();
    ASSERT_EQ(chdir(root.c_str()), 0);
    dir("c/winnt");
    std::string filler(9992, 'x');
    char name[] = "winnt", out[PATH_BUF];
    setenv("path", (filler + ";c\\winnt").c_str(), 1); // exactly 10000 characters
    EXPECT_EQ(isDirInPath(name, out), 1);
    setenv("path", (filler + ";c\\winntzzz").c_str(), 1); // cut, it would read "c\winnt"
    EXPECT_EQ(isDirInPath(name, out), 0);
}

TEST_F(TempDir, BaseTooLongForCandidateIsSkipped) {
    // 255 characters: the directory exists, but "\tmpqel01" does not fit after it.
    std::string longBase = root;
    while (longBase.size() < 255)
        longBase += "/" + std::string(std::min<size_t>(50, 254 - longBase.size()), 'b');
    ASSERT_EQ(longBase.size(), 255u);
    std::filesystem::create_directories(longBase);
    setenv("TEMP", longBase.c_str(), 1); // TEMP exists, so TMP is not looked at
    std::string home = dir("home");
    setenv("HOME", home.c_str(), 1);
    ASSERT_EQ(move(), 1);
    EXPECT_EQ(made, home + "\\tmpqel01");
}

TEST_F(TempDir, VariableLongerThanABufferIsSkipped) {
    setenv("TEMP", std::string(400, 't').c_str(), 1); // not even looked at
    std::string tmp = dir("tmp");
    setenv("TMP", tmp.c_str(), 1);
    ASSERT_EQ(move(), 1);
    EXPECT_EQ(made, tmp + "\\tmpqel01");
}

// A base that the ANSI code page (1252 here) cannot spell is taken in its short form, which
// the host models as a link; without one, the next base is tried (TMP after TEMP; the drive
// alone after homedrive and homepath).
TEST_F(TempDir, BasesOutsideTheCodePageTakeTheirShortForm) {
    const char *chinese = "\xe4\xb8\xb4\xe6\x97\xb6"; // UTF-8, as the host names it
    struct Case {
        const char *variable;
        bool shortForm;
        const char *expected; // the base under the case's folder
    } cases[] = {
        {"TEMP", true, "/S~1"},
        {"TEMP", false, "/tmp"},
        {"homepath", true, "/S~1"},
        {"homepath", false, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.variable) + (c.shortForm ? " with" : " without") +
                     " short form");
        std::string work = dir(std::to_string(&c - cases));
        std::string longDir = dir(std::to_string(&c - cases) + "/" + chinese);
        if (c.shortForm) {
            std::filesystem::create_directory_symlink(longDir, work + "/S~1");
            compat::setShortPathName(longDir.c_str(), (work + "/S~1").c_str());
        }
        if (c.variable[0] == 'T') {
            setenv("TEMP", longDir.c_str(), 1);
            setenv("TMP", dir(std::to_string(&c - cases) + "/tmp").c_str(), 1);
        } else {
            setenv("homedrive", work.c_str(), 1);
            setenv("homepath", (std::string("\\") + chinese).c_str(), 1);
        }
        ASSERT_EQ(chdir(start.c_str()), 0);
        ASSERT_EQ(move(), 1);
        EXPECT_EQ(made, work + c.expected + "\\tmpqel01");
        for (const char *name : StubEnvNames)
            unsetenv(name);
    }
}

TEST_F(TempDir, CurrentDirectoryOutsideTheCodePageTakesItsShortForm) {
    std::string longDir = dir("\xe4\xb8\xb4"), shortDir = root + "/L~1";
    std::filesystem::create_directory_symlink(longDir, shortDir);
    ASSERT_EQ(chdir(longDir.c_str()), 0);
    char out[PATH_BUF] = "junk";
    getCurrentDir(out, PATH_BUF);
    EXPECT_STREQ(out, "") << "no short form: no directory";
    compat::setShortPathName(longDir.c_str(), shortDir.c_str());
    getCurrentDir(out, PATH_BUF);
    EXPECT_EQ(std::string(out), shortDir);
}

TEST_F(TempDir, OverlongCurrentDirectoryIsReportedEmpty) {
    std::string deep = root;
    while (deep.size() < 300)
        deep += "/" + std::string(40, 'd');
    std::filesystem::create_directories(deep);
    ASSERT_EQ(chdir(deep.c_str()), 0);
    char out[PATH_BUF] = "junk";
    getCurrentDir(out, PATH_BUF);
    EXPECT_STREQ(out, "");
    ASSERT_EQ(chdir(start.c_str()), 0);
    getCurrentDir(out, PATH_BUF);
    EXPECT_EQ(std::string(out), start);
}

} // namespace
