// Output path mapping: the 8.3 form of components, the character rules of member names,
// directory creation and its result codes, volume labels, and the refusal of names that
// would leave the extraction folder. Expected names are worked out by hand from the rules.
#include "unit/engine_fixture.h"

#include <sys/stat.h>

#include <string>

namespace {

// map2fat into a heap buffer of exactly strlen + 2 bytes, the room it is allowed to use, so
// that the sanitizer build catches any write beyond it.
std::string toFat(const std::string &component) {
    std::string comp = component;
    char *buf = (char *)malloc(comp.size() + 2);
    char *end = buf;
    map2fat(&comp[0], &end);
    std::string out(buf, (size_t)(end - buf));
    EXPECT_EQ('\0', *end) << component;
    free(buf);
    return out;
}

bool isDirectory(const char *path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const char *path) {
    struct stat st;
    return stat(path, &st) == 0;
}

// Components of 99 characters, "/" between them, len characters in all.
std::string deepPath(size_t len) {
    std::string p;
    while (p.size() < len)
        p += p.size() % 100 == 99 ? '/' : 'd';
    return p;
}

} // namespace

// ---------------------------------------------------------------------------------------
// map2fat

struct FatCase {
    const char *label, *component, *fat;
};

TEST(MapToFat, Components) {
    const FatCase cases[] = {
        {"name and extension cut", "longfilename.text", "longfile.tex"},
        {"dot name gets a base", ".profile", "_.pro"},
        {"dot name grows by one", ".a", "_.a"},
        {"only the last dot stays", "my.file.name.txt", "my_file_.txt"},
        {"underscore as dot, 8 + 3 > 8", "longname_txt", "longname.txt"},
        {"underscore kept, 4 + 3 <= 8", "name_withext", "name_wit"},
        {"space before the dot", "ab .txt", "ab_.txt"},
        {"current directory adds nothing", ".", ""},
        {"parent stays", "..", ".."},
        // "a_b_c_d_e_f_g": the last "_" counts as the dot, as 8 + 1 > 8.
        {"forbidden characters", "a[b]c+d,e;f=g", "a_b_c_d_.g"},
        {"no dot, no underscore", "abcdefghijk", "abcdefgh"},
        {"already 8.3", "short.c", "short.c"},
        {"second dot drops the extra underscore", ".a.b", "_a.b"},
        {"dot name with extension", ".config.txt", "_config.txt"},
    };
    for (const FatCase &c : cases)
        EXPECT_EQ(c.fat, toFat(c.component)) << c.label;
}

TEST(MapToFat, AppendsAtGivenEnd) {
    char buf[32] = "dir/";
    char *end = buf + 4;
    char comp[] = "longfilename.text";
    map2fat(comp, &end);
    EXPECT_STREQ("dir/longfile.tex", buf);
    EXPECT_EQ(buf + 16, end);
}

// ---------------------------------------------------------------------------------------
// mapname and checkdir

class MapName : public EngineTest {
  protected:
    int map(const char *name) {
        snprintf(G.member_name, sizeof G.member_name, "%s", name);
        return mapname(0);
    }
};

struct NameCase {
    const char *label, *name, *mapped;
};

TEST_F(MapName, CharacterRules) {
    const NameCase cases[] = {
        {"forbidden characters", "ab:b?c|d.txt", "ab_b_c_d.txt"},
        {"forbidden characters below a folder", "x/a:b?c|d.txt", "x/a_b_c_d.txt"},
        {"more forbidden characters", "q<r>s*t\"u", "q_r_s_t_u"},
        {"control characters dropped",
         "a\x01"
         "b\x1f.txt",
         "ab.txt"},
        {"version cut", "dir/file;12", "dir/file"},
        {"not a version", "file;1a", "file;1a"},
        {"semicolon inside", "a;b", "a;b"},
        {"version only in the last component", "d;1/f", "d;1/f"},
        {"spaces on a long-name volume", "my file.txt", "my file.txt"},
        {"backslash kept as a character", "arc\\test", "arc\\test"},
    };
    for (const NameCase &c : cases) {
        EXPECT_EQ(0, map(c.name)) << c.label;
        EXPECT_STREQ(c.mapped, G.member_name) << c.label;
    }
    EXPECT_TRUE(isDirectory("dir"));
}

TEST_F(MapName, VersionSuffixKeptWithKeepVersions) {
    G.keep_versions = 1;
    EXPECT_EQ(0, map("dir/file;12"));
    EXPECT_STREQ("dir/file;12", G.member_name);
}

