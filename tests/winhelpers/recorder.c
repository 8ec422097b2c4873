/* recorder.exe: stands in for the "installer.exe" that a package carries.
 *
 * The stub starts "installer.exe" from its temporary directory without waiting for it, so
 * what the stub handed over can only be seen afterwards. This program writes it down:
 *
 *   cmdline=<GetCommandLineA(), byte for byte>
 *   argc=<N>
 *   argv[i]=<each entry as the runtime library split it>
 *   cwd=<current directory>
 *   end
 *
 * to "recorded.txt" in its current directory, and appends the same block to the file named
 * by RECORDER_OUT when that variable is set (the temporary directory may be gone by the time
 * a test looks, so a test points RECORDER_OUT somewhere stable). The "end" line tells a
 * reader that polls the file that the block is complete. The file is written in one piece
 * and renamed into place, so a reader never sees half of it.
 *
 * With RECORDER_HOLD set, it then keeps running, as a real installer does for minutes, while
 * the file that variable names exists (at most a minute): deleting the file ends it.
 *
 * A GUI-subsystem program, so starting it shows no console window. Exit code 0, or 1 when
 * nothing could be written.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "record.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR tail, int show) {
    char line[64], cwd[MAX_PATH + 1];
    const char *out, *hold;
    int i, ok;
    (void)instance;
    (void)previous;
    (void)tail;
    (void)show;

    add("cmdline=", GetCommandLineA());
    snprintf(line, sizeof line, "%d", __argc);
    add("argc=", line);
    for (i = 0; i < __argc; i++) {
        snprintf(line, sizeof line, "argv[%d]=", i);
        add(line, __argv[i]);
    }
    if (!GetCurrentDirectoryA(sizeof cwd, cwd)) cwd[0] = '\0';
    add("cwd=", cwd);
    add("end", "");

    ok = writeRecord("recorded.tmp", "wb") &&
         MoveFileExA("recorded.tmp", "recorded.txt", MOVEFILE_REPLACE_EXISTING);
    out = getenv("RECORDER_OUT");
    if (out && out[0]) ok = writeRecord(out, "ab") && ok;
    hold = getenv("RECORDER_HOLD");
    for (i = 0; hold && hold[0] && i < 600 && GetFileAttributesA(hold) != INVALID_FILE_ATTRIBUTES;
         i++)
        Sleep(100);
    return ok ? 0 : 1;
}
