// Output paths on Windows: member names become paths relative to the current directory
// (the extraction folder), the directories on the way are created, components are cut to
// 8.3 form where the volume refuses long names, and volume-label entries label the drive.
// The path state lives in G (created_dir, name_len, label_drive, long_path, fat_path and
// their end pointers).
#include "unzip/unzip.h"

#include <ctype.h>
#include <direct.h>
#include <stdlib.h>
#include <string.h>

enum {
    PATH_BUF = MAX_PATH + 1,    // room for a Windows path and its terminator
    LONGEST_DIR_PATH = 256,     // a longer directory path is refused (result 4)
    OLD_FAT_MAX_COMPONENT = 12, // a volume with components this short wants 8.3 names
    MAX_COMPONENT = 255         // the longest name component Windows allows
};
static const size_t FAT_NAME_LEN = 8; // 8.3 form: base name ...
static const size_t FAT_EXT_LEN = 3;  // ... and extension

static const char PathTooLongMsg[] = "checkdir error:  path too long: %s\n";
static const char CannotCreateMsg[] =
    "checkdir error:  cannot create %s\n                 unable to process %s.\n";
static const char NotDirectoryMsg[] =
    "checkdir error:  %s exists but is not directory\n                 unable to process %s.\n";
static const char ConversionFailedMsg[] = "mapname:  conversion of %s failed\n";
static const char CreatingMsg[] = "   creating: %-22s\n";
static const char LabellingMsg[] = "labelling %s %-22s\n";
static const char LabelErrorMsg[] = "mapname:  error setting volume label\n";
static const char UnsafePathMsg[] =
    "error:  refusing %s (path would leave the extraction folder)\n";
static const char DeviceNameMsg[] = "error:  refusing %s (Windows opens the name as a device)\n";

static char *show1(const char *name) {
    return fnfilter(name, G.name_area[0]);
}
static char *show2(const char *name) {
    return fnfilter(name, G.name_area[1]);
}

// ---------------------------------------------------------------------------------------
// Attributes

int mapattr(void) {
    // The archive bit is added for files and directories alike, as Windows does for a
    // freshly written file.
    G.cur_entry->platform_attr = (G.central_hdr.external_attr & 0xFF) | FILE_ATTRIBUTE_ARCHIVE;
    return 0;
}

// ---------------------------------------------------------------------------------------
// Volume queries

// Makes path absolute unless it starts with a drive, and keeps its first three characters
// ("C:\"). A full path that does not fit a Windows path buffer counts as a failure.
static int root_of(const char *path, char root[4]) {
    char full[PATH_BUF];
    const char *p = path;
    if (!(isalpha((unsigned char)path[0]) && path[1] == ':')) {
        DWORD n = GetFullPathNameA(path, PATH_BUF, full, NULL);
        if (n == 0 || n >= PATH_BUF) {
            return 0;
        }
        p = full;
    }
    size_t n = strnlen(p, 3);
    memcpy(root, p, n);
    root[n] = '\0';
    return 1;
}

// Optimisation: the volume is asked once per run and root, not for every file (by
// NTQueryTargetFS) and every space of a name (by IsVolumeOldFAT). Member paths are relative
// to the current directory, so they all share its root, and only the root is ever asked
// about (a volume mounted on a folder inside the extraction folder was never seen either):
// the kept answer is the one asking again would give. Under Wine a query costs about 0.7 ms
// and prints a device warning each time.
// Measured (bench/floor_bench.py, 5,000-file tree stored, win32 stub under Wine, 2 cores,
// median of 5 interleaved rounds): 0.75 (0.72-0.82) of the time before.
static void ask_volume(const char *root) {
    DWORD flags = 0;
    memcpy(G.volume_root, root, strlen(root) + 1); // root_of keeps at most three characters
    G.volume_max_component = 0;
    G.volume_fs_name[0] = '\0';
    G.volume_ok = GetVolumeInformationA(root, NULL, 0, NULL, &G.volume_max_component, &flags,
                                        G.volume_fs_name, sizeof G.volume_fs_name) != 0;
}

