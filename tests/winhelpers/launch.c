/* launch.exe: start one program under test exactly as a test describes it, wait, report.
 *
 * Wine rebuilds the Windows command line from the Unix arguments (re-quoting them) and fills
 * TEMP, TMP and temp from its registry whatever the Unix environment says. Neither suits a
 * test that must control the command-line tail byte for byte and decide which temporary
 * directories a program sees, so everything arrives here in environment variables instead:
 *
 *   LAUNCH_CMDLINE     exact command line handed to CreateProcessA (required)
 *   LAUNCH_DIR         working directory of the program (default: inherited)
 *   LAUNCH_ENV         environment edits, one per line: "NAME=value" sets, "NAME" removes
 *                      (in wide characters: a value may lie outside the ANSI code page)
 *   LAUNCH_STDOUT      file that receives the program's standard output (default: none)
 *   LAUNCH_STDERR      file that receives the program's standard error (default: none)
 *   LAUNCH_TIMEOUT_MS  end the program after this many milliseconds (default: wait forever)
 *   LAUNCH_REPORT      file that receives one line: "exit N", "timeout" or "error WHAT N"
 *
 * The LAUNCH_ variables themselves are removed before the start, so the program sees only the
 * inherited environment plus the edits. Output goes to files because Wine and pipes to the Unix
 * side do not mix well (the wineserver may keep a pipe open after the program ended).
 *
 * Exit code: the program's own exit code; 255 when it could not be started or timed out. The
 * report file tells these cases apart.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

enum { EXIT_HELPER_FAILED = 255 };

static char reportPath[MAX_PATH];

static void report(const char *line) {
    FILE *f;
    if (!reportPath[0]) return;
    f = fopen(reportPath, "wb");
    if (!f) return;
    fputs(line, f);
    fputs("\n", f);
    fclose(f);
}

static int fail(const char *what) {
    char line[200];
    snprintf(line, sizeof line, "error %s %lu", what, (unsigned long)GetLastError());
    fprintf(stderr, "launch: %s\n", line);
    report(line);
    return EXIT_HELPER_FAILED;
}

/* Copies a variable into a fresh heap string ("" when absent); NULL only when out of memory. */
static char *takeVariable(const char *name) {
    DWORD size = GetEnvironmentVariableA(name, NULL, 0);
    char *value = (char *)malloc(size ? size : 1);
    if (!value) return NULL;
    value[0] = '\0';
    if (size) GetEnvironmentVariableA(name, value, size);
    return value;
}

/* The same in wide characters: environment values may hold names that the ANSI code page
 * cannot spell (a TEMP folder named in Chinese). */
static wchar_t *takeWideVariable(const wchar_t *name) {
    DWORD size = GetEnvironmentVariableW(name, NULL, 0);
    wchar_t *value = (wchar_t *)malloc((size ? size : 1) * sizeof(wchar_t));
    if (!value) return NULL;
    value[0] = 0;
    if (size) GetEnvironmentVariableW(name, value, size);
    return value;
}

/* Applies "NAME=value" and "NAME" lines; a CR before the line end is ignored. */
static int applyEnvironmentEdits(wchar_t *edits) {
    wchar_t *line = edits;
    while (line && *line) {
        wchar_t *next = wcschr(line, L'\n');
        wchar_t *equals;
        size_t len;
        if (next) *next++ = 0;
        len = wcslen(line);
        if (len && line[len - 1] == L'\r') line[len - 1] = 0;
        /* A leading '=' belongs to the name (Windows keeps "=C:" style entries). */
        equals = line[0] ? wcschr(line + 1, L'=') : NULL;
        if (equals) {
            *equals = 0;
            if (!SetEnvironmentVariableW(line, equals + 1)) return 0;
        } else if (line[0]) {
            SetEnvironmentVariableW(line, NULL); /* removing an absent variable is fine */
        }
        line = next;
    }
    return 1;
}

/* An inheritable handle on a file created for writing, or INVALID_HANDLE_VALUE. */
static HANDLE createOutput(const char *path) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, NULL, TRUE};
    return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

int main(void) {
    static const char *const own[] = {"LAUNCH_CMDLINE", "LAUNCH_DIR",    "LAUNCH_ENV",
                                      "LAUNCH_STDOUT",  "LAUNCH_STDERR", "LAUNCH_TIMEOUT_MS",
                                      "LAUNCH_REPORT"};
    char *cmdline = takeVariable("LAUNCH_CMDLINE");
    char *dir = takeVariable("LAUNCH_DIR");
    wchar_t *edits = takeWideVariable(L"LAUNCH_ENV");
    char *outPath = takeVariable("LAUNCH_STDOUT");
    char *errPath = takeVariable("LAUNCH_STDERR");
    char *timeoutText = takeVariable("LAUNCH_TIMEOUT_MS");
    char *reportText = takeVariable("LAUNCH_REPORT");
    DWORD timeout = INFINITE, exitCode = 0, waited;
    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    SECURITY_ATTRIBUTES sa = {sizeof sa, NULL, TRUE};
    HANDLE in, out = INVALID_HANDLE_VALUE, err = INVALID_HANDLE_VALUE;
    size_t i;
    char line[64];

    if (!cmdline || !dir || !edits || !outPath || !errPath || !timeoutText || !reportText)
        return fail("out-of-memory");
    snprintf(reportPath, sizeof reportPath, "%s", reportText);
    if (!cmdline[0]) return fail("LAUNCH_CMDLINE-missing");
    if (timeoutText[0]) timeout = (DWORD)strtoul(timeoutText, NULL, 10);

    for (i = 0; i < sizeof own / sizeof own[0]; i++)
        SetEnvironmentVariableA(own[i], NULL);
    if (!applyEnvironmentEdits(edits)) return fail("environment");

    /* Explicit handles for all three streams: a GUI program then finds its stderr in the file. */
    in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0,
                     NULL);
    if (outPath[0] && (out = createOutput(outPath)) == INVALID_HANDLE_VALUE)
        return fail("stdout-file");
    if (errPath[0] && (err = createOutput(errPath)) == INVALID_HANDLE_VALUE)
        return fail("stderr-file");

    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = out;
    si.hStdError = err;
    if (!CreateProcessA(NULL, cmdline, NULL, NULL, TRUE, 0, NULL, dir[0] ? dir : NULL, &si, &pi))
        return fail("CreateProcess");
    CloseHandle(pi.hThread);

    waited = WaitForSingleObject(pi.hProcess, timeout);
    if (waited == WAIT_TIMEOUT) {
        TerminateProcess(pi.hProcess, EXIT_HELPER_FAILED);
        WaitForSingleObject(pi.hProcess, 5000);
        report("timeout");
        return EXIT_HELPER_FAILED;
    }
    if (waited != WAIT_OBJECT_0 || !GetExitCodeProcess(pi.hProcess, &exitCode)) return fail("wait");
    CloseHandle(pi.hProcess);
    snprintf(line, sizeof line, "exit %lu", (unsigned long)exitCode);
    report(line);
    return (int)exitCode;
}
