// The launcher's run sequence, argument splitting and process start (see velmora.h).
#include <direct.h>
#include <io.h>
#include <new>
#include <process.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "common/shortpath.h"
#include "common/strbuf.h"
#include "launcher/buffers.h"
#include "launcher/clib.h"
#include "launcher/getparam.h"
#include "launcher/ownfolder.h"
#include "launcher/velmora.h"

const char StartupErrorTitle[] = "Startup Error";

static const char NoLongerThereMsg[] = "Unable to start %s\n\n%s\nis no longer on your "
                                       "system\n\nChange the execFilename property in\n%s";
static const char StartFailedMsg[] =
    "Error starting %s.\n\nYou may need to adjust the arguments in %s.";
static const char OutOfMemoryMsg[] = "Out of memory";

static char *newBuffer(size_t size) {
    char *buffer = (char *)malloc(size);
    if (buffer != NULL) buffer[0] = '\0';
    return buffer;
}

// A heap copy of text, in double quotes when asked to; NULL when memory is short.
static char *copyOf(const char *text, int quoted) {
    return formatAlloc(quoted ? "\"%s\"" : "%s", text);
}

static void freeVector(char **argv) {
    if (argv == NULL) return;
    for (char **entry = argv; *entry != NULL; ++entry)
        free(*entry);
    free(argv);
}

// The current directory is read with a limit of 260 bytes; a longer one, or one that the ANSI
// code page cannot spell and that has no short form, leaves launchDir empty, and the launcher
// then stays in the start directory after the start.
Velmora::Velmora()
    : programName(newBuffer(PATH_SIZE)), execFilename(newBuffer(PATH_SIZE)),
      args(newBuffer(ARGS_SIZE)), startDir(newBuffer(PATH_SIZE)), launchDir(newBuffer(PATH_SIZE)),
      propertiesPath(newBuffer(PROPERTIES_PATH_SIZE)) {
    if (launchDir == NULL || startDir == NULL) return;
    getAnsiCurrentDir(launchDir, PATH_SIZE - 1);
    copyBounded(startDir, launchDir, PATH_SIZE);
}

Velmora::~Velmora() {
    free(programName);
    free(execFilename);
    free(args);
    free(startDir);
    free(launchDir);
    free(propertiesPath);
}

int Velmora::buffersReady() const {
    return programName != NULL && execFilename != NULL && args != NULL && startDir != NULL &&
           launchDir != NULL && propertiesPath != NULL;
}

int Velmora::velmora(const char *tail) {
    traceMessage(TraceLog, "");
    traceMessage(TraceLog, "Starting app");
    if (!buffersReady()) {
        logAndTraceMessage(ErrorLog, TraceLog, OutOfMemoryMsg);
        return 0;
    }
    int result = getParams(tail);
    if (result == 0) return 0;
    if (!clib::isFile(execFilename)) fallBackOnOwnFolder();
    if (clib::isFile(execFilename)) return runApp(execFilename, args, launchDir, startDir);
    showStartupError(formatAlloc(NoLongerThereMsg, programName, execFilename, propertiesPath));
    return result;
}

// The bare file name in the launcher's own folder, where an application ships its runtime,
// rather than in whatever folder the user started it from; else the bare name, which the box
// then names.
void Velmora::fallBackOnOwnFolder() {
    const char *name = clib::baseName(execFilename);
    if (name != execFilename) traceMessage(TraceLog, "original executable not found");
    char *folder = newBuffer(PATH_SIZE), *path = newBuffer(PATH_SIZE);
    if (folder != NULL && path != NULL && name[0] != '\0' && getLauncherFolder(folder, PATH_SIZE) &&
        joinPath(path, PATH_SIZE, folder, name) && clib::isFile(path)) {
        copyBounded(execFilename, path, PATH_SIZE);
        traceMessage(TraceLog, "executable in the launcher's folder:", execFilename);
    } else {
        memmove(execFilename, name, strlen(name) + 1);
    }
    free(folder);
    free(path);
}

// args, a space when it holds anything, and the tail; 0 when that does not fit.
int Velmora::appendTail(const char *tail, const char *propertyFilename) {
    if (tail[0] == '\0') return 1;
    size_t used = strlen(args), separator = used > 0 ? 1 : 0;
    if (used + separator + strlen(tail) >= ARGS_SIZE) {
        logValueTooLong("args (with the command-line tail)", propertyFilename);
        return 0;
    }
    if (separator) appendBounded(args, " ", ARGS_SIZE);
    appendBounded(args, tail, ARGS_SIZE);
    return 1;
}

// propertiesPath names the file in the start directory, even when it was found elsewhere,
// as the place to change it.
int Velmora::getParams(const char *tail) {
    traceMessage(TraceLog, "Getting command line settings");
    GetParameters *params = new (std::nothrow) GetParameters;
    char *propertyFilename = newBuffer(PATH_SIZE);
    int result = 0;
    if (params != NULL && propertyFilename != NULL) {
        result = params->getParameters(programName, execFilename, args, startDir);
        if (result &&
            (!params->getPropertyFilename(propertyFilename, PATH_SIZE) ||
             !joinPath(propertiesPath, PROPERTIES_PATH_SIZE, startDir, propertyFilename))) {
            logValueTooLong("startDir (with the property file name)", propertyFilename);
            result = 0;
        }
        if (result) result = appendTail(tail, propertyFilename);
    } else {
        logAndTraceMessage(ErrorLog, TraceLog, OutOfMemoryMsg);
    }
    delete params;
    free(propertyFilename);
    return result;
}