int query_volume(const char *path, DWORD *max_component, char *fs_name, DWORD fs_size) {
    char root[sizeof G.volume_root];
    if (!root_of(path, root)) {
        return 0;
    }
    if (G.volume_root[0] == '\0' || _stricmp(root, G.volume_root) != 0) {
        ask_volume(root);
    }
    if (!G.volume_ok) {
        return 0;
    }
    if (max_component != NULL) {
        *max_component = G.volume_max_component;
    }
    if (fs_name != NULL && fs_size > 0) {
        size_t n = strnlen(G.volume_fs_name, fs_size - 1);
        memcpy(fs_name, G.volume_fs_name, n);
        fs_name[n] = '\0';
    }
    return 1;
}

// A volume that cannot be asked (a network path, whose first three characters are no
// drive root) is taken to allow long names: such shares are not old FAT volumes.
int IsVolumeOldFAT(const char *path) {
    DWORD max_len = 0;
    if (!query_volume(path, &max_len, NULL, 0)) {
        return 0;
    }
    return max_len <= OLD_FAT_MAX_COMPONENT;
}

int isfloppy(int drive) {
    char root[4] = {0, ':', '/', '\0'};
    if (drive < 1 || drive > 26) {
        return 0;
    }
    root[0] = (char)('A' + drive - 1);
    return GetDriveTypeA(root) == DRIVE_REMOVABLE;
}

// A character no Windows name can hold; a colon is one unless it follows a drive letter.
static int has_invalid_character(const char *path) {
    for (const unsigned char *p = (const unsigned char *)path; *p != '\0'; p++) {
        int drive_colon =
            *p == ':' && p == (const unsigned char *)path + 1 && isalpha((unsigned char)path[0]);
        if (*p < 0x20 || (strchr("<>:\"|?*", *p) != NULL && !drive_colon)) {
            return 1;
        }
    }
    return 0;
}

static int components_fit(const char *path) {
    size_t n = 0;
    for (const char *p = path; *p != '\0'; p++) {
        n = (*p == '/' || *p == '\\') ? 0 : n + 1;
        if (n > MAX_COMPONENT) {
            return 0;
        }
    }
    return 1;
}

// 1 unless the file system rejects path as a name: the full path it stands for (joined to
// the current directory) is MAX_PATH characters or longer, a component is longer than a
// Windows name, or a character cannot stand in a Windows name. A file that does not exist
// yet is valid.
//
// Optimisation: decided from the name and GetFullPathNameA, which only joins strings. It was
// asked of OpenFile, which opened the file and, for a relative name, searched the program's
// folder, the current one, the system folders and the whole PATH first, for every component
// of every member: about 1 ms a call under Wine, and an open a virus scanner looks at each
// time. Under Wine, for names of 1 to 300 characters in a folder of 15, OpenFile said "name
// too long" exactly where GetFullPathNameA fails; the characters Windows refuses never come
// here from mapname, which replaces them.
// Measured (bench/floor_bench.py, 5,000-file tree stored, win32 stub under Wine, 2 cores,
// median of 5 interleaved rounds): 0.34 (0.28-0.39) of the time before.
// Left: GetFileAttributesA, which under Wine takes full paths longer than MAX_PATH, which
// OpenFile and Windows refuse: such names would no longer get their 8.3 form there.
int IsFileNameValid(const char *path) {
    char full[PATH_BUF];
    DWORD n = GetFullPathNameA(path, PATH_BUF, full, NULL);
    return n != 0 && n < MAX_PATH && components_fit(path) && !has_invalid_character(path);
}

// ---------------------------------------------------------------------------------------
// Names that would leave the extraction folder or reach a device

static int is_separator(unsigned char c) {
    return c == '/' || c == '\\';
}

