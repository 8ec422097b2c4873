// The launcher's own folder (see ownfolder.h).
#include <string.h>
#include <windows.h>

#include "launcher/ownfolder.h"

// A path that fills the buffer may have been cut, so it counts as not had.
int getLauncherFolder(char *out, size_t size) {
    if (size == 0) return 0;
    DWORD len = GetModuleFileNameA(NULL, out, (DWORD)size);
    char *slash = len > 0 && len < size ? strrchr(out, '\\') : NULL;
    if (slash == NULL) {
        out[0] = '\0';
        return 0;
    }
    *slash = '\0';
    return 1;
}