TEST_F(MapName, SpacesBecomeUnderscoresOnOldFatVolume) {
    compat::setVolume("FAT", 12, 0);
    EXPECT_EQ(0, map("my file.txt"));
    EXPECT_STREQ("my_file.txt", G.member_name);
}

TEST_F(MapName, ComponentRefusedByWindowsIsShortened) {
    // 252 + 5 = 257 characters: over the 255 a component may have, so the 8.3 form is used.
    std::string name = std::string(252, 'y') + ".text";
    EXPECT_EQ(0, map(name.c_str()));
    EXPECT_STREQ("yyyyyyyy.tex", G.member_name);
}

TEST_F(MapName, NewDirectoryEntryIsCreated) {
    EXPECT_EQ(ZR_DIR_CREATED, map("docs/"));
    EXPECT_TRUE(isDirectory("docs"));
    EXPECT_TRUE(G.created_dir);
    EXPECT_NE(std::string::npos, messages().find("   creating: docs/"));
}

TEST_F(MapName, QuietDirectoryEntryHasNoMessage) {
    G.quiet_level = 1;
    EXPECT_EQ(ZR_DIR_CREATED, map("docs/"));
    EXPECT_EQ("", messages());
}

TEST_F(MapName, ExistingDirectoryEntryYieldsTwo) {
    ASSERT_EQ(0, mkdir("docs", 0777));
    EXPECT_EQ(2, map("docs/"));
    EXPECT_EQ(nullptr, G.long_path); // both paths released
    EXPECT_EQ(nullptr, G.fat_path);
}

TEST_F(MapName, NestedDirectoriesAreCreatedForAFile) {
    EXPECT_EQ(0, map("a/b/c.txt"));
    EXPECT_STREQ("a/b/c.txt", G.member_name);
    EXPECT_TRUE(isDirectory("a/b"));
    EXPECT_TRUE(G.created_dir);
}

TEST_F(MapName, FileInTheWayOfADirectory) {
    writeFile("x", "data");
    EXPECT_EQ(3, map("x/y.txt"));
    EXPECT_NE(std::string::npos, messages().find("checkdir error:  x exists but is not directory\n"
                                                 "                 unable to process x/y.txt.\n"));
    EXPECT_EQ(nullptr, G.long_path);
}

// A name that is taken but cannot be looked at: a symbolic link to itself.
TEST_F(MapName, DirectoryThatCannotBeMade) {
    ASSERT_EQ(0, symlink("loop", "loop"));
    EXPECT_EQ(3, map("loop/f.txt"));
    EXPECT_NE(std::string::npos,
              messages().find("checkdir error:  cannot create loop\n"
                              "                 unable to process loop/f.txt.\n"));
    EXPECT_EQ(nullptr, G.long_path);
}

TEST_F(MapName, FreshenCreatesNoDirectory) {
    G.freshen = 1;
    EXPECT_EQ(2, map("newdir/f.txt"));
    EXPECT_FALSE(exists("newdir"));
    EXPECT_EQ(nullptr, G.fat_path);
}

TEST_F(MapName, JunkDirsKeepsOnlyTheFileName) {
    G.junk_dirs = 1;
    EXPECT_EQ(0, map("a/b/c.txt"));
    EXPECT_STREQ("c.txt", G.member_name);
    EXPECT_FALSE(exists("a"));
}

TEST_F(MapName, JunkDirsLeavesNothingForADirectoryEntry) {
    G.junk_dirs = 1;
    EXPECT_EQ(2, map("a/b/"));
    EXPECT_FALSE(exists("a"));
}

TEST_F(MapName, NothingLeftToMap) {
    EXPECT_EQ(3, map("dir/;1"));
    EXPECT_NE(std::string::npos, messages().find("mapname:  conversion of dir/;1 failed\n"));
    EXPECT_EQ(nullptr, G.long_path);
}

TEST_F(MapName, DirectoryPathLongerThan256IsRefused) {
    // The second directory makes the path 200 + 1 + 56 = 257 characters long.
    std::string name = std::string(200, 'd') + "/" + std::string(56, 'e') + "/f";
    EXPECT_EQ(4, map(name.c_str()));
    EXPECT_NE(std::string::npos, messages().find("checkdir error:  path too long: "));
    EXPECT_EQ(nullptr, G.long_path);
}