// Windows drops trailing dots and spaces of a component, so "...", ".. " and ". ." can all
// end up as "..". A component of only dots and spaces is refused unless it is "." or empty.
static int reaches_parent(const unsigned char *begin, const unsigned char *end) {
    size_t n = (size_t)(end - begin);
    while (n > 0 && (begin[n - 1] == '.' || begin[n - 1] == ' ')) {
        n--;
    }
    if (n > 0) {
        return 0;
    }
    size_t len = (size_t)(end - begin);
    return !(len == 0 || (len == 1 && begin[0] == '.'));
}

static int base_is(const unsigned char *base, size_t n, const char *device) {
    return n == strlen(device) && _strnicmp((const char *)base, device, n) == 0;
}

// Windows opens a component whose base name (up to the first dot, trailing spaces dropped)
// is a device name as that device, in any folder and with any extension: "lib/NUL.dll",
// "nul " and "nul.txt" reach the null device, "COM1.log" a serial port. Superscript digits
// count as digits of COM and LPT.
static int names_device(const unsigned char *begin, const unsigned char *end) {
    const unsigned char *stop = (const unsigned char *)memchr(begin, '.', (size_t)(end - begin));
    if (stop == NULL) {
        stop = end;
    }
    while (stop > begin && stop[-1] == ' ') {
        stop--;
    }
    size_t n = (size_t)(stop - begin);
    if (n == 4 && (base_is(begin, 3, "COM") || base_is(begin, 3, "LPT"))) {
        return (begin[3] >= '1' && begin[3] <= '9') || is_superscript_digit(begin[3]);
    }
    static const char *const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char *device : devices) {
        if (base_is(begin, n, device)) {
            return 1;
        }
    }
    return 0;
}

// Both "/" and "\" separate components on Windows, except a "\" that is the second byte of
// a double-byte character; the scan runs from the start so trail bytes are never taken for
// lead bytes.
int is_unsafe_path(const char *name) {
    const unsigned char *s = (const unsigned char *)name;
    if (is_separator(s[0])) {
        return PATH_LEAVES_FOLDER; // absolute, "//server/share", "\\server\share", "\\?\..."
    }
    if (((s[0] | 0x20) >= 'a' && (s[0] | 0x20) <= 'z') && s[1] == ':') {
        return PATH_LEAVES_FOLDER; // "C:\x" and the drive-relative "C:x"
    }
    const unsigned char *comp = s;
    size_t i = 0;
    for (;;) {
        unsigned char c = s[i];
        if (c == '\0' || is_separator(c)) {
            if (reaches_parent(comp, s + i)) {
                return PATH_LEAVES_FOLDER;
            }
            if (names_device(comp, s + i)) {
                return PATH_NAMES_DEVICE;
            }
            if (c == '\0') {
                return PATH_SAFE;
            }
            comp = s + ++i;
        } else if (is_dbcs_lead_byte(c) && s[i + 1] != '\0') {
            i += 2;
        } else {
            i++;
        }
    }
}

// ---------------------------------------------------------------------------------------
// 8.3 form of one component

// Characters that 8.3 names cannot hold.
static int is_fat_forbidden(char c) {
    return c != '\0' && strchr("[]+,;=", c) != NULL;
}

// Writes the component at p; returns the new end. A dot is written as "_" first and put
// back once the last dot is known (*last_dot).
static char *fat_copy(const char *s, char *b, char **last_dot) {
    char *p = b;
    int dot_name = 0;
    *last_dot = NULL;
    if (s[0] == '.') {
        if (s[1] == '\0') {
            *p = '\0'; // "." adds nothing
            return p;
        }
        if (s[1] == '.' && s[2] == '\0') {
            *p++ = '.'; // ".." stays: the second dot goes through the dot rule below
            s++;
        } else {
            *p++ = '_'; // ".profile": the base name cannot be empty
            dot_name = 1;
        }
    }
    for (; *s != '\0'; s++) {
        char c = *s;
        if (c == '.') {
            if (dot_name && *last_dot != NULL) {
                // A second dot: the name has a base after all, so the extra "_" goes.
                memmove(b, b + 1, (size_t)(p - b - 1));
                p--;
                dot_name = 0;
            }
            *last_dot = p;
            *p++ = '_';
        } else {
            *p++ = is_fat_forbidden(c) ? '_' : c;
        }
    }
    *p = '\0';
    return p;
}

