// The host stand-ins of the Windows interfaces, where they must behave as Windows does for the
// other tests to mean anything: "\" paths, directory listings, registry sizes, code pages.
#include <gtest/gtest.h>

#include "compat_paths.h"
#include "control.h"
#include <direct.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

// A fresh directory under /tmp, removed with everything in it afterwards.
class CompatFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        compat::reset();
        char name[] = "/tmp/compat-test-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    // Creates an empty file; the name is relative to dir and uses "/".
    void touch(const std::string &name) {
        FILE *f = ::fopen((dir + "/" + name).c_str(), "w");
        ASSERT_NE(f, nullptr);
        fclose(f);
    }
    // Every name the pattern (relative to dir, Windows style) lists, in listing order.
    std::vector<std::string> list(const char *pattern) {
        std::vector<std::string> names;
        _finddata_t data;
        intptr_t h = _findfirst((dir + "\\" + pattern).c_str(), &data);
        if (h == -1) return names;
        do
            names.push_back(data.name);
        while (_findnext(h, &data) == 0);
        _findclose(h);
        return names;
    }
    std::string dir;
};

bool exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

TEST_F(CompatFiles, BackslashIsASeparator) {
    EXPECT_EQ(_mkdir((dir + "\\sub").c_str()), 0);
    EXPECT_TRUE(exists(dir + "/sub"));

    FILE *f = compat_fopen((dir + "\\sub\\f.txt").c_str(), "w");
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_TRUE(exists(dir + "/sub/f.txt"));
    EXPECT_EQ(_access((dir + "\\sub\\f.txt").c_str(), 0), 0);
    EXPECT_EQ(_access((dir + "\\sub\\missing.txt").c_str(), 0), -1);

    EXPECT_EQ(_unlink((dir + "\\sub\\f.txt").c_str()), 0);
    EXPECT_EQ(_rmdir((dir + "\\sub").c_str()), 0);
    EXPECT_FALSE(exists(dir + "/sub"));
}

