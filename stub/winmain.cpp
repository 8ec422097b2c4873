// Placeholder: replaced by the real implementation.
#include "stub/stub.h"
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