// Without a dot, a "_" counts as one when base and extension together would not fit into
// 8 characters otherwise ("longname_txt" becomes "longname.txt").
static char *fat_implied_dot(char *b, char *p) {
    char *u = strrchr(b, '_');
    if (u == NULL) {
        return NULL;
    }
    size_t before = (size_t)(u - b), after = (size_t)(p - u - 1);
    size_t base = before < FAT_NAME_LEN ? before : FAT_NAME_LEN;
    size_t ext = after < FAT_EXT_LEN ? after : FAT_EXT_LEN;
    return base + ext > FAT_NAME_LEN ? u : NULL;
}

// Puts the dot back and cuts base name and extension to 8 and 3 characters.
static char *fat_cut(char *b, char *p, char *dot) {
    *dot = '.';
    size_t after = (size_t)(p - dot - 1);
    if ((size_t)(dot - b) > FAT_NAME_LEN) {
        size_t ext = after < FAT_EXT_LEN ? after : FAT_EXT_LEN;
        memmove(b + FAT_NAME_LEN, dot, ext + 1);
        dot = b + FAT_NAME_LEN;
        p = dot + 1 + ext;
    } else if (after > FAT_EXT_LEN) {
        p = dot + 1 + FAT_EXT_LEN;
    }
    *p = '\0';
    if (dot > b && dot[-1] == ' ') {
        dot[-1] = '_';
    }
    return p;
}

// Needs strlen(pathcomp) + 2 bytes at *fat_end: a dot-name briefly holds one extra "_".
void map2fat(char *pathcomp, char **fat_end) {
    char *b = *fat_end;
    char *dot;
    char *p = fat_copy(pathcomp, b, &dot);
    if (dot == NULL) {
        dot = fat_implied_dot(b, p);
    }
    if (dot != NULL) {
        p = fat_cut(b, p, dot);
    } else if ((size_t)(p - b) > FAT_NAME_LEN) {
        p = b + FAT_NAME_LEN;
        *p = '\0';
    }
    *fat_end = p;
}

// ---------------------------------------------------------------------------------------
// checkdir: the two paths of the current member

// The long path holds the mapped name, which is never longer than the name itself. An 8.3
// component can be one byte longer than its long form (".a" becomes "_.a"), and such a
// component takes at least three bytes of the name with its separator; half the name
// again is a simple bound above that, plus the transient "_" of map2fat and the terminator.
static size_t long_cap(void) {
    return (size_t)G.name_len + 2;
}
static size_t fat_cap(void) {
    return (size_t)G.name_len + (size_t)G.name_len / 2 + 3;
}

static void release_paths(void) {
    free(G.long_path);
    free(G.fat_path);
    G.long_path = G.fat_path = NULL;
    G.long_end = G.fat_end = NULL;
}

// Appends s at *end when it fits with its terminator into the buffer at base of size cap.
static int append(char *base, char **end, size_t cap, const char *s) {
    size_t used = (size_t)(*end - base), len = strlen(s);
    if (used + len + 1 > cap) {
        return 0;
    }
    memcpy(*end, s, len + 1);
    *end += len;
    return 1;
}

static int path_too_long(void) {
    zmsg(MF_ERRSTREAM, PathTooLongMsg, show1(G.long_path));
    release_paths();
    return MAP_PATH_TOO_LONG;
}

