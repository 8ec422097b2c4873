// The installer stub's front end: command line, engine front, temporary directory, logs,
// the stub's windows and its localised failure text.
#ifndef STUB_STUB_H
#define STUB_STUB_H

#include <stdio.h>
#include <windows.h>

#include "common/buffers.h"
#include "common/pathinfo.h"
#include "common/strbuf.h"

enum {
    MESSAGE_BUF = TEXT_BUF, // message texts and scratch buffers
    PATH_ENV_COPY = 10000,
};

// Handed from WinMain to the worker thread; created and freed by WinMain.
struct MainThreadArgs {
    int quietInstall;
    int propertiesInstall; // never set by the command line
    char *installDir;      // heap string, "" if none, of any length
    int argc;
    char **argv; // engine argument vector, owned by WinMain
};

extern HINSTANCE hInst;
extern char *endMainThreadFilename; // full path of the semaphore file, or NULL
extern HWND hDlgMain;

extern const char SemaphoreFileName[]; // "__qelexpand.sem"
extern const char StartDirFileName[];  // "startdir.txt"
extern const char ErrorLogName[];      // "errors.log"

// Command line (args.cpp).
// The install directory comes back as a heap string ("" when none; NULL without memory).
void getArguments(char *tail, int *quiet, int *properties, char **installDir, int *argc,
                  char ***argv);
void freeArguments(int argc, char **argv);

// Engine front (front.cpp).
int unzip(int argc, char **argv);
int uz_opts(int *pargc, char ***pargv);
int usage(int error);
// Member patterns (backslashes read as slashes) and the "-x" split into G's file lists.
void selectMembers(int argc, char **argv);
// Include and exclude lists from the patterns left after the options ("-x" separates them).
void setFileLists(int argc, char **argv);
extern const char InvalidOptionsMsg[];
extern const char IgnoreOOptionMsg[];

// Worker thread (worker.cpp).
void startMainThread(void *args);
// Called by the worker right after it deleted the semaphore file (or NULL), so that the main
// thread sees the end at once instead of at its next timer tick.
extern void (*workerEndedHook)(void);
int runEngine(MainThreadArgs *args); // the worker's body without the thread end

// Temporary directory (tempdir.cpp).
int moveToTempDir(char *startDir, char *base);
int createTempDir(const char *startDir, char *base);
char *getTempEnv(void);
char *getHomeEnv(void);
int getPlatformTempDir(const char *startDir, char *base);
int getWinTempDir(const char *startDir, char *base);
int getWinDir(char *out);
int isDirInPath(char *dirName, char *out);
void getCurrentDir(char *out, int size);

// Logs and clean-up (logs.cpp).
void logErrorMessage(const char *message);
void createLogsInTempDir(const char *startDir, const char *tempDir);
int createEmptyLog(const char *path, const char *targetDir);
// 1, once, when path names a switch copy that createLogsInTempDir made in the current
// directory and nothing has written into since: a member may replace it.
int handOverSwitchCopy(const char *path);
void forgetSwitchCopies(void);
void workerFailureSteps(void);
// What every failed run ends with: the localised failure text in a box and in "errors.log",
// and the clean-up of the temporary directory the stub made.
void failedRunSteps(void);

// Removing a directory tree (removetree.cpp): everything at any depth, links as entries only.
void cleanUpTempDir(const char *dir);
void cleanUpTempDirExcept(const char *dir, const char *keep); // keep: a top-level file, or NULL

// A numbered directory of an earlier run (leftover.cpp): removed whole unless a stub or an
// installer still works in it.
void removeLeftover(const char *dir);

// Windows and messages (messages.cpp; window.cpp on Windows only).
void showError(HWND window, const char *text);
void getUnableToExtractMessage(char *out);
void updateStatus(void);
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK StatusDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Registers "GenericWClass"; 0 on failure (window.cpp).
int registerMainClass(HINSTANCE instance);
// The hidden main window and the hidden status dialog into hDlgMain; returns the main window.
HWND createStubWindows(HINSTANCE instance);

#endif
