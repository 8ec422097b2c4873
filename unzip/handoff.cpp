// The end of a clean run: the extraction log is closed, and the installer program that the
// archive carries is started from the extraction directory without waiting for it. The
// stub's front end hands hand_off to the engine as G.handoff_fn; its inputs are the globals
// below, which the stub's worker sets before the run, and its outcome is
// installerStartError, which the worker reports.
#include <direct.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>
// After windows.h, which they build on.
#include <objbase.h>
#include <shellapi.h>

#include "unzip/unzip.h"

int quietInstall;
int propertiesInstall;
char *installDir;
FILE *logErrors;
uint32_t installerStartError;

const char ExtractLogName[] = "qelpand.log";
static const char InstallFile[] = "installer.exe";
// ERROR_ELEVATION_REQUIRED (Windows Vista and later; the headers for the oldest systems the
// programs are built for leave it out).
static const DWORD ElevationRequired = 740;

void closeExtractLog(void) {
    if (logErrors == NULL) return;
    long size = ftell(logErrors);
    fclose(logErrors);
    logErrors = NULL;
    if (size <= 0) _unlink(ExtractLogName);
}

// The install directory in double quotes: the command line joins the arguments with plain
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

// The installer's command line: the arguments joined by single spaces, as the runtime's
// spawn joined them; NULL when memory is short.
static char *joinArguments(const char *const *argv) {
    size_t size = 1;
    for (const char *const *arg = argv; *arg != NULL; ++arg)
        size += strlen(*arg) + 1;
    char *line = (char *)malloc(size);
    if (line == NULL) return NULL;
    size_t used = 0;
    for (const char *const *arg = argv; *arg != NULL; ++arg) {
        if (arg != argv) line[used++] = ' ';
        size_t len = strlen(*arg);
        memcpy(line + used, *arg, len);
        used += len;
    }
    line[used] = '\0';
    return line;
}

// Through the shell, which asks for the user's consent first: the same program, arguments
// and directory. 0, or the system's error (ERROR_CANCELLED when the user declined).
static DWORD startElevated(const char *parameters) {
    char directory[MAX_PATH + 1], file[MAX_PATH + sizeof InstallFile + 1];
    SHELLEXECUTEINFOA info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    // The start must be done before the call returns (the stub ends right after), and the
    // stub reports a failure itself, in its own language.
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpDirectory = _getcwd(directory, sizeof directory);
    // By its full path: the shell looks a bare name up in other places too.
    info.lpFile = InstallFile;
    if (info.lpDirectory != NULL) {
        snprintf(file, sizeof file, "%s\\%s", directory, InstallFile);
        info.lpFile = file;
    }
    info.lpParameters = parameters;
    info.nShow = SW_SHOWNORMAL;
    // The shell may hand the start to COM extensions; it asks for an apartment first.
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    DWORD error = ShellExecuteExA(&info) ? 0 : GetLastError();
    if (SUCCEEDED(com)) CoUninitialize();
    return error;
}

// A plain start, as the runtime's spawn makes it: the program from the current directory
// (no search), this command line, the inherited environment and directory. Only the stub's
// own handles stay behind. A program that needs elevation (by its manifest, or by Windows'
// installer detection: it is named installer.exe) is refused with ERROR_ELEVATION_REQUIRED
// and is started through the shell instead.
static DWORD startInstaller(char *commandLine) {
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (CreateProcessA(InstallFile, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return 0;
    }
    DWORD error = GetLastError();
    if (error != ElevationRequired) return error;
    const char *parameters = commandLine + strlen(InstallFile);
    return startElevated(*parameters == ' ' ? parameters + 1 : parameters);
}

void hand_off(void) {
    installerStartError = 0;
    closeExtractLog();
    report_status();
    if (_access(InstallFile, 0) != 0) return;

    const char *argv[5];
    int argc = 0;
    char *quoted = NULL;
    argv[argc++] = InstallFile;
    if (quietInstall || propertiesInstall) {
        // Without its directory a quiet installer would install somewhere else.
        if ((quoted = quoteInstallDir()) == NULL) {
            installerStartError = ERROR_NOT_ENOUGH_MEMORY;
            return;
        }
        if (quietInstall) argv[argc++] = "-q";
        if (propertiesInstall) argv[argc++] = "-s";
        argv[argc++] = quoted;
    }
    argv[argc] = NULL;
    report_status();
    char *commandLine = joinArguments(argv);
    installerStartError =
        commandLine != NULL ? startInstaller(commandLine) : (DWORD)ERROR_NOT_ENOUGH_MEMORY;
    free(commandLine);
    free(quoted);
}
