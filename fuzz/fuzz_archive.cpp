// Fuzz target for one whole engine run over an archive, as the stub makes it: quiet, every
// member selected, extracting into the current directory (or testing only).
//
// Input layout: bytes 0 and 1 pick the mode (little-endian), the rest is the archive. Mode bits:
//   0  test only (-t) instead of extracting
//   1  the current directory is on an old FAT volume (8.3 names, local times)
//   2  the ANSI code page is 932 (double-byte lead bytes in names)
//   3  overwrite existing files without asking (-o)
//   4  convert line ends of every member (-aa)
//   5  chatty (quiet level 0) with include and exclude patterns instead of everything
//   6  show the archive comment only (-z)
//   7  apply NT security blocks, with privileges (-XX); the restore privilege is held
//   8  the disk fills up: it takes 4096 times the number in bits 9-15 bytes of output, and
//      the write that passes that fails
//
// Each run happens in a private scratch tree made once per process:
//
//   <root>/               holds only "a"
//   <root>/a/             holds only "b" and "guard"
//   <root>/a/guard/       stays empty
//   <root>/a/b/           holds only "in.zip" and "work"
//   <root>/a/b/work/      current directory during the run; emptied after it
//
// A member that got past the engine's path checks would land in one of the levels above
// "work" (or in "guard" through a "../guard/" name); any unexpected entry there aborts, so
// the fuzzer reports the input. So does a file opened under a name that Windows opens as a
// device ("lib/NUL.dll", "COM1.log"): the host stand-in records it instead of making a file.
// Open descriptors are counted as well: a run that leaves one open aborts too.
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "control.h"
#include "unzip/unzip.h"

namespace {

enum {
    MODE_TEST = 1,
    MODE_OLD_FAT = 2,
    MODE_DBCS = 4,
    MODE_OVERWRITE = 8,
    MODE_TEXT = 16,
    MODE_PATTERNS = 32,
    MODE_COMMENT = 64,
    MODE_SECURITY = 128,
    MODE_DISK_FULL = 256,
    MODE_ROOM_SHIFT = 9, // bits 9-15: the full disk's room in units of MODE_ROOM_UNIT
    MODE_ROOM_UNIT = 4096,
};

// Patterns that reach every part of the matcher: sets, ranges, negation, "?" and "*".
static char *includePatterns[] = {(char *)"*.t?t", (char *)"[a-m]*", (char *)"[!n-z]*/*", NULL};
static char *excludePatterns[] = {(char *)"*/x*", (char *)"\\*", NULL};

std::string rootDir, levelA, guardDir, levelB, archivePath, workDir;
char arg0[] = "ombrelin.exe";
bool removeTop; // removeEntry also takes the top of the tree

[[noreturn]] void fail(const char *what, const std::string &detail) {
    fprintf(stderr, "fuzz_archive: %s: %s\n", what, detail.c_str());
    abort();
}

int quietSink(void *, uint8_t *, uint32_t, int) {
    return 0;
}
int noPause(void *, const char *, int) {
    return 0;
}

void makeDir(const std::string &path) {
    if (mkdir(path.c_str(), 0700) != 0) fail("cannot create", path);
}

// Aborts on a name in dir that is not in allowed (NULL-terminated).
void expectOnly(const std::string &dir, const char *const *allowed, const char *what) {
    DIR *d = opendir(dir.c_str());
    if (d == NULL) fail("cannot list", dir);
    while (struct dirent *e = readdir(d)) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
        bool ok = false;
        for (const char *const *a = allowed; *a != NULL && !ok; a++)
            ok = !strcmp(e->d_name, *a);
        if (!ok) {
            std::string name = dir + "/" + e->d_name;
            closedir(d);
            fail(what, name);
        }
    }
    closedir(d);
}

int removeEntry(const char *path, const struct stat *, int, struct FTW *ftw) {
    if (ftw->level > 0 || removeTop) remove(path);
    return 0;
}

// Extracted files may be read-only and directories may have lost their write bit, which
// stops an unprivileged run from removing them.
int openUp(const char *path, const struct stat *st, int type, struct FTW *) {
    if (type == FTW_D || type == FTW_DNR)
        chmod(path, 0700);
    else if (type == FTW_F)
        chmod(path, (st->st_mode & 07777) | S_IWUSR);
    return 0;
}

