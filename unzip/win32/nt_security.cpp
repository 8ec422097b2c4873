// Windows NT security descriptors of extracted files and directories, from the "SD" blocks
// of the members' local extra fields (with the engine's X option on Windows NT). A file gets
// its descriptor as soon as it is finished; a directory's is queued and set after the last
// member, so that a restrictive directory cannot stop the extraction of its own contents.
//
// The blocks are archive data handed to Windows: a descriptor's size is bounded, the
// expanded bytes must be exactly the announced size, and their structure (revision,
// self-relative form, owner, group and the two ACLs inside the buffer) is checked before
// any call sees them. Failures never stop the extraction: files fail silently, directories
// are counted under "failed:".
#include <stdlib.h>
#include <string.h>

#include "unzip/win32/win32.h"

static const char SecurityBytesMsg[] = " (%ld bytes security)";
static const char UpdatedMsg[] = "    updated: %lu directory entries with %lu bytes security";
static const char FailedMsg[] = "     failed: %lu directory entries with %lu bytes security";
static const char SecurityDataMissing[] = " compressed WinNT security data missing (%d bytes)%s";

enum {
    OUT_OF_MEMORY = 7,        // SetSD's result without memory for the descriptor
    PRIVILEGE_RESTORE = 2,    // remote_privileges: owner, group, DACL and SACL can be set
    PRIVILEGE_SACL = 4,       // remote_privileges: the SACL can be opened
    SD_HEADER = 20,           // self-relative descriptor: revision, control, four offsets
    SID_HEADER = 8,           // revision, count, identifier authority
    ACL_HEADER = 8,           // revision, size, ACE count
    MAX_SUB_AUTHORITIES = 15, // of a SID
};
// The largest self-relative descriptor: its header, two SIDs of 15 sub-authorities and two
// ACLs of the largest size.
static const uint32_t MAX_DESCRIPTOR =
    SD_HEADER + 2 * (SID_HEADER + 4 * MAX_SUB_AUTHORITIES) + 2 * 65535;

// A queued directory: the record and, in the same heap block, the descriptor, a copy of the
// volume's description (deferred set) and the path.
struct DeferredSD {
    DeferredSD *next;
    uint8_t *sd;
    volume_caps *caps;
    char *path;
    uint32_t sd_size;
};

static int initialized;
static void *volatile init_mutex; // the one-time set-up's mutex, swapped in by the first user
static CRITICAL_SECTION defer_lock, caps_lock;
static volume_caps cached_caps;
static DeferredSD *defer_head, *defer_tail;
static int restore_privilege, security_privilege; // enabled in the process token

// ---------------------------------------------------------------------------------------
// The bytes of a descriptor

static int sid_fits(const uint8_t *sd, uint32_t size, uint32_t offset) {
    if (offset == 0) return 1;
    if (offset < SD_HEADER || offset > size - SID_HEADER) return 0;
    Cursor c = cursor_over(sd + offset, size - offset);
    unsigned revision = take8(&c), count = take8(&c);
    return revision == 1 && count <= MAX_SUB_AUTHORITIES && offset + SID_HEADER + 4 * count <= size;
}

static int acl_fits(const uint8_t *sd, uint32_t size, uint32_t offset) {
    if (offset == 0) return 1;
    if (offset < SD_HEADER || offset > size - ACL_HEADER) return 0;
    Cursor c = cursor_over(sd + offset, size - offset);
    skip(&c, 2); // revision and padding
    uint32_t acl_size = take16(&c);
    return acl_size >= ACL_HEADER && offset + acl_size <= size;
}

// A self-relative descriptor of revision 1 whose parts all lie inside its size bytes.
int security_descriptor_fits(const uint8_t *sd, uint32_t size) {
    if (size < SD_HEADER) return 0;
    Cursor c = cursor_over(sd, size);
    unsigned revision = take8(&c);
    skip(&c, 1); // padding
    unsigned control = take16(&c);
    uint32_t owner = take32(&c), group = take32(&c), sacl = take32(&c), dacl = take32(&c);
    if (revision != 1 || !(control & SE_SELF_RELATIVE)) return 0;
    return sid_fits(sd, size, owner) && sid_fits(sd, size, group) && acl_fits(sd, size, sacl) &&
           acl_fits(sd, size, dacl);
}

// ---------------------------------------------------------------------------------------
// One-time set-up

