// Host stand-in for the Windows runtime library's low-level file functions (<io.h>).
// Paths may use "\" as on Windows; the stand-in reads it as a separator.
#ifndef COMPAT_IO_H
#define COMPAT_IO_H

#include <fcntl.h>
#include <stdint.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#define _O_RDONLY O_RDONLY
#define _O_WRONLY O_WRONLY
#define _O_CREAT O_CREAT
#define _O_EXCL O_EXCL
#define _O_BINARY 0
#define _O_TEXT 0
#define O_BINARY 0
#define _S_IREAD 0400
#define _S_IWRITE 0200
#define _S_IFDIR S_IFDIR
#define _S_IFMT S_IFMT

// The times are timespecs because glibc's <sys/stat.h> maps st_mtime to st_mtim.tv_sec.
struct _stati64 {
    unsigned st_mode;
    int64_t st_size;
    struct timespec st_atim, st_mtim, st_ctim;
};

struct _finddata_t {
    unsigned attrib;
    int64_t time_create, time_access, time_write;
    uint32_t size;
    char name[260];
};

#define _A_RDONLY 0x01
#define _A_SUBDIR 0x10

int _access(const char *path, int mode);
int _stati64(const char *path, struct _stati64 *st);
int _chmod(const char *path, int mode);
int _unlink(const char *path);
int _open(const char *path, int flags, ...);
int _read(int fd, void *buf, unsigned size);
int _write(int fd, const void *buf, unsigned size);
int64_t _lseeki64(int fd, int64_t offset, int origin);
int _close(int fd);
int _setmode(int fd, int mode);
int _isatty(int fd);
// The Windows handle behind a descriptor (INVALID_HANDLE_VALUE for none); not to be closed.
intptr_t _get_osfhandle(int fd);
intptr_t _findfirst(const char *pattern, struct _finddata_t *data);
int _findnext(intptr_t handle, struct _finddata_t *data);
int _findclose(intptr_t handle);

#endif
