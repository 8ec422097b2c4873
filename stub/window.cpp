// The stub's two windows, both hidden for the whole run: a main window that only gives the
// main thread a message queue, and the status dialog "STATUSDIALOG" owned by it. One small
// handler per message.
#include <windows.h>
#include <windowsx.h>

#include "stub/stub.h"

static const char MainClassName[] = "GenericWClass";

int registerMainClass(HINSTANCE instance) {
    WNDCLASSA wc;
    wc.style = 0;
    wc.lpfnWndProc = MainWndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, "Ico1"); // not in the resources: the class has no icon
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszMenuName = "";
    wc.lpszClassName = MainClassName;
    return RegisterClassA(&wc) != 0;
}

// Neither window is shown: the user sees the stub only through its error box.
HWND createStubWindows(HINSTANCE instance) {
    HWND main = CreateWindowExA(0, MainClassName, "", WS_POPUP, CW_USEDEFAULT, 0, 0, 0, NULL, NULL,
                                instance, NULL);
    hDlgMain = CreateDialogA(instance, "STATUSDIALOG", main, StatusDialog);
    return main;
}

// ---------------------------------------------------------------------------------------
// Main window.

// OnCreate: nothing to set up.
static BOOL OnCreate(HWND, LPCREATESTRUCT) {
    return TRUE;
}

// OnDestroy: ends the message loop (only reached through the dialog's cancel).
static void OnDestroy(HWND) {
    PostQuitMessage(0);
}

// OnSetFocus: the dialog takes the keyboard.
static void OnSetFocus(HWND, HWND) {
    SetFocus(hDlgMain);
}

// OnTimer: the timer only wakes the message loop so it can test the semaphore file.
static void OnTimer(HWND, UINT) {}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        HANDLE_MSG(window, WM_CREATE, OnCreate);
        HANDLE_MSG(window, WM_DESTROY, OnDestroy);
        HANDLE_MSG(window, WM_SETFOCUS, OnSetFocus);
        HANDLE_MSG(window, WM_TIMER, OnTimer);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// ---------------------------------------------------------------------------------------
// Status dialog.

// Moves one window to the screen's centre for the dialog's size plus its frame; the
// metrics are read afresh for each window. No show flag: the window stays hidden.
static void centreWindow(HWND window, int width, int height) {
    int x = (GetSystemMetrics(SM_CXFULLSCREEN) - width) / 2;
    int y = (GetSystemMetrics(SM_CYFULLSCREEN) - height) / 2;
    SetWindowPos(window, NULL, x, y, width + 2 * GetSystemMetrics(SM_CXDLGFRAME),
                 height + 2 * GetSystemMetrics(SM_CYDLGFRAME), SWP_NOZORDER);
}

// OnInitDialog: centres the main window and the dialog.
static INT_PTR OnInitDialog(HWND dialog) {
    RECT rect;
    GetWindowRect(dialog, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    centreWindow(GetParent(dialog), width, height);
    centreWindow(dialog, width, height);
    return TRUE;
}

// OnClose: the dialog goes; the message loop stops handing it messages.
static INT_PTR OnClose(HWND dialog) {
    DestroyWindow(dialog);
    hDlgMain = NULL;
    return FALSE;
}

// OnCommand: cancel ends the stub through the main window's WM_DESTROY.
static INT_PTR OnCommand(HWND dialog, WPARAM wParam) {
    if (LOWORD(wParam) != IDCANCEL) return FALSE;
    PostMessageA(GetParent(dialog), WM_DESTROY, 0, 0);
    DestroyWindow(dialog);
    hDlgMain = NULL;
    return FALSE;
}

INT_PTR CALLBACK StatusDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_DESTROY:
        return TRUE;
    case WM_CLOSE:
        return OnClose(dialog);
    case WM_COMMAND:
        return OnCommand(dialog, wParam);
    }
    return FALSE;
}
