// What a path names (see pathinfo.h).
#include <io.h>
#include <sys/stat.h>

#include "common/pathinfo.h"

int exists(const char *path) {
    return _access(path, 0) == 0;
}

int isDir(const char *path) {
    struct _stati64 st;
    if (!exists(path) || _stati64(path, &st) != 0) return 0;
    return (st.st_mode & _S_IFDIR) != 0;
}