// Appends a component to both paths, in 8.3 form on the FAT side when Windows refuses the
// long name. A label's name is not a file name and is never shortened.
static int append_component(char *pathcomp, int is_name) {
    if (!append(G.long_path, &G.long_end, long_cap(), pathcomp)) {
        return 0;
    }
    if ((is_name && G.cur_entry->is_label) || IsFileNameValid(G.long_path)) {
        return append(G.fat_path, &G.fat_end, fat_cap(), pathcomp);
    }
    if ((size_t)(G.fat_end - G.fat_path) + strlen(pathcomp) + 2 > fat_cap()) {
        return 0;
    }
    map2fat(pathcomp, &G.fat_end);
    return 1;
}

// The drive of the current directory, for a volume label.
static int label_allowed(void) {
    char full[PATH_BUF];
    DWORD n = GetFullPathNameA(".", PATH_BUF, full, NULL);
    if (n == 0 || n >= PATH_BUF) {
        return 0;
    }
    int letter = tolower((unsigned char)full[0]);
    G.label_drive = letter - 'a' + 1;
    if (G.labels_too == 0 || letter < 'a' || letter > 'z') {
        return 0;
    }
    return G.labels_too >= 2 || isfloppy(G.label_drive);
}

static int checkdir_init(void) {
    release_paths(); // a member whose mapping was cut short leaves nothing behind
    G.long_path = (char *)malloc(long_cap());
    G.fat_path = (char *)malloc(fat_cap());
    if (G.long_path == NULL || G.fat_path == NULL) {
        release_paths();
        return MAP_NO_MEMORY;
    }
    if (G.cur_entry->is_label && !label_allowed()) {
        release_paths();
        return ZR_LABEL_SKIPPED;
    }
    G.long_path[0] = G.fat_path[0] = '\0';
    G.long_end = G.long_path;
    G.fat_end = G.fat_path;
    return 0;
}

// The end of a run: what it learnt about the file system may not hold for the next one.
static void forget_file_system(void) {
    G.known_dirs[0] = '\0';
    G.volume_root[0] = '\0';
}

// Optimisation: a directory that an earlier member's path went through is not looked at
// again; it was there or made then, and nothing in a run removes one. known_dirs keeps the
// path of the last directory that had to be made or looked at, which the next members in the
// same folder, or below it, or above it, share.
// Measured (bench/floor_bench.py, 5,000-file tree stored, win32 stub under Wine, 2 cores,
// median of 5 interleaved rounds): 0.98 (0.90-1.02) of the time before; little, as Wine
// finds a name that is there in about 8 us, but five of the six lookups of a member six
// components deep are gone, each a request a virus scanner's filter sees.
static int is_known_dir(void) {
    size_t n = (size_t)(G.fat_end - G.fat_path);
    return strncmp(G.known_dirs, G.fat_path, n) == 0 && G.known_dirs[n] == '/';
}

// fat_path, ending in "/", names directories that exist.
static void remember_dirs(void) {
    size_t n = (size_t)(G.fat_end - G.fat_path);
    if (n < sizeof G.known_dirs) {
        memcpy(G.known_dirs, G.fat_path, n + 1);
    }
}

static int not_directory(void) {
    zmsg(MF_ERRSTREAM, NotDirectoryMsg, show1(G.fat_path), show2(G.member_name));
    release_paths();
    return MAP_ERROR;
}

static int cannot_create(void) {
    zmsg(MF_ERRSTREAM, CannotCreateMsg, show1(G.fat_path), show2(G.member_name));
    release_paths();
    return MAP_ERROR;
}

