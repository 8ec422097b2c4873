// What the target volume allows, asked once per run and drive root: the longest name
// component (old FAT volumes want 8.3 names), whether it keeps local time, and whether a
// path is a name its file system takes. Drive types for volume labels.
#include <ctype.h>
#include <string.h>

#include "unzip/win32/win32.h"

enum {
    OLD_FAT_MAX_COMPONENT = 12, // a volume with components this short wants 8.3 names
    MAX_COMPONENT = 255,        // the longest name component Windows allows
    LAST_DRIVE = 26,            // Z:
};

// Makes path absolute unless it starts with a drive, and keeps its first three characters
// ("C:\"). A full path that does not fit a Windows path buffer counts as a failure.
static int root_of(const char *path, char root[4]) {
    char full[WIN_PATH_BUF];
    const char *p = path;
    if (!(isalpha((unsigned char)path[0]) && path[1] == ':')) {
        DWORD n = GetFullPathNameA(path, WIN_PATH_BUF, full, NULL);
        if (n == 0 || n >= WIN_PATH_BUF) {
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
    DWORD flags = 0, max_component = 0;
    memcpy(G.volume_root, root, strlen(root) + 1); // root_of keeps at most three characters
    G.volume_fs_name[0] = '\0';
    G.volume_ok = GetVolumeInformationA(root, NULL, 0, NULL, &max_component, &flags,
                                        G.volume_fs_name, sizeof G.volume_fs_name) != 0;
    G.volume_max_component = max_component;
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
    if (drive < 1 || drive > LAST_DRIVE) {
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
    char full[WIN_PATH_BUF];
    DWORD n = GetFullPathNameA(path, WIN_PATH_BUF, full, NULL);
    return n != 0 && n < MAX_PATH && components_fit(path) && !has_invalid_character(path);
}

// A volume that cannot be asked is taken to keep UTC: its times are left as they are.
int NTQueryTargetFS(const char *path) {
    char fs_name[MAX_PATH] = "";
    if (!query_volume(path, NULL, fs_name, sizeof fs_name)) {
        return 0;
    }
    for (char *p = fs_name; *p != '\0'; p++) {
        *p = (char)toupper((unsigned char)*p);
    }
    return strncmp(fs_name, "FAT", 3) == 0 || strncmp(fs_name, "VFAT", 4) == 0 ||
           strncmp(fs_name, "HPFS", 4) == 0;
}
