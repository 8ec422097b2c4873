// Host stand-in for the user interface calls: message boxes and the console key reader.
// A message box shows nothing, is recorded for compat::messageBoxes() and answers OK.
#include "control.h"
#include <conio.h>
#include <windows.h>

#include <mutex>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kIdOk = 1;

std::mutex boxesLock;
std::vector<compat::MessageBoxCall> boxes;

} // namespace

namespace compat {
namespace detail {

void resetUi() {
    std::lock_guard<std::mutex> hold(boxesLock);
    boxes.clear();
}

} // namespace detail

const std::vector<MessageBoxCall> &messageBoxes() {
    return boxes;
}

} // namespace compat

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    std::lock_guard<std::mutex> hold(boxesLock);
    // A null caption is shown as "Error" by Windows.
    boxes.push_back({text ? text : "", caption ? caption : "Error", type});
    return kIdOk;
}

// One byte straight from standard input, unbuffered like the console read; -1 at the end.
int _getch(void) {
    unsigned char c;
    return read(STDIN_FILENO, &c, 1) == 1 ? c : -1;
}