// Enables one privilege in the token; held only when Windows says it assigned it.
static int enable_privilege(HANDLE token, const char *name) {
    TOKEN_PRIVILEGES tp;
    if (!LookupPrivilegeValueA(NULL, name, &tp.Privileges[0].Luid)) return 0;
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    return AdjustTokenPrivileges(token, FALSE, &tp, 0, NULL, NULL) && GetLastError() == 0;
}

void InitLocalPrivileges(void) {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return;
    restore_privilege = enable_privilege(token, "SeRestorePrivilege");
    if (!restore_privilege) security_privilege = enable_privilege(token, "SeSecurityPrivilege");
    CloseHandle(token);
}

// The first caller swaps its own (owned) mutex into the empty slot, sets up and releases
// it; a caller that finds the slot taken closes only its own and waits on the winner's.
int Initialize(void) {
    if (initialized) return 1;
    HANDLE mine = CreateMutexA(NULL, TRUE, NULL);
    if (mine == NULL) return 0;
    HANDLE winner = InterlockedCompareExchangePointer(&init_mutex, mine, NULL);
    if (winner == NULL) {
        InitializeCriticalSection(&defer_lock);
        InitializeCriticalSection(&caps_lock);
        memset(&cached_caps, 0, sizeof cached_caps);
        InitLocalPrivileges();
        initialized = 1;
        ReleaseMutex(mine);
        return 1;
    }
    CloseHandle(mine);
    WaitForSingleObject(winner, INFINITE);
    ReleaseMutex(winner);
    return initialized;
}

// ---------------------------------------------------------------------------------------
// Volumes

// On a network volume: 2 when owner, group, DACL and SACL of path can be read and written
// back, 4 when only its SACL can be opened.
int GetRemotePrivilegesSet(const char *path, DWORD *privileges) {
    *privileges = 0;
    HANDLE h = CreateFileA(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER | ACCESS_SYSTEM_SECURITY,
                           FILE_SHARE_READ | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (h != INVALID_HANDLE_VALUE) {
        SECURITY_INFORMATION all = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                   DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;
        DWORD needed = 0;
        if (!GetKernelObjectSecurity(h, all, NULL, 0, &needed) &&
            GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
            PSECURITY_DESCRIPTOR sd = HeapAlloc(GetProcessHeap(), 0, needed);
            if (sd != NULL) {
                if (GetKernelObjectSecurity(h, all, sd, needed, &needed) &&
                    SetKernelObjectSecurity(h, all, sd))
                    *privileges |= PRIVILEGE_RESTORE;
                HeapFree(GetProcessHeap(), 0, sd);
            }
        }
        CloseHandle(h);
        return 1;
    }
    h = CreateFileA(path, ACCESS_SYSTEM_SECURITY,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING, 0,
                    NULL);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        *privileges |= PRIVILEGE_SACL;
    }
    return 1;
}

// The volume of the current directory (the engine has no other extraction root): asked
// once, kept in the cache, copied into caps with the caller's two fields.
int GetVolumeCaps(const char *root, const char *path, volume_caps *caps) {
    if (!Initialize()) return 0;
    const char *root_text = root != NULL ? root : "";
    EnterCriticalSection(&caps_lock);
    int ok = cached_caps.valid && _stricmp(cached_caps.root_path, root_text) == 0;
    LeaveCriticalSection(&caps_lock);
    DWORD fs_flags = 0, remote_privileges = 0;
    int remote = 0;
    if (!ok) {
        ok = GetVolumeInformationA(NULL, NULL, 0, NULL, NULL, &fs_flags, NULL, 0);
        if (ok && (fs_flags & FS_PERSISTENT_ACLS) && caps->use_privileges &&
            GetDriveTypeA(NULL) == DRIVE_REMOTE) {
            remote = 1;
            GetRemotePrivilegesSet(path, &remote_privileges);
        }
    }
    EnterCriticalSection(&caps_lock);
    if (ok && !cached_caps.valid) {
        size_t n = strnlen(root_text, sizeof cached_caps.root_path - 1);
        memcpy(cached_caps.root_path, root_text, n);
        cached_caps.root_path[n] = '\0';
        cached_caps.deferred = 0;
        cached_caps.fs_flags = fs_flags;
        cached_caps.remote = remote;
        cached_caps.remote_privileges = remote_privileges;
        cached_caps.valid = 1;
    }
    if (ok) {
        cached_caps.use_privileges = caps->use_privileges;
        cached_caps.file_attributes = caps->file_attributes;
        *caps = cached_caps;
    } else {
        cached_caps.valid = 0;
    }
    LeaveCriticalSection(&caps_lock);
    return ok;
}

