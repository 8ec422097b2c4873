// Host stand-in for the Windows runtime library's thread and process start (<process.h>).
#ifndef COMPAT_PROCESS_H
#define COMPAT_PROCESS_H

#include <stdint.h>

#define _P_WAIT 0
#define _P_NOWAIT 1

uintptr_t _beginthread(void (*start)(void *), unsigned stackSize, void *arg);
void _endthread(void);
// The handle is waited for with WaitForSingleObject and closed with CloseHandle.
uintptr_t _beginthreadex(void *security, unsigned stackSize, unsigned (*start)(void *), void *arg,
                         unsigned flags, unsigned *threadId);
intptr_t _spawnv(int mode, const char *path, const char *const *argv);

#endif
