// Host stand-in for the runtime library's file and directory calls (<io.h>, <direct.h>, fopen)
// and kernel32's file handles, times and attributes; tests read attributes back with attributesOf
// and the names fopen took for devices with deviceOpens.
#include "compat_paths.h"
#include "control.h"
#include <direct.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#undef fopen // the real ones are called below
#undef fileno

namespace {

constexpr DWORD kErrorInvalidHandle = 6;
constexpr DWORD kInvalidFileAttributes = 0xFFFFFFFF;
constexpr unsigned kAttrArchive = 0x20;
// 100-ns intervals between 1601-01-01 (FILETIME epoch) and 1970-01-01.
constexpr int64_t kUnixEpochAsFileTime = 116444736000000000LL;
constexpr int64_t kTicksPerSecond = 10000000;

thread_local DWORD lastError = 0;

// Records of what the code asked for that the host file system cannot keep.
std::mutex recordsLock;
// Creation times by file (device and inode), whichever name or handle set them.
std::map<std::pair<dev_t, ino_t>, FILETIME> creationTimes;
std::map<std::string, int> attributeBytes;
std::vector<std::string> deviceOpenPaths;
// Files (device and inode) that setInUse marked: a running program's, which Windows keeps.
std::set<std::pair<dev_t, ino_t>> inUseFiles;
// Files with a stream open for writing, while setCloseDelay's model is on: Windows keeps
// them too.
std::multiset<std::pair<dev_t, ino_t>> openForWriting;
// The streams the models wrap, and the host streams they write to.
std::map<FILE *, FILE *> modelledStreams;

// The failing medium (failReadsAt) and the full disk (setDiskRoom).
int64_t readFailsAt = -1;
bool seeksFail = false;
int readsSpared = 0;
int64_t diskRoom = -1;
unsigned closeDelay = 0; // microseconds; 0: streams close as the host's do

// Heap object behind a file HANDLE; the magic tells it from other handles and from garbage.
struct FileHandle {
    static constexpr uint32_t kMagic = 0x46494C45; // "FILE"
    uint32_t magic;
    std::string path;
};

// The handles _get_osfhandle gave out, one per descriptor, owned here as the runtime
// library owns its handles.
std::map<int, FileHandle> descriptorHandles;

// Entries of one _findfirst listing, served one by one through _findnext.
struct FindList {
    std::vector<_finddata_t> entries;
    size_t next;
};

DWORD errorFromErrno(int e) {
    switch (e) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

int64_t fileTimeToTicks(const FILETIME &ft) {
    return (int64_t)(((uint64_t)ft.dwHighDateTime << 32) | ft.dwLowDateTime);
}

FILETIME ticksToFileTime(int64_t ticks) {
    FILETIME ft;
    ft.dwLowDateTime = (DWORD)((uint64_t)ticks & 0xFFFFFFFFu);
    ft.dwHighDateTime = (DWORD)((uint64_t)ticks >> 32);
    return ft;
}

timespec fileTimeToTimespec(const FILETIME &ft) {
    int64_t ticks = fileTimeToTicks(ft) - kUnixEpochAsFileTime;
    int64_t sec = ticks / kTicksPerSecond, rest = ticks % kTicksPerSecond;
    if (rest < 0) { // floor division, so times before 1970 keep a positive nanosecond part
        --sec;
        rest += kTicksPerSecond;
    }
    timespec ts;
    ts.tv_sec = (time_t)sec;
    ts.tv_nsec = (long)(rest * 100);
    return ts;
}

FILETIME timespecToFileTime(const timespec &ts) {
    return ticksToFileTime((int64_t)ts.tv_sec * kTicksPerSecond + ts.tv_nsec / 100 +
                           kUnixEpochAsFileTime);
}

bool isWritable(const struct stat &st) {
    return (st.st_mode & S_IWUSR) != 0;
}

// Windows wildcard match: '*' any run, '?' one character, letters compared without case.
bool wildMatch(const char *pattern, const char *name) {
    const char *starPattern = nullptr, *starName = nullptr;
    while (*name) {
        if (*pattern == '*') {
            starPattern = ++pattern;
            starName = name;
        } else if (*pattern == '?' || (*pattern && tolower((unsigned char)*pattern) ==
                                                       tolower((unsigned char)*name))) {
            ++pattern;
            ++name;
        } else if (starPattern) {
            pattern = starPattern;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

// A pattern ending in ".*" also matches names without an extension, as on Windows ("*.*"
// lists everything).
bool findMatch(const std::string &pattern, const char *name) {
    if (wildMatch(pattern.c_str(), name)) return true;
    size_t n = pattern.size();
    return n >= 2 && pattern.compare(n - 2, 2, ".*") == 0 &&
           wildMatch(pattern.substr(0, n - 2).c_str(), name);
}

// A symbolic link stands for what Windows calls a reparse point (a junction or a link): the
// entry carries FILE_ATTRIBUTE_REPARSE_POINT, with the directory bit when it leads to one.
DWORD linkAttributes(const std::string &path) {
    struct stat target;
    bool toDir = stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
    return FILE_ATTRIBUTE_REPARSE_POINT | (toDir ? FILE_ATTRIBUTE_DIRECTORY : 0);
}

bool fillFindData(const std::string &dir, const char *name, _finddata_t *data) {
    std::string path = dir + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return false;
    if (S_ISLNK(st.st_mode))
        data->attrib = linkAttributes(path);
    else
        data->attrib = S_ISDIR(st.st_mode) ? _A_SUBDIR : kAttrArchive;
    if (!S_ISLNK(st.st_mode) && !isWritable(st)) data->attrib |= FILE_ATTRIBUTE_READONLY;
    data->time_create = st.st_ctim.tv_sec;
    data->time_access = st.st_atim.tv_sec;
    data->time_write = st.st_mtim.tv_sec;
    data->size = (uint32_t)st.st_size;
    snprintf(data->name, sizeof data->name, "%s", name);
    return true;
}

bool isDotEntry(const char *name) {
    return !strcmp(name, ".") || !strcmp(name, "..");
}

bool isSuperscriptDigit(char c) {
    WCHAR wide;
    return (unsigned char)c >= 0x80 && MultiByteToWideChar(CP_ACP, 0, &c, 1, &wide, 1) == 1 &&
           (wide == 0xB9 || wide == 0xB2 || wide == 0xB3);
}

// Windows opens a file name whose base (up to the first dot, trailing spaces dropped) is a
// device name as that device, in whatever folder: bytes written to "lib\NUL.dll" vanish,
// those written to "COM1.log" go to a serial port. Superscript digits count for COM and LPT.
bool namesDevice(const char *path) {
    const char *name = path;
    for (const char *p = path; *p; ++p)
        if (*p == '/' || *p == '\\') name = p + 1;
    std::string base(name, strcspn(name, "."));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    for (char &c : base)
        c = (char)toupper((unsigned char)c);
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0))
        return (base[3] >= '1' && base[3] <= '9') || isSuperscriptDigit(base[3]);
    return base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
           base == "CONOUT$";
}

FileHandle *fileHandle(HANDLE handle) {
    FileHandle *f = (FileHandle *)handle;
    if (!f || handle == INVALID_HANDLE_VALUE || f->magic != FileHandle::kMagic) return nullptr;
    return f;
}

} // namespace

namespace compat {
namespace detail {

void recordCall(const ApiCall &call);  // security.cpp
bool closeKernelObject(HANDLE handle); // security.cpp: a mutex or token handle
bool closeWaitable(HANDLE handle);     // threads.cpp: an event or a thread

std::string handlePath(HANDLE handle) {
    FileHandle *f = fileHandle(handle);
    return f ? f->path : std::string();
}

// "\" is the Windows separator; the host reads it as "/". Drive letters stay as they are.
std::string hostPath(const char *path) {
    std::string p = path ? path : "";
    std::replace(p.begin(), p.end(), '\\', '/');
    return p;
}

void resetFiles() {
    std::lock_guard<std::mutex> hold(recordsLock);
    creationTimes.clear();
    attributeBytes.clear();
    deviceOpenPaths.clear();
    inUseFiles.clear();
    lastError = 0;
    readFailsAt = -1;
    seeksFail = false;
    readsSpared = 0;
    diskRoom = -1;
    closeDelay = 0;
}

} // namespace detail

void failReadsAt(int64_t at, bool seeks, int spared) {
    std::lock_guard<std::mutex> hold(recordsLock);
    readFailsAt = at;
    seeksFail = seeks;
    readsSpared = spared;
}

void setDiskRoom(int64_t bytes) {
    std::lock_guard<std::mutex> hold(recordsLock);
    diskRoom = bytes;
}

void setCloseDelay(unsigned microseconds) {
    std::lock_guard<std::mutex> hold(recordsLock);
    closeDelay = microseconds;
}

int openWrittenFiles() {
    std::lock_guard<std::mutex> hold(recordsLock);
    return (int)openForWriting.size();
}

const std::vector<std::string> &deviceOpens() {
    return deviceOpenPaths;
}

void setInUse(const char *path) {
    struct stat st;
    if (lstat(detail::hostPath(path).c_str(), &st) != 0) return;
    std::lock_guard<std::mutex> hold(recordsLock);
    inUseFiles.insert({st.st_dev, st.st_ino});
}

int attributesOf(const char *path) {
    std::lock_guard<std::mutex> hold(recordsLock);
    auto it = attributeBytes.find(detail::hostPath(path));
    return it == attributeBytes.end() ? -1 : it->second;
}

} // namespace compat

using compat::detail::hostPath;

// A device name is opened as Windows would open it, as a device: the open is recorded and
// the bytes go nowhere (fopen and _open).
static bool opensDevice(const char *path) {
    if (!path || !namesDevice(path)) return false;
    std::lock_guard<std::mutex> hold(recordsLock);
    deviceOpenPaths.push_back(path);
    return true;
}

// A call that reaches the failing byte fails, unless it is one of those still spared.
static bool mediumFails(bool reaches) {
    std::lock_guard<std::mutex> hold(recordsLock);
    if (readFailsAt < 0 || !reaches) return false;
    if (readsSpared > 0) {
        readsSpared--;
        return false;
    }
    errno = EIO;
    return true;
}

// A stream opened for writing while a test models the disk (setDiskRoom) or the close
// (setCloseDelay).
struct WrittenStream {
    FILE *real, *outer;
    std::pair<dev_t, ino_t> file;
    bool counted; // in openForWriting
};

// Writes while the disk's room is limited: what fits is written, then the write fails as a
// full disk does. (Answering 0 instead of -1 would make stdio retry forever.)
static ssize_t writeToModelledDisk(void *cookie, const char *buf, size_t size) {
    size_t n = size;
    {
        std::lock_guard<std::mutex> hold(recordsLock);
        if (diskRoom >= 0 && (int64_t)n > diskRoom) n = (size_t)diskRoom;
        if (n == 0 && size > 0) {
            errno = ENOSPC;
            return -1;
        }
        if (diskRoom >= 0) diskRoom -= (int64_t)n;
    }
    return (ssize_t)fwrite(buf, 1, n, ((WrittenStream *)cookie)->real);
}

// The close waits as a virus scanner's check of the written file makes it wait on Windows.
static int closeModelledStream(void *cookie) {
    WrittenStream *w = (WrittenStream *)cookie;
    unsigned delay;
    {
        std::lock_guard<std::mutex> hold(recordsLock);
        delay = closeDelay;
    }
    if (delay > 0) std::this_thread::sleep_for(std::chrono::microseconds(delay));
    int r = fclose(w->real);
    {
        std::lock_guard<std::mutex> hold(recordsLock);
        if (w->counted) openForWriting.erase(openForWriting.find(w->file));
        modelledStreams.erase(w->outer);
    }
    delete w;
    return r;
}

// Streams opened for writing go through the models once a test has set one.
static FILE *onDisk(FILE *real, const char *mode) {
    bool modelled, counted;
    {
        std::lock_guard<std::mutex> hold(recordsLock);
        counted = closeDelay > 0;
        modelled = diskRoom >= 0 || counted;
    }
    if (real == NULL || !modelled || !strpbrk(mode, "wa+")) return real;
    struct stat st;
    counted = counted && fstat(fileno(real), &st) == 0;
    WrittenStream *w = new WrittenStream{real, NULL, {}, counted};
    if (counted) {
        w->file = {st.st_dev, st.st_ino};
        std::lock_guard<std::mutex> hold(recordsLock);
        openForWriting.insert(w->file);
    }
    cookie_io_functions_t io = {NULL, writeToModelledDisk, NULL, closeModelledStream};
    FILE *f = fopencookie(w, mode, io);
    if (f == NULL) {
        closeModelledStream(w);
        return NULL;
    }
    std::lock_guard<std::mutex> hold(recordsLock);
    w->outer = f;
    modelledStreams[f] = real;
    return f;
}

int compat_fileno(FILE *stream) {
    std::unique_lock<std::mutex> hold(recordsLock);
    auto it = modelledStreams.find(stream);
    FILE *real = it == modelledStreams.end() ? stream : it->second;
    hold.unlock();
    return fileno(real);
}

FILE *compat_fopen(const char *path, const char *mode) {
    if (opensDevice(path)) return fopen("/dev/null", mode);
    return onDisk(fopen(hostPath(path).c_str(), mode), mode);
}

FILE *compat_fdopen(int fd, const char *mode) {
    return onDisk(fdopen(fd, mode), mode);
}

DWORD GetLastError(void) {
    return lastError;
}
void SetLastError(DWORD code) {
    lastError = code;
}

// ---- <io.h> ----

// Windows knows only the read-only attribute: every existing file is readable, and it is
// writable unless read-only. Checking the permission bit (not access()) keeps that true
// for tests that run as root.
int _access(const char *path, int mode) {
    struct stat st;
    if (stat(hostPath(path).c_str(), &st) != 0) return -1;
    if ((mode & 2) && !isWritable(st)) {
        errno = EACCES;
        return -1;
    }
    return 0;
}

int _stati64(const char *path, struct _stati64 *out) {
    compat::detail::recordCall({"_stati64", hostPath(path), 0, 0, 0});
    struct stat st;
    if (stat(hostPath(path).c_str(), &st) != 0) return -1;
    out->st_mode = (S_ISDIR(st.st_mode) ? S_IFDIR : S_IFREG) | (st.st_mode & 0777);
    out->st_size = st.st_size;
    out->st_atim = st.st_atim;
    out->st_mtim = st.st_mtim;
    out->st_ctim = st.st_ctim;
    return 0;
}

int _chmod(const char *path, int mode) {
    std::string p = hostPath(path);
    struct stat st;
    if (stat(p.c_str(), &st) != 0) return -1;
    mode_t bits = st.st_mode & 07777;
    bits = (mode & _S_IWRITE) ? (bits | S_IWUSR) : (bits & ~(mode_t)0222);
    return chmod(p.c_str(), bits);
}

static bool isInUse(const struct stat &st) {
    std::lock_guard<std::mutex> hold(recordsLock);
    return inUseFiles.count({st.st_dev, st.st_ino}) != 0 ||
           openForWriting.count({st.st_dev, st.st_ino}) != 0;
}

// Windows refuses to delete a read-only file and a file in use; a link goes as itself.
int _unlink(const char *path) {
    std::string p = hostPath(path);
    struct stat st;
    if (lstat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (!isWritable(st) || isInUse(st))) {
        errno = EACCES;
        return -1;
    }
    return unlink(p.c_str());
}

int _open(const char *path, int flags, ...) {
    compat::detail::recordCall({"_open", hostPath(path), 0, (DWORD)flags, 0});
    mode_t mode = 0;
    if (flags & O_CREAT) {
        va_list args;
        va_start(args, flags);
        int windowsMode = va_arg(args, int);
        va_end(args);
        mode = (windowsMode & _S_IWRITE) ? 0666 : 0444;
    }
    if (opensDevice(path)) return open("/dev/null", flags & ~(O_CREAT | O_EXCL));
    return open(hostPath(path).c_str(), flags, mode);
}

int _read(int fd, void *buf, unsigned size) {
    int64_t at = lseek(fd, 0, SEEK_CUR);
    if (mediumFails(at >= 0 && at <= readFailsAt && readFailsAt < at + (int64_t)size)) return -1;
    return (int)read(fd, buf, size);
}
int _write(int fd, const void *buf, unsigned size) {
    return (int)write(fd, buf, size);
}

static_assert(sizeof(off_t) == 8, "_lseeki64 needs a 64-bit off_t");
int64_t _lseeki64(int fd, int64_t offset, int origin) {
    if (seeksFail && mediumFails(origin == SEEK_SET && offset >= readFailsAt)) return -1;
    return lseek(fd, offset, origin);
}

int _close(int fd) {
    return close(fd);
}

// Text and binary mode are the same on the host; report binary as the previous mode.
int _setmode(int fd, int) {
    return fcntl(fd, F_GETFD) == -1 ? -1 : _O_BINARY;
}

int _isatty(int fd) {
    return isatty(fd);
}

// Lists the whole directory up front, "." and ".." first as on NTFS, the rest by name.
intptr_t _findfirst(const char *pattern, struct _finddata_t *data) {
    std::string p = hostPath(pattern);
    size_t slash = p.rfind('/');
    std::string dir = slash == std::string::npos ? "." : p.substr(0, slash);
    std::string namePattern = slash == std::string::npos ? p : p.substr(slash + 1);
    if (dir.empty()) dir = "/";

    DIR *d = opendir(dir.c_str());
    if (!d) {
        errno = ENOENT;
        return -1;
    }
    FindList *list = new FindList{{}, 0};
    while (dirent *e = readdir(d)) {
        _finddata_t entry;
        if (findMatch(namePattern, e->d_name) && fillFindData(dir, e->d_name, &entry))
            list->entries.push_back(entry);
    }
    closedir(d);
    std::sort(list->entries.begin(), list->entries.end(),
              [](const _finddata_t &a, const _finddata_t &b) {
                  bool dotA = isDotEntry(a.name), dotB = isDotEntry(b.name);
                  if (dotA != dotB) return dotA;
                  return strcasecmp(a.name, b.name) < 0;
              });
    if (list->entries.empty()) {
        delete list;
        errno = ENOENT;
        return -1;
    }
    *data = list->entries[0];
    list->next = 1;
    return (intptr_t)list;
}

int _findnext(intptr_t handle, struct _finddata_t *data) {
    if (handle == -1 || handle == 0) {
        errno = EINVAL;
        return -1;
    }
    FindList *list = (FindList *)handle;
    if (list->next >= list->entries.size()) {
        errno = ENOENT;
        return -1;
    }
    *data = list->entries[list->next++];
    return 0;
}

int _findclose(intptr_t handle) {
    if (handle == -1 || handle == 0) {
        errno = EINVAL;
        return -1;
    }
    delete (FindList *)handle;
    return 0;
}

// The handle of a descriptor names the file it reaches as /proc tells it: a file deleted
// meanwhile is named "... (deleted)", so that calls through the handle fail as they would by
// the file's name.
intptr_t _get_osfhandle(int fd) {
    char link[64], target[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, target, sizeof target - 1);
    if (n < 0) {
        errno = EBADF;
        return (intptr_t)INVALID_HANDLE_VALUE;
    }
    target[n] = '\0';
    std::lock_guard<std::mutex> hold(recordsLock);
    FileHandle &handle = descriptorHandles[fd]; // map nodes stay where they are
    handle.magic = FileHandle::kMagic;
    handle.path = target;
    return (intptr_t)&handle;
}

// ---- <direct.h> ----

int _mkdir(const char *path) {
    compat::detail::recordCall({"_mkdir", hostPath(path), 0, 0, 0});
    return mkdir(hostPath(path).c_str(), 0777);
}
int _rmdir(const char *path) {
    return rmdir(hostPath(path).c_str());
}
int _chdir(const char *path) {
    return chdir(hostPath(path).c_str());
}

// A null buffer is allocated with malloc, at least size bytes, as the runtime library does.
char *_getcwd(char *buf, int size) {
    if (buf) return getcwd(buf, (size_t)(size > 0 ? size : 0));
    char *cwd = getcwd(nullptr, 0);
    if (!cwd || size <= 0 || strlen(cwd) < (size_t)size) return cwd;
    errno = ERANGE;
    free(cwd);
    return nullptr;
}

// ---- kernel32 files ----

// Only opening an existing file or directory is needed; the handle just remembers the path.
// A directory opens only with FILE_FLAG_BACKUP_SEMANTICS, as on Windows.
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE) {
    std::string p = hostPath(path);
    compat::detail::recordCall({"CreateFileA", p, access, flags, 0});
    struct stat st;
    if (disposition != OPEN_EXISTING || stat(p.c_str(), &st) != 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if ((access & GENERIC_WRITE) && S_ISREG(st.st_mode) && !isWritable(st)) {
        SetLastError(ERROR_ACCESS_DENIED); // a read-only file refuses write access
        return INVALID_HANDLE_VALUE;
    }
    if (S_ISDIR(st.st_mode) && !(flags & FILE_FLAG_BACKUP_SEMANTICS)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return new FileHandle{FileHandle::kMagic, p};
}

BOOL CloseHandle(HANDLE handle) {
    if (compat::detail::closeKernelObject(handle) || compat::detail::closeWaitable(handle))
        return TRUE;
    FileHandle *f = fileHandle(handle);
    if (!f) {
        SetLastError(kErrorInvalidHandle);
        return FALSE;
    }
    f->magic = 0;
    delete f;
    return TRUE;
}

// The host keeps no creation time, so it is remembered per path for GetFileTime.
BOOL SetFileTime(HANDLE file, const FILETIME *creation, const FILETIME *access,
                 const FILETIME *modification) {
    FileHandle *f = fileHandle(file);
    if (!f) {
        SetLastError(kErrorInvalidHandle);
        return FALSE;
    }
    timespec times[2];
    times[0].tv_nsec = times[1].tv_nsec = UTIME_OMIT;
    if (access) times[0] = fileTimeToTimespec(*access);
    if (modification) times[1] = fileTimeToTimespec(*modification);
    struct stat st;
    if (utimensat(AT_FDCWD, f->path.c_str(), times, 0) != 0 || stat(f->path.c_str(), &st) != 0) {
        SetLastError(errorFromErrno(errno));
        return FALSE;
    }
    if (creation) {
        std::lock_guard<std::mutex> hold(recordsLock);
        creationTimes[{st.st_dev, st.st_ino}] = *creation;
    }
    return TRUE;
}

BOOL GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME access, LPFILETIME modification) {
    FileHandle *f = fileHandle(file);
    struct stat st;
    if (!f) {
        SetLastError(kErrorInvalidHandle);
        return FALSE;
    }
    if (stat(f->path.c_str(), &st) != 0) {
        SetLastError(errorFromErrno(errno));
        return FALSE;
    }
    if (access) *access = timespecToFileTime(st.st_atim);
    if (modification) *modification = timespecToFileTime(st.st_mtim);
    if (creation) {
        std::lock_guard<std::mutex> hold(recordsLock);
        auto it = creationTimes.find({st.st_dev, st.st_ino});
        *creation = it != creationTimes.end() ? it->second : timespecToFileTime(st.st_ctim);
    }
    return TRUE;
}

// Read-only is the one attribute the host can express, as missing write permission.
BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) {
    std::string p = hostPath(path);
    struct stat st;
    if (stat(p.c_str(), &st) != 0) {
        SetLastError(errorFromErrno(errno));
        return FALSE;
    }
    mode_t bits = st.st_mode & 07777;
    bits = (attributes & FILE_ATTRIBUTE_READONLY) ? (bits & ~(mode_t)0222) : (bits | S_IWUSR);
    if (chmod(p.c_str(), bits) != 0) {
        SetLastError(errorFromErrno(errno));
        return FALSE;
    }
    std::lock_guard<std::mutex> hold(recordsLock);
    attributeBytes[p] = (int)(attributes & 0xFF);
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR path) {
    std::string p = hostPath(path);
    struct stat st;
    if (lstat(p.c_str(), &st) != 0) {
        SetLastError(errorFromErrno(errno));
        return kInvalidFileAttributes;
    }
    if (S_ISLNK(st.st_mode)) return linkAttributes(p);
    // A freshly written file has the archive bit; a directory only its own bit.
    DWORD attributes = S_ISDIR(st.st_mode) ? 0 : kAttrArchive;
    {
        std::lock_guard<std::mutex> hold(recordsLock);
        auto it = attributeBytes.find(p);
        if (it != attributeBytes.end())
            attributes =
                (DWORD)it->second & ~(DWORD)(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY |
                                             FILE_ATTRIBUTE_NORMAL);
    }
    if (S_ISDIR(st.st_mode))
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    else if (!isWritable(st))
        attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

static BOOL failWith(DWORD error) {
    SetLastError(error);
    return FALSE;
}

BOOL DeleteFileA(LPCSTR path) {
    struct stat st;
    if (lstat(hostPath(path).c_str(), &st) != 0) return failWith(errorFromErrno(errno));
    if (S_ISDIR(st.st_mode)) return failWith(ERROR_ACCESS_DENIED);
    return _unlink(path) == 0 ? TRUE : failWith(errorFromErrno(errno));
}

// An empty directory, or a link to a directory, which goes as itself and leaves its target.
BOOL RemoveDirectoryA(LPCSTR path) {
    std::string p = hostPath(path);
    struct stat st;
    if (lstat(p.c_str(), &st) != 0) return failWith(errorFromErrno(errno));
    if (!S_ISLNK(st.st_mode)) return rmdir(p.c_str()) == 0 ? TRUE : failWith(errorFromErrno(errno));
    if (!(linkAttributes(p) & FILE_ATTRIBUTE_DIRECTORY)) return failWith(ERROR_PATH_NOT_FOUND);
    return unlink(p.c_str()) == 0 ? TRUE : failWith(errorFromErrno(errno));
}

// The listing of _findfirst under kernel32's names; the handle is the same list.
static void toFindData(const _finddata_t &entry, WIN32_FIND_DATAA *data) {
    memset(data, 0, sizeof *data);
    data->dwFileAttributes = entry.attrib ? entry.attrib : FILE_ATTRIBUTE_NORMAL;
    data->nFileSizeLow = entry.size;
    snprintf(data->cFileName, sizeof data->cFileName, "%s", entry.name);
}

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA *data) {
    _finddata_t entry;
    intptr_t list = _findfirst(pattern, &entry);
    if (list == -1) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    toFindData(entry, data);
    return (HANDLE)list;
}

BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA *data) {
    _finddata_t entry;
    if (_findnext((intptr_t)find, &entry) != 0) return failWith(ERROR_NO_MORE_FILES);
    toFindData(entry, data);
    return TRUE;
}

BOOL FindClose(HANDLE find) {
    return _findclose((intptr_t)find) == 0;
}
