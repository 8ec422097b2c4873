// Output paths on Windows: member names become paths relative to the current directory
// (the extraction folder), the directories on the way are created, components are cut to
// 8.3 form where the volume refuses long names, and volume-label entries label the drive.
// What the volume allows is volume.cpp's; which names are refused, unsafe_path.cpp's.
// The path state lives in G (created_dir, name_len, label_drive, long_path, fat_path and
// their end pointers).
#include "unzip/win32/win32.h"

#include <ctype.h>
#include <direct.h>
#include <stdlib.h>
#include <string.h>

enum {
    LONGEST_DIR_PATH = 256, // a longer directory path is refused (result 4)
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
    char full[WIN_PATH_BUF];
    DWORD n = GetFullPathNameA(".", WIN_PATH_BUF, full, NULL);
    if (n == 0 || n >= WIN_PATH_BUF) {
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
        return CHECKDIR_UNKNOWN_FUNCTION;
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