TEST_F(MapName, DirectoryPathOf256IsAccepted) {
    std::string name = std::string(200, 'd') + "/" + std::string(55, 'e') + "/f";
    EXPECT_EQ(0, map(name.c_str()));
}

TEST_F(MapName, LongestNameFits) {
    std::string name(MAX_NAME, 'n');
    EXPECT_EQ(0, map(name.c_str()));
    EXPECT_EQ(std::string(8, 'n'), G.member_name); // over 255: cut to 8.3
}

TEST(MapCheckdir, UnknownFunctionAndEndOfRun) {
    EXPECT_EQ(99, checkdir(NULL, 0));
    EXPECT_EQ(99, checkdir(NULL, 6));
    EXPECT_EQ(0, checkdir(NULL, END));
}

TEST(MapAttr, ArchiveBitAdded) {
    globalsCtor();
    G.central_hdr.external_attr = 0x81ED0001; // Unix mode in the high half, DOS read-only
    EXPECT_EQ(0, mapattr());
    EXPECT_EQ(0x21u, G.cur_entry->platform_attr);
    G.central_hdr.external_attr = 0x10;
    mapattr();
    EXPECT_EQ(0x30u, G.cur_entry->platform_attr);
}

// ---------------------------------------------------------------------------------------
// Volume labels. On the host the current directory is a Unix path, which has no drive
// letter, like a network path on Windows.

class MapLabel : public MapName {
  protected:
    void SetUp() override {
        MapName::SetUp();
        G.cur_entry->is_label = 1;
    }
};

TEST_F(MapLabel, NotSetWithoutOption) {
    compat::setDriveType(DRIVE_REMOVABLE);
    EXPECT_EQ(ZR_LABEL_SKIPPED, map("MYDISK"));
    EXPECT_TRUE(compat::volumeLabels().empty());
    EXPECT_EQ(nullptr, G.long_path);
}

TEST_F(MapLabel, NotSetOnFixedDriveWithFloppyOption) {
    G.labels_too = 1;
    EXPECT_EQ(ZR_LABEL_SKIPPED, map("MYDISK"));
    EXPECT_TRUE(compat::volumeLabels().empty());
}

TEST_F(MapLabel, NotSetWithoutDriveLetter) {
    G.labels_too = 2;
    EXPECT_EQ(ZR_LABEL_SKIPPED, map("MYDISK"));
    EXPECT_TRUE(compat::volumeLabels().empty());
}

TEST(MapFloppy, RemovableDrive) {
    compat::reset();
    compat::setDriveType(DRIVE_REMOVABLE);
    EXPECT_EQ(1, isfloppy(1));
    compat::setDriveType(DRIVE_FIXED);
    EXPECT_EQ(0, isfloppy(3));
    EXPECT_EQ(0, isfloppy(0)); // no drive letter
    EXPECT_EQ(0, isfloppy(27));
}

// ---------------------------------------------------------------------------------------
// Volume queries

// IsVolumeOldFAT in a run of its own: within a run the volume is asked once per root.
static int oldFatIn(const char *fileSystem, DWORD maxComponent, const char *path,
                    bool queryFails = false) {
    compat::reset();
    compat::setVolume(fileSystem, maxComponent, 0);
    compat::setVolumeQueryFails(queryFails);
    checkdir(NULL, END);
    return IsVolumeOldFAT(path);
}

TEST(MapVolume, OldFatByComponentLength) {
    EXPECT_EQ(0, oldFatIn("NTFS", 255, "x.txt"));
    EXPECT_EQ(1, oldFatIn("FAT", 12, "x.txt"));
    EXPECT_EQ(0, oldFatIn("FAT", 13, "C:\\x.txt"));
    EXPECT_EQ(0, oldFatIn("FAT", 12, "x.txt", true)); // cannot be asked: long names assumed
    compat::reset();
}

TEST(MapVolume, AskedOncePerRunAndRoot) {
    compat::reset();
    checkdir(NULL, END);
    EXPECT_EQ(0, IsVolumeOldFAT("a b.txt"));
    compat::setVolume("FAT", 12, 0); // unseen until the next run
    EXPECT_EQ(0, IsVolumeOldFAT("c d.txt"));
    EXPECT_EQ(0, NTQueryTargetFS("d/e.txt"));
    EXPECT_EQ(1, apiCallCount("GetVolumeInformationA"));
    EXPECT_EQ(1, IsVolumeOldFAT("C:\\x.txt")); // another root is asked of its own
    checkdir(NULL, END);
    EXPECT_EQ(1, IsVolumeOldFAT("a b.txt"));
    EXPECT_EQ(3, apiCallCount("GetVolumeInformationA"));
    compat::reset();
}

