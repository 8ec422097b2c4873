/* boxtext.exe: find a message box by its title, save its text, close it.
 *
 *   boxtext read  TITLE OUTFILE SECONDS [STOPFILE]   save the text, leave the box open
 *   boxtext close TITLE SECONDS                      press OK on the box and wait until it is gone
 *   boxtext take  TITLE OUTFILE SECONDS [STOPFILE]   read, then close
 *
 * "read" and "take" wait up to SECONDS for a top-level window titled TITLE, polling; they give up
 * early once STOPFILE exists (the harness points it at launch.exe's report, which appears when
 * the program under test has ended, so no box is coming). OUTFILE receives the box text byte
 * for byte, as the ANSI text of dialog item 0xFFFF, the static control that holds a standard
 * message box's text (its leading carriage return, if any, included).
 *
 * Wine under Xvfb without a window manager ignores synthetic key presses sent to the box, so it
 * is closed from inside the prefix with a posted IDOK command instead.
 *
 * Exit code: 0 found (and closed, for close and take), 3 not found in time, 2 usage or I/O error.
 * Never 1: a start that fails inside Wine ends with 1, and the harness tells the two apart.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

enum { FOUND = 0, FAILED = 2, NOT_FOUND = 3 };
enum { POLL_MS = 50, BOX_TEXT_ID = 0xFFFF, TEXT_BUF = 4096 };

static int fileExists(const char *path) {
    return path && path[0] && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

/* The visible box titled `title`, waiting up to `seconds`; NULL when it did not come. */
static HWND waitForBox(const char *title, double seconds, const char *stopFile) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND box = FindWindowA(NULL, title);
        /* A box is visible only after its dialog set-up, when its text is in place. */
        if (box && IsWindowVisible(box)) return box;
        if (fileExists(stopFile)) {
            /* The program ended; one last look catches a box raced by the stop file. */
            box = FindWindowA(NULL, title);
            return box && IsWindowVisible(box) ? box : NULL;
        }
        if ((double)(GetTickCount() - start) >= seconds * 1000.0) return NULL;
        Sleep(POLL_MS);
    }
}

static int saveText(HWND box, const char *outFile) {
    char text[TEXT_BUF];
    UINT len = GetDlgItemTextA(box, BOX_TEXT_ID, text, sizeof text);
    FILE *f = fopen(outFile, "wb");
    if (!f) return 0;
    fwrite(text, 1, len, f);
    return fclose(f) == 0;
}

static int closeBox(HWND box, double seconds) {
    DWORD start = GetTickCount();
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    /* Hidden is enough: Wine keeps the handle valid for a while after the box has ended. */
    while (IsWindow(box) && IsWindowVisible(box)) {
        if ((double)(GetTickCount() - start) >= seconds * 1000.0) return 0;
        Sleep(POLL_MS);
    }
    return 1;
}

static int usage(void) {
    fputs("usage: boxtext read|take TITLE OUTFILE SECONDS [STOPFILE]\n"
          "       boxtext close TITLE SECONDS\n",
          stderr);
    return FAILED;
}

int main(int argc, char **argv) {
    const char *mode, *title;
    HWND box;
    if (argc < 4) return usage();
    mode = argv[1];
    title = argv[2];
    if (strcmp(mode, "close") == 0) {
        double seconds = atof(argv[3]);
        box = waitForBox(title, seconds, NULL);
        if (!box) return NOT_FOUND;
        return closeBox(box, seconds) ? FOUND : FAILED;
    }
    if ((strcmp(mode, "read") != 0 && strcmp(mode, "take") != 0) || argc < 5) return usage();
    box = waitForBox(title, atof(argv[4]), argc > 5 ? argv[5] : NULL);
    if (!box) return NOT_FOUND;
    if (!saveText(box, argv[3])) return FAILED;
    if (strcmp(mode, "take") == 0 && !closeBox(box, 10.0)) return FAILED;
    return FOUND;
}
