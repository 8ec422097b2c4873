// Host stand-in for the Windows runtime library's directory functions (<direct.h>).
#ifndef COMPAT_DIRECT_H
#define COMPAT_DIRECT_H

int _mkdir(const char *path);
int _rmdir(const char *path);
int _chdir(const char *path);
char *_getcwd(char *buf, int size);

#endif
