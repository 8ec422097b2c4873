// The launcher's version texts and its registry search for a Java runtime, where the host
// stand-in can report what Wine cannot: both registry views, values that do not fit or are
// no strings, failing enumerations.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "launcher/buffers.h"
#include "launcher/clib.h"
#include "launcher/findjvm.h"
#include "launcher/velmora.h"
#include "test_launcher_support.h"

namespace {

struct VersionCase {
    const char *label, *required, *minimum, *maximum, *version;
    int accepted;
};
void PrintTo(const VersionCase &c, std::ostream *os) {
    *os << c.label;
}

class VerifyVersion : public LauncherTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VerifyVersion, ComparesPrefixesAsText) {
    const VersionCase &c = GetParam();
    traceOn();
    EXPECT_EQ(FindJvm().verifyVersion(c.required, c.minimum, c.maximum, c.version), c.accepted);
    EXPECT_EQ(messages("startapp.log"), Lines{std::string("found jvm version: ") + c.version});
}

const VersionCase VersionCases[] = {
    {"MinimumNineRejectsTen", "", "1.9", "", "1.10", 0},
    {"LongerMinimumRejectsShorterVersion", "", "1.4.2", "", "1.4", 0},
    {"MinimumIsInclusive", "", "1.4.2", "", "1.4.2", 1},
    {"MaximumRejectsNextVersion", "", "", "1.4", "1.5.0", 0},
    {"MaximumAcceptsItsWholeFamily", "", "", "1.4", "1.4.2_05", 1},
    {"RequiredOverridesBothBounds", "1.3", "1.5", "1.2", "1.3.1", 1},
    {"RequiredAcceptsLongerText", "1.3", "", "", "1.30", 1},
    {"RequiredRejectsShorterText", "1.3.1", "", "", "1.3", 0},
    {"EmptyBoundsAcceptEverything", "", "", "", "", 1},
    {"MinimumRejectsEmptyVersion", "", "1", "", "", 0},
    {"LettersIgnoreCase", "", "1.4.2_A", "1.4.2_b", "1.4.2_B", 1},
    {"DotSortsBeforeDigits", "", "1.40", "", "1.4.0", 0},
    {"UnderscoreSortsAfterDigits", "", "", "1.4.29", "1.4._", 0},
};
INSTANTIATE_TEST_SUITE_P(Bounds, VerifyVersion, ::testing::ValuesIn(VersionCases),
                         [](const auto &info) { return std::string(info.param.label); });

TEST(VersionTexts, SplitBeforeTheLastComponent) {
    const char *rows[][3] = {{"1.3.1", "1.3", "1"}, {"1.4.2_05", "1.4", "2_05"},
                             {"1.3", "1.3", "0"},   {"1.2.3.4", "1.2.3", "4"},
                             {"17", "17", "0"},     {"1..", "1.", ""}};
    char base[16], last[16];
    for (const auto &row : rows) {
        clib::parseVersion(row[0], base, last, sizeof base);
        EXPECT_STREQ(base, row[1]) << row[0];
        EXPECT_STREQ(last, row[2]) << row[0];
    }
    clib::parseVersion("1.2.3.4.5.6.7.8", base, last, 8);
    EXPECT_STREQ(base, "") << "a version that does not fit is not cut";
}

TEST(VersionTexts, JavaHomeOfAnExecutable) {
    const char *rows[][2] = {{"C:\\jre\\bin\\javaw.exe", "C:\\jre"},
                             {"javaw.exe", "javaw.exe"},
                             {"C:\\jre\\lib\\x.exe", "C:\\jre\\lib"},
                             {"C:\\cabin\\java.exe", "C:\\ca"}, // "bin" need not be a component
                             {"C:\\bin\\java.exe", "C:"}};
    char home[32];
    for (const auto &row : rows) {
        Velmora().getJavaHomeDir(row[0], home, sizeof home);
        EXPECT_STREQ(home, row[1]) << row[0];
    }
}

const char Classic[] = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
const char Modular[] = "SOFTWARE\\JavaSoft\\JDK";

