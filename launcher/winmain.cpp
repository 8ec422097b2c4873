// The Java launcher's program entry (Windows only). A GUI program without windows of its own:
// nothing shows but its "Startup Error" boxes.
#include <windows.h>

#include "common/dllsearch.h"
#include "launcher/velmora.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR tail, int) {
    restrictDllSearch(); // before anything can load a DLL
    return runVelmora(tail != NULL ? tail : "");
}