struct ValidityCase {
    const char *label;
    std::string path;
    int valid;
};

// From the root, "/" and the name make the full path.
TEST(MapVolume, FileNameValidity) {
    compat::reset();
    char cwd[4096];
    ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
    ASSERT_EQ(0, chdir("/"));
    const ValidityCase cases[] = {
        {"missing file", "does-not-exist.txt", 1},
        {"character no name holds", "bad|name", 0},
        {"a drive's colon", "C:\\x", 1},
        {"longest component", std::string(255, 'z'), 1},
        {"component too long", std::string(256, 'z'), 0},
        {"full path of 259", deepPath(258), 1},
        {"full path of 260", deepPath(259), 0},
    };
    for (const ValidityCase &c : cases)
        EXPECT_EQ(c.valid, IsFileNameValid(c.path.c_str())) << c.label;
    ASSERT_EQ(0, chdir(cwd));
}

// ---------------------------------------------------------------------------------------
// Names that would leave the extraction folder

struct UnsafeCase {
    const char *label;
    const char *name;
    int unsafe;
};

TEST(UnsafePath, Forms) {
    compat::reset();
    const UnsafeCase cases[] = {
        {"plain file", "a.txt", 0},
        {"nested", "a/b/c.txt", 0},
        {"directory entry", "dir/", 0},
        {"current dir", ".", 0},
        {"current dir component", "a/./b", 0},
        {"leading current dir", "./a", 0},
        {"empty component", "a//b", 0},
        {"dot name", ".profile", 0},
        {"dots inside", "a..b", 0},
        {"leading dots with text", "..a", 0},
        {"trailing dots with text", "a/b..", 0},
        {"backslash inside", "arc\\test", 0},
        {"colon later", "ab:c", 0},
        {"digit and colon", "1:x", 0},
        {"parent", "..", 1},
        {"parent first", "../x", 1},
        {"parent inside", "a/../b", 1},
        {"parent last", "a/..", 1},
        {"parent with backslash", "..\\x", 1},
        {"parent between backslashes", "a\\..\\b", 1},
        {"parent after slash, backslash", "a/..\\b", 1},
        {"three dots", "a/.../b", 1},
        {"dots and trailing space", "a/.. /b", 1},
        {"dot space dot", "a/. ./b", 1},
        {"only spaces", "a/ /b", 1},
        {"dot space", "a/. /b", 1},
        {"absolute slash", "/etc/x", 1},
        {"absolute backslash", "\\Windows\\x", 1},
        {"unc slashes", "//server/share/x", 1},
        {"unc backslashes", "\\\\server\\share\\x", 1},
        {"device path", "\\\\?\\C:\\x", 1},
        {"drive only", "C:", 1},
        {"drive relative", "C:x", 1},
        {"drive root backslash", "C:\\x", 1},
        {"drive root slash lower case", "c:/x", 1},
        {"device", "nul", 2},
        {"device with extension in a folder", "lib/NUL.dll", 2},
        {"device with trailing space", "nul ", 2},
        {"device with trailing dot", "nul.", 2},
        {"device, space before the extension", "Aux .txt", 2},
        {"serial port", "COM1", 2},
        {"serial port with extension", "com1.log", 2},
        {"printer port 9", "lpt9.x", 2},
        {"console input", "conin$.txt", 2},
        {"console output", "CONOUT$", 2},
        {"device as a folder", "con/x.txt", 2},
        {"device after a backslash", "x\\prn", 2},
        {"port 0 is no device", "com0", 0},
        {"port 10 is no device", "lpt10.txt", 0},
        {"longer base name", "nulx.txt", 0},
        {"shorter base name", "nu.txt", 0},
        {"leading space", " nul", 0},
        {"device name as extension", "a.nul", 0},
        {"device name as prefix", "console.log", 0},
    };
    for (const UnsafeCase &c : cases)
        EXPECT_EQ(c.unsafe, is_unsafe_path(c.name)) << c.label << ": " << c.name;
}