TEST_F(CompatFiles, FindListsAsWindowsDoes) {
    touch("a.log");
    touch("B.LOG");
    touch("c.txt");
    touch("noext");
    ASSERT_EQ(_mkdir((dir + "/sub").c_str()), 0);

    // "*.*" lists everything, "." and ".." first, names without a dot too.
    std::vector<std::string> all = list("*.*");
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[0], ".");
    EXPECT_EQ(all[1], "..");
    EXPECT_EQ(std::set<std::string>(all.begin(), all.end()),
              (std::set<std::string>{".", "..", "a.log", "B.LOG", "c.txt", "noext", "sub"}));

    // The extension is matched without case, as on Windows.
    std::vector<std::string> logs = list("*.log");
    EXPECT_EQ(std::set<std::string>(logs.begin(), logs.end()),
              (std::set<std::string>{"a.log", "B.LOG"}));

    _finddata_t data;
    intptr_t h = _findfirst((dir + "\\sub").c_str(), &data);
    ASSERT_NE(h, -1);
    EXPECT_TRUE(data.attrib & _A_SUBDIR);
    _findclose(h);

    errno = 0;
    EXPECT_EQ(_findfirst((dir + "\\*.zip").c_str(), &data), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST(CompatRegistry, ValueFitsOrReportsMoreData) {
    compat::reset();
    compat::setRegistryValue(HKEY_CURRENT_USER, "Control Panel\\International", "sCountry",
                             "Germany");
    HKEY key;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_CURRENT_USER, "control panel\\INTERNATIONAL", 0, KEY_QUERY_VALUE, &key),
        ERROR_SUCCESS);

    char buf[8] = "xxxxxxx";
    DWORD size = 7; // "Germany" needs 8 with its terminator
    EXPECT_EQ(RegQueryValueExA(key, "scountry", nullptr, nullptr, (LPBYTE)buf, &size), 234);
    EXPECT_EQ(size, 8u);
    EXPECT_STREQ(buf, "xxxxxxx");

    DWORD type = 0;
    size = 8;
    EXPECT_EQ(RegQueryValueExA(key, "sCountry", nullptr, &type, (LPBYTE)buf, &size), ERROR_SUCCESS);
    EXPECT_STREQ(buf, "Germany");
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(type, 1u); // REG_SZ

    EXPECT_EQ(RegQueryValueExA(key, "Locale", nullptr, nullptr, (LPBYTE)buf, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    EXPECT_EQ(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Control Panel\\International", 0, KEY_QUERY_VALUE, &key),
        ERROR_FILE_NOT_FOUND);
}

// The launcher's registry search relies on this model of 64-bit Windows: two views, subkeys
// listed by their upper-case names and in their own spelling, names that do not fit refused.
TEST(CompatRegistry, ViewsAndSubkeyListing) {
    compat::reset();
    const char *root = "SOFTWARE\\JavaSoft";
    compat::setRegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\b_1\\x", "v", "1");
    compat::setRegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\B1", "v", "2");
    compat::setRegistryValue(HKEY_LOCAL_MACHINE, "software\\javasoft\\b_1", "w", "3");
    compat::setRegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\Only32", "v", "4",
                             compat::RegistryView::Bits32);
    auto list = [&](REGSAM view, DWORD size) {
        std::vector<std::string> names;
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, root, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
            return names;
        char name[16];
        for (DWORD i = 0;; ++i) {
            DWORD n = size;
            LSTATUS status = RegEnumKeyExA(key, i, name, &n, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS) break;
            names.push_back(status == ERROR_SUCCESS ? std::string(name) + "/" + std::to_string(n)
                                                    : "error " + std::to_string(status));
        }
        RegCloseKey(key);
        return names;
    };
    using Names = std::vector<std::string>;
    // "1" (0x31) sorts before "_" (0x5F) by upper-case names.
    EXPECT_EQ(list(0, 16), (Names{"B1/2", "b_1/3"}));
    EXPECT_EQ(list(KEY_WOW64_64KEY, 16), (Names{"B1/2", "b_1/3"}));
    EXPECT_EQ(list(KEY_WOW64_32KEY, 16), (Names{"Only32/6"}));
    EXPECT_EQ(list(KEY_WOW64_32KEY, 6), (Names{"error 234"})) << "no room for the terminator";
    compat::failRegistryEnumAt(1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(list(0, 16), (Names{"B1/2", "error 5"}));
    compat::failRegistryEnumAt(0, ERROR_SUCCESS);

    compat::setWow64(true); // a 32-bit program now: the 32-bit view is its default
    EXPECT_EQ(list(0, 16), (Names{"Only32/6"}));
    EXPECT_EQ(list(KEY_WOW64_64KEY, 16)[0], "B1/2");
    BOOL wow64 = FALSE;
    EXPECT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_TRUE(wow64);

    compat::denyRegistryKey(HKEY_LOCAL_MACHINE, "software\\javasoft\\only32");
    HKEY key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\Only32", 0, KEY_READ, &key),
              ERROR_ACCESS_DENIED);
}

// Expected bytes from Python: bytes([b]).decode('cp437').encode('cp1252') and the reverse.
TEST(CompatCodePage, OemAndAnsiRoundTrip) {
    compat::reset();
    const char oem[] = "\x81\x84\xE1\x9C-A"; // u-umlaut, a-umlaut, sharp s, pound sign
    const char ansi[] = "\xFC\xE4\xDF\xA3-A";
    char buf[sizeof oem];
    ASSERT_TRUE(OemToCharA(oem, buf));
    EXPECT_STREQ(buf, ansi);
    ASSERT_TRUE(CharToOemA(buf, buf)); // in place
    EXPECT_STREQ(buf, oem);
}

TEST(CompatCodePage, Utf8ToAnsi) {
    compat::reset();
    WCHAR wide[8];
    char out[8];
    BOOL usedDefault = TRUE;

    // "é" is U+00E9, byte 0xE9 in code page 1252.
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xC3\xA9", -1, wide, 8), 2);
    EXPECT_EQ(wide[0], (WCHAR)0xE9);
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, out, 8, "_", &usedDefault), 2);
    EXPECT_STREQ(out, "\xE9");
    EXPECT_FALSE(usedDefault);

    // U+4E2D has no 1252 form: the default character stands in. dstLen 0 asks for the size.
    const char *cjk = "a\xE4\xB8\xAD";
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, cjk, -1, nullptr, 0), 3);
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, cjk, -1, wide, 8), 3);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, "_", nullptr), 3);
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, out, 8, "_", &usedDefault), 3);
    EXPECT_STREQ(out, "a_");
    EXPECT_TRUE(usedDefault);
}

} // namespace