class RuntimeSearch : public LauncherTest {
  protected:
    // A runtime registered under key\version whose home is a directory of the test folder.
    std::string runtime(const char *key, const char *version,
                        compat::RegistryView view = compat::RegistryView::Default) {
        std::string home = dir(std::string("homes/") + version);
        compat::setRegistryValue(HKEY_LOCAL_MACHINE, (std::string(key) + "\\" + version).c_str(),
                                 "JavaHome", home.c_str(), view);
        return home;
    }
    std::string search(const char *minimum = "") {
        char home[VERSION_SIZE] = "untouched";
        traceOn();
        return FindJvm().searchForJvm("", minimum, "", home) ? home : "";
    }
};

TEST_F(RuntimeSearch, WowLauncherFallsBackOnThe64BitView) {
    compat::setWow64(true);
    runtime(Classic, "1.6", compat::RegistryView::Bits32);
    std::string home = runtime(Classic, "1.8", compat::RegistryView::Bits64);
    runtime(Modular, "17"); // Java 9 and later only when the classic key accepts nothing
    EXPECT_EQ(search("1.7"), home);
    EXPECT_EQ(
        messages("startapp.log"),
        (Lines{"searching registry entry SOFTWARE\\JavaSoft\\Java Runtime Environment",
               "                 version 1.6", "found jvm version: 1.6",
               "searching registry entry SOFTWARE\\JavaSoft\\Java Runtime Environment "
               "(64-bit view)",
               "                 version 1.8", "found jvm version: 1.8",
               "JRE registry entry had correct jvm info: true",
               "jvm found under SOFTWARE\\JavaSoft\\Java Runtime Environment (64-bit view)"}));
}

TEST_F(RuntimeSearch, SixtyFourBitLauncherFallsBackOnThe32BitView) {
    runtime(Modular, "11", compat::RegistryView::Bits64);
    std::string home = runtime(Modular, "17", compat::RegistryView::Bits32);
    EXPECT_EQ(search("17"), home);
    EXPECT_EQ(messages("startapp.log").back(),
              "jvm found under SOFTWARE\\JavaSoft\\JDK (32-bit view)");
}

// Values that do not fit a 260-byte buffer with their terminator, or are no strings, count as
// missing; a string stored without a terminator gets one.
TEST_F(RuntimeSearch, UnusableValuesCountAsMissing) {
    std::string home = runtime(Classic, "1.5");
    compat::setRegistryValue(HKEY_LOCAL_MACHINE,
                             "SOFTWARE\\JavaSoft\\Java Runtime Environment\\1.5", "JavaHome",
                             std::string(VERSION_SIZE, 'h').c_str());
    compat::setRegistryData(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\Java Runtime Environment\\1.5",
                            "Home", REG_SZ, home); // no terminator
    compat::setRegistryData(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\Java Runtime Environment\\1.5",
                            "MicroVersion", REG_DWORD, std::string("\x01\0\0\0", 4));
    EXPECT_EQ(search(), home);
    Lines lines = messages("startapp.log");
    const std::string key = "SOFTWARE\\JavaSoft\\Java Runtime Environment\\1.5";
    EXPECT_EQ(lines[2], "registry value not a string: " + key + "\\MicroVersion");
    EXPECT_EQ(lines[3], "registry value too long: " + key + "\\JavaHome");
    EXPECT_EQ(lines[4], "found jvm version: 1.5");
}

TEST_F(RuntimeSearch, EnumerationSkipsLongNamesAndStopsOnOtherErrors) {
    compat::setRegistryValue(HKEY_LOCAL_MACHINE,
                             (std::string(Classic) + "\\" + std::string(SUBKEY_SIZE, '0')).c_str(),
                             "JavaHome", root.c_str());
    runtime(Classic, "1.4");
    std::string home = runtime(Classic, "1.5");
    compat::denyRegistryKey(HKEY_LOCAL_MACHINE, (std::string(Classic) + "\\1.4").c_str());
    EXPECT_EQ(search(), home);
    Lines lines = messages("startapp.log");
    EXPECT_EQ(lines[1], "registry subkey name too long at index 0");
    EXPECT_EQ(lines[2], "                 version 1.4");
    EXPECT_EQ(lines[3], "no such registry entry " + std::string(Classic) + "\\1.4");
    EXPECT_EQ(lines[4], "                 version 1.5");

    compat::failRegistryEnumAt(1, ERROR_ACCESS_DENIED);
    writeFile("startapp.log", "");
    EXPECT_EQ(search(), "");
    EXPECT_EQ(messages("startapp.log")[2], "registry subkey enumeration failed at index 1");
    EXPECT_EQ(messages("startapp.log").back(), "unable to find a compatible Jvm");
}

} // namespace