// 0x95 0x5C is a cp932 character whose trail byte is the code of "\".
TEST(UnsafePath, DoubleByteTrailBackslashOnCodePage932) {
    compat::reset();
    compat::setAnsiCodePage(932);
    EXPECT_EQ(0, is_unsafe_path("\x95\x5C.txt"));
    EXPECT_EQ(0, is_unsafe_path("\x95\x5C..\\x"));   // the component is 0x95 0x5C ".."
    EXPECT_EQ(1, is_unsafe_path("\x95\x5C\\..\\x")); // a real "\" after the character
    EXPECT_EQ(1, is_unsafe_path("\x81\x81\\..\\x")); // trail 0x81 is not a lead byte
    EXPECT_EQ(1, is_unsafe_path("\\\x95\x5C"));      // still absolute
    EXPECT_EQ(0, is_unsafe_path("a\x95"));           // lead byte at the end
    EXPECT_EQ(0, is_unsafe_path("COM\xB9.txt"));     // a katakana letter here
    compat::reset();
}

TEST(UnsafePath, SameBytesOnCodePage1252) {
    compat::reset();
    EXPECT_EQ(0, is_unsafe_path("\x95\x5C.txt"));  // "\" separates, but nothing leaves
    EXPECT_EQ(1, is_unsafe_path("\x95\x5C..\\x")); // here ".." is a component of its own
    EXPECT_EQ(1, is_unsafe_path("\x81\x81\\..\\x"));
    EXPECT_EQ(2, is_unsafe_path("COM\xB9.txt")); // superscript one: a serial port
    EXPECT_EQ(2, is_unsafe_path("lpt\xB3"));
}

class UnsafeName : public MapName {};

TEST_F(UnsafeName, ParentIsRefusedBeforeAnythingIsCreated) {
    EXPECT_EQ(3, map("new/../../evil.txt"));
    EXPECT_FALSE(exists("new"));
    EXPECT_NE(
        std::string::npos,
        messages().find(
            "error:  refusing new/../../evil.txt (path would leave the extraction folder)\n"));
    EXPECT_EQ(nullptr, G.long_path);
}

TEST_F(UnsafeName, AbsoluteNamesAreRefused) {
    EXPECT_EQ(3, map("/tmp/evil.txt"));
    EXPECT_EQ(3, map("\\tmp\\evil.txt"));
    EXPECT_EQ(3, map("//server/share/evil.txt"));
    EXPECT_EQ(3, map("\\\\?\\C:\\evil.txt"));
    EXPECT_EQ(3, map("..\\evil.txt"));
    EXPECT_EQ(3, map("a/.../evil.txt"));
}

TEST_F(UnsafeName, DriveNamesAreRefusedThoughTheColonWouldBeMapped) {
    EXPECT_EQ(3, map("C:evil.txt"));
    EXPECT_EQ(3, map("C:\\evil.txt"));
    EXPECT_EQ(3, map("c:/evil.txt"));
    EXPECT_FALSE(exists("C_evil.txt"));
    EXPECT_FALSE(exists("c_"));
}

TEST_F(UnsafeName, ShortFormThatNamesADeviceIsRefused) {
    // Too long for a component, so cut to 8.3, where the "_" stands for the dot.
    std::string name = "d/CONIN$_" + std::string(249, 'a');
    EXPECT_EQ(3, map(name.c_str()));
    EXPECT_NE(std::string::npos,
              messages().find("refusing d/CONIN$.aaa (Windows opens the name as a device)"));
}

TEST_F(UnsafeName, DroppedControlCharacterCannotMakeParent) {
    EXPECT_EQ(3, map("a/.\x01./x"));
    EXPECT_FALSE(exists("a"));
}

TEST_F(UnsafeName, VersionCutCannotMakeParent) {
    EXPECT_EQ(3, map("a/..;1"));
    EXPECT_FALSE(exists("a"));
}

TEST_F(UnsafeName, JunkDirsChecksOnlyWhatIsUsed) {
    G.junk_dirs = 1;
    EXPECT_EQ(0, map("x/../y.txt"));
    EXPECT_STREQ("y.txt", G.member_name);
    EXPECT_EQ(3, map("x/..\\y.txt"));
}

TEST_F(UnsafeName, DoubleByteNameAcceptedOn932RefusedOn1252) {
    compat::setAnsiCodePage(932);
    EXPECT_EQ(0, map("\x95\x5C..\\x"));
    compat::setAnsiCodePage(1252);
    EXPECT_EQ(3, map("\x95\x5C..\\x"));
}