// The directory at fat_path must be there: made unless this member may make none (or its
// path is too long), else it must exist as a directory.
//
// Optimisation: where it may be made, it is made first and looked at only when that fails,
// instead of looked at and then made; the outcome is the same (a directory that was there,
// a file in the way, or one that cannot be made tell themselves apart by the look). In a new
// folder every directory is new, and a lookup of a missing name is the dearest one: Wine
// reads the whole parent folder to rule out a name that differs only in case.
// Measured (win32 stub under Wine, 2 cores, medians of interleaved rounds): 0.99 (0.98-1.10)
// of the time before on the 5,000-file tree stored (410 directories, bench/floor_bench.py),
// 0.92 (0.82-1.12) on 4,000 new directories of one file each.
static int make_dir(int too_long) {
    int may_make = G.make_dirs && !too_long;
    if (may_make && _mkdir(G.fat_path) == 0) {
        G.created_dir = 1;
        return 0;
    }
    struct _stati64 st;
    if (_stati64(G.fat_path, &st) == 0) {
        if ((st.st_mode & _S_IFMT) != _S_IFDIR) {
            return not_directory();
        }
        return too_long ? path_too_long() : 0;
    }
    if (may_make) {
        return cannot_create(); // the attempt above failed
    }
    if (!G.make_dirs) {
        release_paths();
        return MAP_NOTHING_TO_WRITE;
    }
    return path_too_long();
}

static int checkdir_append_dir(char *pathcomp) {
    if (!append_component(pathcomp, 0)) {
        return path_too_long();
    }
    int too_long = strlen(G.long_path) > LONGEST_DIR_PATH;
    int known = is_known_dir();
    int rc = known ? (too_long ? path_too_long() : 0) : make_dir(too_long);
    if (rc != 0) {
        return rc;
    }
    if (!append(G.long_path, &G.long_end, long_cap(), "/") ||
        !append(G.fat_path, &G.fat_end, fat_cap(), "/")) {
        return path_too_long();
    }
    if (!known) {
        remember_dirs();
    }
    return 0;
}

// The finished path goes back into member_name, which holds MAX_NAME characters.
static int checkdir_getpath(char *pathcomp) {
    if (G.fat_path == NULL) {
        return 0;
    }
    size_t len = strlen(G.fat_path);
    if (len > MAX_NAME) {
        return path_too_long();
    }
    memcpy(pathcomp, G.fat_path, len + 1);
    release_paths();
    return 0;
}

int checkdir(char *pathcomp, int function) {
    switch (function & 7) {
    case INIT:
        return checkdir_init();
    case APPEND_DIR:
        return checkdir_append_dir(pathcomp);
    case APPEND_NAME:
        return append_component(pathcomp, 1) ? 0 : path_too_long();
    case GETPATH:
        return checkdir_getpath(pathcomp);
    case END:
        release_paths();
        forget_file_system();
        return 0;
    default:
        return 99;
    }
}

// ---------------------------------------------------------------------------------------
// mapname

static int is_forbidden(unsigned char c) {
    return c != '\0' && strchr(":<>|?*\"", c) != NULL;
}

static int only_digits(const char *s) {
    while (isdigit((unsigned char)*s)) {
        s++;
    }
    return *s == '\0';
}

// Applies the character rules to src, keeping "/" between components; dst has room for
// strlen(src) + 1 bytes (no rule makes a name longer). A trailing ";digits" version is cut
// from the last component unless versions are kept.
static void map_characters(const char *src, char *dst) {
    char *d = dst, *semi = NULL;
    for (const unsigned char *s = (const unsigned char *)src; *s != '\0'; s++) {
        unsigned char c = *s;
        if (c == '/') {
            semi = NULL;
            *d++ = '/';
        } else if (is_forbidden(c)) {
            *d++ = '_';
        } else if (c == ';') {
            semi = d;
            *d++ = ';';
        } else if (c == ' ') {
            *d++ = IsVolumeOldFAT(G.member_name) ? '_' : ' ';
        } else if (c >= 0x20) {
            *d++ = (char)c; // control characters are dropped
        }
    }
    *d = '\0';
    if (!G.keep_versions && semi != NULL && only_digits(semi + 1)) {
        *semi = '\0';
    }
}

