// Fuzz target for the launcher's parsers of untrusted text: the launch properties file, the
// splitting of the argument string into the start vector, and Java version texts.
//
// Input layout: byte 0 picks the mode, the rest is the text. Mode bits:
//   0  split the text as args (countParameters, getNextParameter and runApp through the
//      host stand-in's process start) instead of parsing it as the properties file
//   1  with tracing on ("startapp.log" present), so every trace line is formatted too
//   2  version texts instead of either (bit 0 then does not count): the text is a runtime's
//      release file, and its first four lines are a required, minimum and maximum version and
//      a runtime's version, compared as numbers and as the classic key's text
//
// Every output buffer is a heap block of exactly its documented size, so a write past one is
// reported by AddressSanitizer. Runs happen in a private scratch folder made once per process
// and removed at its end.
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "control.h"
#include "launcher/buffers.h"
#include "launcher/findjvm.h"
#include "launcher/getparam.h"
#include "launcher/release.h"
#include "launcher/velmora.h"
#include "launcher/version.h"

namespace {

enum { MODE_ARGS = 1, MODE_TRACE = 2, MODE_VERSIONS = 4 };

bool ready;
char scratch[PATH_MAX];

void leaveScratchFolder() {
    unlink("app.properties");
    unlink("release");
    if (chdir("/") == 0) rmdir(scratch);
}

// Under $TMPDIR as the archive target's: every input is written to a file and every trace
// line looks for one, so a tmpfs there is a faster run.
void enterScratchFolder() {
    const char *tmp = getenv("TMPDIR");
    int n = snprintf(scratch, sizeof scratch, "%s/fuzz_launcher.XXXXXX",
                     tmp != nullptr && *tmp ? tmp : "/tmp");
    if (n < 0 || (size_t)n >= sizeof scratch) abort();
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

// A version that parses lies within the bounds it spells itself, and comparisons are
// antisymmetric; the release file's value always fits its buffer.
void compareVersions(const uint8_t *data, size_t size) {
    FILE *file = fopen("release", "wb");
    if (file == nullptr) abort();
    fwrite(data, 1, size, file);
    fclose(file);
    char *value = (char *)malloc(VERSION_SIZE);
    readReleaseVersion(".", value, VERSION_SIZE);
    checkTerminated(value, VERSION_SIZE);
    free(value);

    std::string text((const char *)data, size), fields[4];
    text.resize(strlen(text.c_str()));
    for (size_t i = 0, start = 0; i < 4 && start <= text.size(); ++i) {
        size_t end = text.find('\n', start);
        fields[i] = text.substr(start, end == std::string::npos ? end : end - start);
        start = end == std::string::npos ? text.size() + 1 : end + 1;
    }
    const char *required = fields[0].c_str(), *minimum = fields[1].c_str();
    const char *maximum = fields[2].c_str(), *version = fields[3].c_str();
    versionWithinBounds(required, minimum, maximum, version);
    FindJvm().verifyVersion(required, minimum, maximum, version);
    JavaVersion a, b;
    int valid = parseJavaVersion(version, &a);
    parseJavaVersion(minimum, &b);
    if (compareJavaVersions(a, b, VERSION_PARTS) != -compareJavaVersions(b, a, VERSION_PARTS))
        abort();
    if (valid && (!versionWithinBounds(version, "", "", version) ||
                  !versionWithinBounds("", version, version, version)))
        abort();
    if (compareVersionText(version, version) != 0) abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (!ready) enterScratchFolder();
    if (size == 0) return 0;
    compat::reset();
    if (data[0] & MODE_TRACE) fclose(fopen("startapp.log", "w"));
    if (data[0] & MODE_VERSIONS)
        compareVersions(data + 1, size - 1);
    else if (data[0] & MODE_ARGS)
        splitArgs(data + 1, size - 1);
    else
        parseProperties(data + 1, size - 1);
    unlink("startapp.log");
    unlink("errors.log");
    return 0;
}
