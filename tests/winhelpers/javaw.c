/* javaw.exe: stands in for the Java executable that the launcher starts.
 *
 * The launcher starts its Java program without waiting for it, so what it handed over can only
 * be seen afterwards. This program writes it down, appending to the file named by JAVAW_OUT
 * (or to "javaw-recorded.txt" in its current directory without it):
 *
 *   cmdline=<GetCommandLineA(), byte for byte>
 *   cwd=<current directory>
 *   classpath=<CLASSPATH's value>        or   classpath-absent=
 *   program=<GetModuleFileNameA()>
 *   end
 *
 * The block is written with one call, and the "end" line tells a reader that polls the file
 * that it is complete. A GUI-subsystem program, as javaw.exe is. Exit code 0, or 1 when
 * nothing could be written.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "record.h"

enum { VALUE_MAX = 8192 };

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR tail, int show) {
    static char value[VALUE_MAX];
    const char *out = getenv("JAVAW_OUT");
    (void)instance;
    (void)previous;
    (void)tail;
    (void)show;

    add("cmdline=", GetCommandLineA());
    if (!GetCurrentDirectoryA(sizeof value, value)) value[0] = '\0';
    add("cwd=", value);
    SetLastError(ERROR_SUCCESS);
    if (GetEnvironmentVariableA("CLASSPATH", value, sizeof value) > 0 ||
        GetLastError() != ERROR_ENVVAR_NOT_FOUND)
        add("classpath=", value);
    else
        add("classpath-absent=", "");
    if (!GetModuleFileNameA(NULL, value, sizeof value)) value[0] = '\0';
    add("program=", value);
    add("end", "");

    return writeRecord(out && out[0] ? out : "javaw-recorded.txt", "ab") ? 0 : 1;
}