// ---------------------------------------------------------------------------------------
// Setting and deferring

int DeferSet(const char *path, volume_caps *caps, PSECURITY_DESCRIPTOR sd, uint32_t sd_size) {
    if (!Initialize()) return 0;
    size_t path_size = strlen(path) + 1;
    size_t total = sizeof(DeferredSD) + sd_size + sizeof(volume_caps) + path_size;
    DeferredSD *d = (DeferredSD *)HeapAlloc(GetProcessHeap(), 0, total);
    if (d == NULL) return 0;
    d->next = NULL;
    d->caps = (volume_caps *)(d + 1); // the caps first: they need the record's alignment
    d->sd = (uint8_t *)(d->caps + 1);
    d->path = (char *)d->sd + sd_size;
    d->sd_size = sd_size;
    memcpy(d->caps, caps, sizeof *caps);
    d->caps->deferred = 1;
    memcpy(d->sd, sd, sd_size);
    memcpy(d->path, path, path_size);
    EnterCriticalSection(&defer_lock);
    if (defer_tail != NULL)
        defer_tail->next = d;
    else
        defer_head = d;
    defer_tail = d;
    LeaveCriticalSection(&defer_lock);
    return 1;
}

// Access and information for what the descriptor holds and what the privileges allow.
static SECURITY_INFORMATION choose_parts(const volume_caps *caps, SECURITY_DESCRIPTOR_CONTROL ctl,
                                         DWORD *access, int *restore) {
    int sacl_allowed = 0;
    *restore = 0;
    if (caps->use_privileges) {
        *restore =
            caps->remote ? (caps->remote_privileges & PRIVILEGE_RESTORE) != 0 : restore_privilege;
        sacl_allowed = *restore || (caps->remote ? (caps->remote_privileges & PRIVILEGE_SACL) != 0
                                                 : security_privilege);
    }
    SECURITY_INFORMATION info = 0;
    *access = 0;
    if (ctl & SE_DACL_PRESENT) {
        *access |= WRITE_DAC;
        info |= DACL_SECURITY_INFORMATION;
        if (*restore) {
            *access |= WRITE_OWNER;
            info |= OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION;
        }
    }
    if ((ctl & SE_SACL_PRESENT) && sacl_allowed) {
        *access |= ACCESS_SYSTEM_SECURITY;
        info |= SACL_SECURITY_INFORMATION;
    }
    return info;
}

int SecuritySet(const char *path, volume_caps *caps, PSECURITY_DESCRIPTOR sd, uint32_t sd_size) {
    if (!Initialize()) return 0;
    DWORD flags = 0;
    if (caps->file_attributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (!caps->deferred) return DeferSet(path, caps, sd, sd_size);
        flags = FILE_FLAG_BACKUP_SEMANTICS;
    }
    SECURITY_DESCRIPTOR_CONTROL ctl;
    DWORD revision, access;
    if (!security_descriptor_fits((const uint8_t *)sd, sd_size) || !IsValidSecurityDescriptor(sd) ||
        !GetSecurityDescriptorControl(sd, &ctl, &revision))
        return 0;
    int restore;
    SECURITY_INFORMATION info = choose_parts(caps, ctl, &access, &restore);
    if (info == 0) return 0;
    if (restore) flags = FILE_FLAG_BACKUP_SEMANTICS;
    HANDLE h = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           NULL, OPEN_EXISTING, flags, NULL);
    if (h == INVALID_HANDLE_VALUE) return 0;
    BOOL ok = SetKernelObjectSecurity(h, info, sd);
    CloseHandle(h);
    return ok;
}

// ---------------------------------------------------------------------------------------
// The blocks

int SetSD(const char *path, volume_caps *caps, const uint8_t *block, unsigned data_size) {
    if (block == NULL || data_size <= SD_SIZE_LEN) return 0;
    Cursor d = cursor_over(block + EF_BLOCK_HEADER_LEN, data_size);
    uint32_t size = take32(&d);
    if (take8(&d) != 0) return 0; // a format version this code does not know
    if (size == 0) return 0;      // nothing announced, nothing to expand
    if (data_size <= SD_FIXED) return ZR_EF_MISSING;
    if (size > MAX_DESCRIPTOR) return ZR_ERR; // no Windows descriptor is larger
    uint8_t *sd = (uint8_t *)malloc(size);
    if (sd == NULL) return OUT_OF_MEMORY;
    int r = memextract(sd, size, d.p, d.left);
    if (r == 0 && G.out_count != size) r = ZR_ERR; // the bytes must be what was announced
    if (r == 0 && SecuritySet(path, caps, sd, size) &&
        !(caps->file_attributes & FILE_ATTRIBUTE_DIRECTORY) && !G.test_only && G.quiet_level <= 1)
        zmsg(0, SecurityBytesMsg, (long)size);
    free(sd);
    return r;
}