void emptyWorkDir() {
    nftw(workDir.c_str(), openUp, 16, FTW_PHYS);
    removeTop = false;
    nftw(workDir.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void removeTree() {
    if (rootDir.empty()) return;
    nftw(rootDir.c_str(), openUp, 16, FTW_PHYS);
    removeTop = true;
    nftw(rootDir.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

int lowestFreeFd() {
    int fd = open("/dev/null", O_RDONLY);
    if (fd < 0) fail("cannot open", "/dev/null");
    close(fd);
    return fd;
}

void checkScratchTree() {
    static const char *const rootAllowed[] = {"a", NULL};
    static const char *const aAllowed[] = {"b", "guard", NULL};
    static const char *const guardAllowed[] = {NULL};
    static const char *const bAllowed[] = {"in.zip", "work", NULL};
    static const char outside[] = "output outside the extraction directory";
    expectOnly(rootDir, rootAllowed, outside);
    expectOnly(levelA, aAllowed, outside);
    expectOnly(guardDir, guardAllowed, outside);
    expectOnly(levelB, bAllowed, outside);
}

void writeArchive(const uint8_t *data, size_t size) {
    int fd = open(archivePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) fail("cannot create", archivePath);
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n <= 0) fail("cannot write", archivePath);
        data += n;
        size -= (size_t)n;
    }
    close(fd);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // The stub has no standard input: questions (replace?) read end-of-file.
    if (freopen("/dev/null", "r", stdin) == NULL) fail("cannot reopen", "standard input");
    const char *tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp != NULL && *tmp ? tmp : "/tmp") + "/fuzz_archive.XXXXXX";
    std::string buf = pattern;
    if (mkdtemp(&buf[0]) == NULL) fail("cannot create", pattern);
    rootDir = buf;
    levelA = rootDir + "/a";
    guardDir = levelA + "/guard";
    levelB = levelA + "/b";
    workDir = levelB + "/work";
    archivePath = levelB + "/in.zip";
    makeDir(levelA);
    makeDir(guardDir);
    makeDir(levelB);
    makeDir(workDir);
    atexit(removeTree);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    int mode = data[0] | data[1] << 8;
    writeArchive(data + 2, size - 2);
    int firstFreeFd = lowestFreeFd();

    char saved[PATH_MAX];
    if (getcwd(saved, sizeof saved) == NULL) fail("cannot read", "current directory");
    if (chdir(workDir.c_str()) != 0) fail("cannot enter", workDir);

    compat::reset(); // NT, NTFS, UTC, code page 1252; nothing recorded from the last run
    if (mode & MODE_OLD_FAT) {
        compat::setVolume("FAT", 12, 0);
        compat::setTimeZone(-60, TIME_ZONE_ID_STANDARD);
    }
    if (mode & MODE_DBCS) compat::setAnsiCodePage(932);
    if (mode & MODE_DISK_FULL)
        compat::setDiskRoom((int64_t)(mode >> MODE_ROOM_SHIFT) * MODE_ROOM_UNIT);
    globalsCtor();
    G.program_arg0 = arg0;
    G.archive_path = &archivePath[0];
    G.quiet_level = 4;
    G.select_all = 1;
    G.test_only = (mode & MODE_TEST) != 0;
    G.overwrite_always = (mode & MODE_OVERWRITE) != 0;
    G.text_conv = (mode & MODE_TEXT) ? 2 : 0;
    G.comment_only = (mode & MODE_COMMENT) ? 1 : 0;
    if (mode & MODE_SECURITY) {
        G.security_level = 2;
        compat::setPrivilegesHeld(true, false);
    }
    if (mode & MODE_PATTERNS) {
        G.quiet_level = 0;
        G.select_all = 0;
        G.include_names = includePatterns;
        G.include_count = 3;
        G.exclude_names = excludePatterns;
        G.exclude_count = 2;
    }
    G.extracting = !G.test_only && !G.comment_only;
    G.message_fn = quietSink;
    G.pause_fn = noPause;
    process_zipfiles();

    if (chdir(saved) != 0) fail("cannot return to", saved);
    if (!compat::deviceOpens().empty())
        fail("output to a Windows device", compat::deviceOpens()[0]);
    checkScratchTree();
    if (G.test_only) {
        static const char *const nothing[] = {NULL};
        expectOnly(workDir, nothing, "output of a test-only run");
    }
    emptyWorkDir();
    int fd = lowestFreeFd();
    if (fd != firstFreeFd) {
        char link[64], target[PATH_MAX] = "";
        snprintf(link, sizeof link, "/proc/self/fd/%d", firstFreeFd);
        ssize_t n = readlink(link, target, sizeof target - 1);
        target[n > 0 ? n : 0] = '\0';
        fail("descriptor left open by the run", target);
    }
    return 0;
}
