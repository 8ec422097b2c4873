// What a path names, asked the same way in both programs.
#ifndef COMMON_PATHINFO_H
#define COMMON_PATHINFO_H

int exists(const char *path); // a file or directory of that name
int isDir(const char *path);  // a directory of that name

#endif