int EvalExtraFields(const char *path, const uint8_t *ef, unsigned ef_len, int is_dir) {
    if (G.security_level == 0) return 0;
    int r = 0;
    Cursor field = cursor_over(ef, ef_len);
    ef_block block;
    while (r == 0 && next_ef_block(&field, &block)) {
        if (block.id != EF_NTSD || !IsWinNT()) continue;
        volume_caps caps;
        memset(&caps, 0, sizeof caps);
        caps.file_attributes = G.cur_entry->platform_attr | (is_dir ? FILE_ATTRIBUTE_DIRECTORY : 0);
        caps.use_privileges = G.security_level > 1;
        if (GetVolumeCaps(NULL, path, &caps) && !(caps.fs_flags & FS_PERSISTENT_ACLS))
            r = 0; // a volume without ACLs (FAT) keeps none
        else
            r = SetSD(path, &caps, block.start, block.data.left);
    }
    return r;
}

// ---------------------------------------------------------------------------------------
// The queued directories

int ProcessDefer(DWORD *dirs_ok, DWORD *bytes_ok, DWORD *dirs_failed, DWORD *bytes_failed) {
    *dirs_ok = *bytes_ok = *dirs_failed = *bytes_failed = 0;
    if (!initialized) return 1;
    EnterCriticalSection(&defer_lock);
    for (DeferredSD *d = defer_head, *next; d != NULL; d = next) {
        next = d->next;
        if (SecuritySet(d->path, d->caps, d->sd, d->sd_size)) {
            ++*dirs_ok;
            *bytes_ok += d->sd_size;
        } else {
            ++*dirs_failed;
            *bytes_failed += d->sd_size;
        }
        HeapFree(GetProcessHeap(), 0, d);
    }
    defer_head = defer_tail = NULL;
    LeaveCriticalSection(&defer_lock);
    return 1;
}

void process_defer_NT(void) {
    DWORD ok, ok_bytes, failed, failed_bytes;
    ProcessDefer(&ok, &ok_bytes, &failed, &failed_bytes);
    if (G.test_only || G.quiet_level > 1) return;
    if (ok > 0) zmsg(0, UpdatedMsg, (unsigned long)ok, (unsigned long)ok_bytes);
    if (failed > 0) zmsg(0, FailedMsg, (unsigned long)failed, (unsigned long)failed_bytes);
}

void end_security(void) {
    if (!initialized) return;
    discard_defer_NT();
    DeleteCriticalSection(&defer_lock);
    DeleteCriticalSection(&caps_lock);
    CloseHandle(init_mutex);
    init_mutex = NULL;
    initialized = restore_privilege = security_privilege = 0;
}

void discard_defer_NT(void) {
    if (!initialized) return;
    EnterCriticalSection(&defer_lock);
    for (DeferredSD *d = defer_head, *next; d != NULL; d = next) {
        next = d->next;
        HeapFree(GetProcessHeap(), 0, d);
    }
    defer_head = defer_tail = NULL;
    LeaveCriticalSection(&defer_lock);
}

// The message reports the data size of the extra field's first block less the descriptor's
// size, method and CRC (SD_MISSING_REPORT_LESS).
void apply_member_security(const char *path, int is_dir) {
    unsigned len = G.local_hdr.extra_len;
    if (G.extra_buf == NULL || len == 0) return;
    if (EvalExtraFields(path, G.extra_buf, len, is_dir) != ZR_EF_MISSING) return;
    Cursor field = cursor_over(G.extra_buf, len);
    skip(&field, 2); // the block's id
    int data_size = take16(&field);
    if (field.is_short) return;
    if (G.quiet_level != 0) zmsg(MF_ERRSTREAM, "%-22s ", fnfilter(path, G.name_area[0]));
    zmsg(MF_ERRSTREAM, SecurityDataMissing, data_size - SD_MISSING_REPORT_LESS,
         G.quiet_level != 0 ? "\n" : "");
}