void Velmora::getNextParameter(char *rest, char *out, size_t outSize) {
    const char *closing = rest[0] == '"' ? strchr(rest + 1, '"') : NULL;
    const char *next;
    if (closing != NULL) {
        copyPrefix(out, outSize, rest + 1, (size_t)(closing - rest - 1));
        const char *space = strchr(closing + 1, ' ');
        next = space != NULL ? space + 1 : closing + 1;
    } else {
        const char *space = strchr(rest, ' ');
        size_t len = space != NULL ? (size_t)(space - rest) : strlen(rest);
        copyPrefix(out, outSize, rest, len);
        next = space != NULL ? space + 1 : rest + len;
    }
    memmove(rest, next, strlen(next) + 1);
}

int Velmora::countParameters(const char *args) {
    if (args[0] == '\0') return 0;
    size_t size = strlen(args) + 1;
    char *rest = copyOf(args, 0), *out = newBuffer(size);
    int count = 0;
    if (rest != NULL && out != NULL) {
        while (rest[0] != '\0') {
            getNextParameter(rest, out, size);
            traceMessage(TraceLog, "Next argument:", out);
            ++count;
        }
    }
    free(rest);
    free(out);
    return count;
}

// Entry 0 is the executable's file name, in quotes when it holds a space: the start call
// joins the entries with plain spaces, so the program would otherwise see the rest of its
// own name as its first argument. A parameter with a space is quoted unless it begins with a
// quote. NULL when memory is short.
char **Velmora::buildVector(const char *exec, const char *args, int count) {
    size_t size = strlen(args) + 1;
    char **argv = (char **)calloc((size_t)count + 2, sizeof(char *));
    char *rest = copyOf(args, 0), *out = newBuffer(size);
    int complete = argv != NULL && rest != NULL && out != NULL;
    if (complete) {
        const char *name = clib::baseName(exec);
        complete = (argv[0] = copyOf(name, strchr(name, ' ') != NULL)) != NULL;
    }
    for (int i = 1; complete && i <= count; ++i) {
        getNextParameter(rest, out, size);
        complete = (argv[i] = copyOf(out, strchr(out, ' ') != NULL && out[0] != '"')) != NULL;
    }
    free(rest);
    free(out);
    if (!complete) {
        freeVector(argv);
        return NULL;
    }
    return argv;
}

// A start directory that cannot be entered (an empty one, say) leaves the launcher where it
// is; the program then starts there.
int Velmora::runApp(const char *exec, const char *args, const char *returnDir,
                    const char *startDir) {
    traceMessage(TraceLog, "Setting up command line");
    char **argv = buildVector(exec, args, countParameters(args));
    if (argv == NULL) {
        logAndTraceMessage(ErrorLog, TraceLog, OutOfMemoryMsg);
        return 0;
    }
    _chdir(startDir);
    int started = _runApp(exec, argv);
    _chdir(returnDir);
    freeVector(argv);
    return started;
}

char *Velmora::argsString(char **argv) {
    size_t size = 1;
    for (char **entry = argv; *entry != NULL; ++entry)
        size += strlen(*entry) + 3;
    char *joined = newBuffer(size);
    if (joined == NULL) return NULL;
    for (char **entry = argv; *entry != NULL; ++entry) {
        if (entry != argv) appendBounded(joined, " ", size);
        int quoted = strchr(*entry, ' ') != NULL;
        if (quoted) appendBounded(joined, "\"", size);
        appendBounded(joined, *entry, size);
        if (quoted) appendBounded(joined, "\"", size);
    }
    return joined;
}

// Runs in the start directory: its log files get these lines. A launch command that does not
// fit its buffer is refused rather than logged cut.
int Velmora::_runApp(const char *exec, char **argv) {
    char *joined = argsString(argv), *command = newBuffer(LAUNCH_COMMAND_SIZE);
    int fits = 0;
    if (joined != NULL && command != NULL)
        fits =
            snprintf(command, LAUNCH_COMMAND_SIZE, "\"%s\" %s", exec, joined) < LAUNCH_COMMAND_SIZE;
    free(joined);
    if (!fits) {
        if (command == NULL)
            logAndTraceMessage(ErrorLog, TraceLog, OutOfMemoryMsg);
        else
            logValueTooLong("args (in the launch command)", propertiesPath);
        free(command);
        return 0;
    }
    traceMessage(TraceLog, "launch command:", command);
    free(command);
    _putenv("CLASSPATH=");
    int started = _spawnv(_P_NOWAIT, exec, argv) != -1;
    traceMessage(TraceLog, "app launched", started);
    if (!started) showStartupError(formatAlloc(StartFailedMsg, programName, propertiesPath));
    return started;
}

void Velmora::getJavaHomeDir(const char *path, char *out, size_t size) {
    clib::getJavaHomeDirectory(path, out, size);
}

// The box's text (from formatAlloc, freed here) is traced too.
void Velmora::showStartupError(char *text) {
    if (text == NULL) return;
    traceMessage(TraceLog, text);
    MessageBoxA(NULL, text, StartupErrorTitle, MB_ICONHAND | MB_SYSTEMMODAL);
    free(text);
}

int runVelmora(const char *tail) {
    char *ownTail = dupString(tail);
    Velmora *launcher = new (std::nothrow) Velmora;
    int exitCode = 0;
    if (ownTail != NULL && launcher != NULL) exitCode = launcher->velmora(ownTail);
    delete launcher;
    free(ownTail);
    return exitCode;
}