static int finish_directory_entry(void) {
    int rc = checkdir(G.member_name, GETPATH);
    if (rc != 0) {
        return rc;
    }
    if (!G.created_dir) {
        return MAP_NOTHING_TO_WRITE;
    }
    if (G.quiet_level == 0) {
        zmsg(0, CreatingMsg, show1(G.member_name));
    }
    apply_member_security(G.member_name, 1);
    return ZR_DIR_CREATED;
}

static int set_volume_label(void) {
    char drive[4] = {0, ':', '\\', '\0'};
    drive[0] = (char)('a' + G.label_drive - 1);
    if (G.quiet_level == 0) {
        zmsg(0, LabellingMsg, drive, show1(G.member_name));
    }
    if (!SetVolumeLabelA(drive, G.member_name)) {
        zmsg(MF_ERRSTREAM, LabelErrorMsg);
        return MAP_ERROR;
    }
    return MAP_NOTHING_TO_WRITE;
}

// Walks the mapped name: every component before a "/" is a directory to be there.
static int make_path(char *mapped, int is_dir) {
    char *comp = mapped;
    for (char *p = mapped; *p != '\0'; p++) {
        if (*p == '/') {
            *p = '\0';
            int rc = checkdir(comp, APPEND_DIR);
            if (rc != MAP_OK) {
                return rc;
            }
            comp = p + 1;
        }
    }
    if (is_dir) {
        return finish_directory_entry();
    }
    if (*comp == '\0') {
        zmsg(MF_ERRSTREAM, ConversionFailedMsg, show1(G.member_name));
        release_paths();
        return MAP_ERROR;
    }
    int rc = checkdir(comp, APPEND_NAME);
    if (rc == 0) {
        rc = checkdir(G.member_name, GETPATH);
    }
    if (rc != 0) {
        return rc;
    }
    if (G.cur_entry->is_label) {
        return set_volume_label();
    }
    // The 8.3 form can name a device where the long name did not: "CONIN$_" followed by
    // more than 248 characters becomes "CONIN$.xxx".
    const char *last = strrchr(G.member_name, '/');
    if (is_unsafe_path(last != NULL ? last + 1 : G.member_name) == PATH_NAMES_DEVICE) {
        zmsg(MSG_ERROR, DeviceNameMsg, show1(G.member_name));
        return MAP_ERROR;
    }
    return MAP_OK;
}

// Both forms of the name are checked before anything is created. The mapped one is what
// reaches the file system, after control characters and a version suffix are gone. The
// stored one is refused as well when it names a drive ("C:x", "C:\x"): the colon would be
// mapped to "_", but an archive that addresses a drive is not trusted with the rest.
int mapname([[maybe_unused]] int new_name) {
    char mapped[MAX_NAME + 1];
    G.make_dirs = !G.freshen;
    G.created_dir = 0;
    G.name_len = (int)strnlen(G.member_name, MAX_NAME);
    G.member_name[G.name_len] = '\0';
    int is_dir = G.name_len > 0 && G.member_name[G.name_len - 1] == '/';

    const char *start = G.member_name;
    const char *last_slash = strrchr(G.member_name, '/');
    if (G.junk_dirs && last_slash != NULL) {
        start = last_slash + 1;
    }
    map_characters(start, mapped);
    int unsafe = is_unsafe_path(start);
    if (unsafe == PATH_SAFE) {
        unsafe = is_unsafe_path(mapped);
    }
    if (unsafe != PATH_SAFE) {
        zmsg(MSG_ERROR, unsafe == PATH_NAMES_DEVICE ? DeviceNameMsg : UnsafePathMsg,
             show1(G.member_name));
        return MAP_ERROR;
    }
    int rc = checkdir(G.member_name, INIT);
    if (rc != 0) {
        return rc;
    }
    return make_path(mapped, is_dir);
}
