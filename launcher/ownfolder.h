// The folder of the launcher's own executable, where an application may ship its runtime.
#ifndef LAUNCHER_OWNFOLDER_H
#define LAUNCHER_OWNFOLDER_H

#include <stddef.h>

// The folder without a trailing backslash into out (size bytes); 1 when it was had whole.
int getLauncherFolder(char *out, size_t size);

#endif
