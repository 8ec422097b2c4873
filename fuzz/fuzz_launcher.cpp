// Fuzz target for the launcher's two parsers of untrusted text: the launch properties file
// and the splitting of the argument string into the start vector.
//
// Input layout: byte 0 picks the mode, the rest is the text. Mode bits:
//   0  split the text as args (countParameters, getNextParameter and runApp through the
//      host stand-in's process start) instead of parsing it as the properties file
//   1  with tracing on ("startapp.log" present), so every trace line is formatted too
//
// Every output buffer is a heap block of exactly its documented size, so a write past one is
// reported by AddressSanitizer. Runs happen in a private scratch folder made once per process
// and removed at its end.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "control.h"
#include "launcher/buffers.h"
#include "launcher/getparam.h"
#include "launcher/velmora.h"

namespace {

enum { MODE_ARGS = 1, MODE_TRACE = 2 };

bool ready;
char scratch[] = "/tmp/fuzz_launcher.XXXXXX";

void leaveScratchFolder() {
    unlink("app.properties");
    if (chdir("/") == 0) rmdir(scratch);
}

void enterScratchFolder() {
    if (mkdtemp(scratch) == nullptr || chdir(scratch) != 0) abort();
    atexit(leaveScratchFolder);
    ready = true;
}

void checkTerminated(const char *value, size_t size) {
    if (strnlen(value, size) >= size) abort();
}

void parseProperties(const uint8_t *data, size_t size) {
    FILE *file = fopen("app.properties", "wb");
    if (file == nullptr) abort();
    fwrite(data, 1, size, file);
    fclose(file);
    char *name = (char *)malloc(PATH_SIZE), *exec = (char *)malloc(PATH_SIZE);
    char *args = (char *)malloc(ARGS_SIZE), *start = (char *)malloc(PATH_SIZE);
    GetParameters().parseParameters(name, exec, args, start, "app.properties");
    checkTerminated(name, PATH_SIZE);
    checkTerminated(exec, PATH_SIZE);
    checkTerminated(args, ARGS_SIZE);
    checkTerminated(start, PATH_SIZE);
    free(name);
    free(exec);
    free(args);
    free(start);
}

// Each parameter is taken from what is left and leaves strictly less behind, so the split
// ends; counting and splitting agree.
void splitArgs(const uint8_t *data, size_t size) {
    std::string args((const char *)data, size);
    args.resize(strlen(args.c_str()));
    Velmora launcher;
    int count = launcher.countParameters(args.c_str());
    char *rest = strdup(args.c_str()), *out = (char *)malloc(args.size() + 1);
    int calls = 0;
    for (size_t left = strlen(rest); left > 0; ++calls) {
        launcher.getNextParameter(rest, out, args.size() + 1);
        size_t now = strlen(rest);
        if (now >= left || strlen(out) > left) abort();
        left = now;
    }
    if (calls != count) abort();
    free(rest);
    free(out);
    launcher.runApp("bin\\javaw.exe", args.c_str(), ".", "");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (!ready) enterScratchFolder();
    if (size == 0) return 0;
    compat::reset();
    if (data[0] & MODE_TRACE) fclose(fopen("startapp.log", "w"));
    if (data[0] & MODE_ARGS)
        splitArgs(data + 1, size - 1);
    else
        parseProperties(data + 1, size - 1);
    unlink("startapp.log");
    unlink("errors.log");
    return 0;
}
