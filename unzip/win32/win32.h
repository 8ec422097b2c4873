// The Windows side of the engine: the interfaces of unzip/win32/ that take Windows types, and
// those only its own files call. The portable engine header (unzip/unzip.h) includes no
// Windows header; files here include this one instead.
#ifndef UNZIP_WIN32_WIN32_H
#define UNZIP_WIN32_WIN32_H

#include <windows.h>

#include <atomic>

#include "unzip/unzip.h"

static_assert(WIN_PATH_BUF == MAX_PATH + 1, "a Windows path and its terminator");

// Volumes (volume.cpp). Maximum component length and file-system name of the volume holding
// path; 0 on failure. Asked once per run and root (G.volume_root).
int query_volume(const char *path, DWORD *max_component, char *fs_name, DWORD fs_size);
int IsVolumeOldFAT(const char *path);  // components of at most 12 characters: 8.3 names
int NTQueryTargetFS(const char *path); // FAT, VFAT or HPFS: the volume keeps local time
int IsFileNameValid(const char *path);
int isfloppy(int drive);

// Refuses names that would leave the extraction directory or that Windows opens as a device
// (CON, NUL, COM1, ... in any component, with any extension) (unsafe_path.cpp).
enum { PATH_SAFE = 0, PATH_LEAVES_FOLDER = 1, PATH_NAMES_DEVICE = 2 };
int is_unsafe_path(const char *name);

// Time stamps (times.cpp).
unsigned getNTfiletime(FILETIME *mod, FILETIME *acc, FILETIME *cre);
void utime2FileTime(time_t t, FILETIME *ft);
time_t UTCtime2Localtime(time_t t);
void NTtzbugWorkaround(time_t t, FILETIME *ft);

// A count one thread raises and another waits on (countwait.cpp). count_waits_ready chooses
// how its waiter sleeps, before the other thread starts: 0 when it cannot.
typedef BOOL(WINAPI *WaitOnAddressFn)(volatile VOID *address, PVOID compare, SIZE_T size,
                                      DWORD milliseconds);
typedef VOID(WINAPI *WakeByAddressFn)(PVOID address);
struct WaitedCount {
    std::atomic<unsigned> value;
    WaitOnAddressFn wait_on_address; // both, or neither: then the event
    WakeByAddressFn wake_by_address;
    HANDLE changed; // made where it is needed, once in the process, and kept
};
int count_waits_ready(WaitedCount *count);
void wait_for_change(WaitedCount *count, unsigned seen); // returns once value != seen
void count_up(WaitedCount *count);                       // value + 1, and the waiter woken

// NT security descriptors (nt_security.cpp). The target volume as the security code sees
// it: seven 32-bit words, then the root the cached answer describes.
struct volume_caps {
    BOOL valid;              // the cached entry is filled
    BOOL deferred;           // in a queued copy: the directory is set after the extraction
    BOOL use_privileges;     // the caller's: security_level above 1
    DWORD fs_flags;          // file-system flags (FS_PERSISTENT_ACLS ...)
    BOOL remote;             // a network drive
    DWORD remote_privileges; // on a network drive: 2 owner, group, DACL and SACL; 4 the SACL
    DWORD file_attributes;   // the caller's: the member's attributes (0x10 for a directory)
    char root_path[WIN_PATH_BUF];
};
// The security blocks of a local extra field for the file or directory (is_dir) at path:
// 0, ZR_EF_MISSING when a block announces a descriptor but holds none, or another failure
// (which callers ignore). A directory is marked by its creator, whatever its attributes say.
int EvalExtraFields(const char *path, const uint8_t *ef, unsigned ef_len, int is_dir);
int SetSD(const char *path, volume_caps *caps, const uint8_t *block, unsigned data_size);
// Sets the descriptor (sd_size bytes, checked first), or queues it for a directory.
int SecuritySet(const char *path, volume_caps *caps, PSECURITY_DESCRIPTOR sd, uint32_t sd_size);
int GetVolumeCaps(const char *root, const char *path, volume_caps *caps);
int GetRemotePrivilegesSet(const char *path, DWORD *privileges);
int DeferSet(const char *path, volume_caps *caps, PSECURITY_DESCRIPTOR sd, uint32_t sd_size);
int ProcessDefer(DWORD *dirs_ok, DWORD *bytes_ok, DWORD *dirs_failed, DWORD *bytes_failed);
int Initialize(void);
void InitLocalPrivileges(void);
// A self-relative descriptor of revision 1 whose owner, group and ACLs lie within size bytes.
int security_descriptor_fits(const uint8_t *sd, uint32_t size);
// EvalExtraFields on the current local extra field, with the message when data is missing.
void apply_member_security(const char *path, int is_dir);

// The security extra block ("SD"), after its block header: the descriptor's size, the
// version of its format (only 0 is handled), then what memextract takes: the method, the
// CRC-32 of the descriptor and its stored or deflated bytes.
enum {
    SD_SIZE_LEN = 4,
    SD_VERSION_LEN = 1,
    MEM_METHOD_LEN = 2,
    MEM_CRC_LEN = 4,
    MEM_BLOCK_FIXED = MEM_METHOD_LEN + MEM_CRC_LEN,            // memextract's, before data
    SD_FIXED = SD_SIZE_LEN + SD_VERSION_LEN + MEM_BLOCK_FIXED, // the block's, before data
    SD_MISSING_REPORT_LESS =
        SD_SIZE_LEN + MEM_METHOD_LEN + MEM_CRC_LEN, // see apply_member_security
};
// Expands a compressed extra-field block (method, CRC-32, data) into target: 0, ZR_ERR for
// damaged data, a bad CRC or data that expand beyond target_size, ZR_MEM_INFLATE. With
// test_only, a bad CRC or an unknown method gives mem_test_detail instead (memextract.cpp).
int memextract(uint8_t *target, uint32_t target_size, const uint8_t *block, uint32_t block_size);

#endif
