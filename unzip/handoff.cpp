// The end of a clean run: the extraction log is closed, and the installer program that the
// archive carries is started from the extraction directory without waiting for it. The
// stub's front end hands hand_off to the engine as G.handoff_fn; its inputs are the globals
// below, which the stub's worker sets before the run.
#include <io.h>
#include <process.h>
#include <stdlib.h>
#include <string.h>

#include "unzip/unzip.h"

int quietInstall;
int propertiesInstall;
char *installDir;
FILE *logErrors;

const char ExtractLogName[] = "qelpand.log";
static const char InstallFile[] = "installer.exe";

void closeExtractLog(void) {
    if (logErrors == NULL) return;
    long size = ftell(logErrors);
    fclose(logErrors);
    logErrors = NULL;
    if (size <= 0) _unlink(ExtractLogName);
}

// The install directory in double quotes: the runtime joins spawn arguments with plain
// spaces, so a directory with spaces would otherwise reach the installer in pieces. Trailing
// backslashes are doubled, since the installer's runtime reads backslashes before a quote
// in pairs: "C:\Apps\" would otherwise arrive as C:\Apps" with a stray quote.
static char *quoteInstallDir(void) {
    const char *dir = installDir != NULL ? installDir : "";
    size_t len = strlen(dir), trailing = 0;
    while (trailing < len && dir[len - 1 - trailing] == '\\')
        trailing++;
    char *quoted = (char *)malloc(len + trailing + 3);
    if (quoted == NULL) return NULL;
    quoted[0] = '"';
    memcpy(quoted + 1, dir, len);
    memset(quoted + 1 + len, '\\', trailing);
    quoted[len + trailing + 1] = '"';
    quoted[len + trailing + 2] = '\0';
    return quoted;
}

void hand_off(void) {
    closeExtractLog();
    report_status();
    if (_access(InstallFile, 0) != 0) return;

    const char *argv[5];
    int argc = 0;
    char *quoted = NULL;
    argv[argc++] = InstallFile;
    if (quietInstall || propertiesInstall) {
        // Without its directory a quiet installer would install somewhere else.
        if ((quoted = quoteInstallDir()) == NULL) return;
        if (quietInstall) argv[argc++] = "-q";
        if (propertiesInstall) argv[argc++] = "-s";
        argv[argc++] = quoted;
    }
    argv[argc] = NULL;
    report_status();
    _spawnv(_P_NOWAIT, InstallFile, argv); // not checked: a failed start is not reported
    free(quoted);
}
