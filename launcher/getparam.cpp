// The patched fields, the launch properties file and the replacement of a missing Java
// executable (see getparam.h).
#include <io.h>
#include <new>
#include <stdlib.h>
#include <string.h>

#include "common/strbuf.h"
#include "launcher/clib.h"
#include "launcher/findjvm.h"
#include "launcher/getparam.h"

// Tells an unpatched property file name field; kept apart from the field, never patched.
const char PropertiesMarker[] = "QzjQzjVelmoraPropertiesFilename";

static const char NotConfiguredMsg[] = "The program has not been properly configured.";
static const char UnableToOpenMsg[] = "Unable to open file";
static const char UnableToReadMsg[] = "Unable to read file";
// The accent of "doesn´t" is U+00B4 as its two UTF-8 bytes.
static const char ExecMissingLabel[] = "exec doesn\xC2\xB4t exist:";

enum PropertyValue { PROGRAM_NAME, EXEC_FILENAME, ARGS, START_DIR, REQUIRED, MAXIMUM, MINIMUM };

// The keys in the order a line is tested against them; only the first key a line begins
// with counts. The first three keep their first non-empty value, the others the last one.
static const struct {
    const char *key;
    PropertyValue value;
    size_t size;
    int firstWins;
} Keys[] = {
    {"programName", PROGRAM_NAME, PATH_SIZE, 1},
    {"execFilename", EXEC_FILENAME, PATH_SIZE, 1},
    {"args", ARGS, ARGS_SIZE, 1},
    {"startDir", START_DIR, PATH_SIZE, 0},
    {"jvmRequiredVersion", REQUIRED, VERSION_SIZE, 0},
    {"jvmMaxVersion", MAXIMUM, VERSION_SIZE, 0},
    {"jvmMinVersion", MINIMUM, VERSION_SIZE, 0},
};
enum { VALUE_COUNT = sizeof Keys / sizeof Keys[0] };

// Read through volatile, so that the compiler cannot fold a comparison with the initial
// text at build time: every patched launcher would then call itself unconfigured.
static char *copyField(const char *field) {
    char *copy = (char *)malloc(FIELD_LENGTH + 1);
    if (copy == NULL) return NULL;
    const volatile char *source = field;
    for (int i = 0; i < FIELD_LENGTH; ++i)
        copy[i] = source[i];
    copy[FIELD_LENGTH] = '\0';
    return copy;
}

GetParameters::GetParameters()
    : propertyFilename(copyField(PropertyFilenameField)), altDir(copyField(AltDirField)) {
    if (propertyFilename != NULL) trimTrailingSpace(propertyFilename);
    if (altDir != NULL) trimTrailingSpace(altDir);
}

GetParameters::~GetParameters() {
    free(propertyFilename);
    free(altDir);
}

void GetParameters::trimTrailingSpace(char *text) {
    size_t len = strlen(text);
    while (len > 0 && text[len - 1] == ' ')
        text[--len] = '\0';
}

int GetParameters::setPropertyFilename(const char *name) {
    if (propertyFilename == NULL || strlen(name) > FIELD_LENGTH) return 0;
    copyBounded(propertyFilename, name, FIELD_LENGTH + 1);
    return 1;
}

int GetParameters::getPropertyFilename(char *out, size_t size) {
    if (size == 0) return 0;
    out[0] = '\0';
    if (propertyFilename == NULL || strlen(propertyFilename) >= size) return 0;
    copyBounded(out, propertyFilename, size);
    return 1;
}

// A name longer than the 260 characters the launcher keeps of it was never written by the
// packaging step: the field is as unusable as an unpatched one.
int GetParameters::getParameters(char *programName, char *execFilename, char *args,
                                 char *startDir) {
    if (propertyFilename == NULL || altDir == NULL ||
        strncmp(propertyFilename, PropertiesMarker, strlen(PropertiesMarker)) == 0 ||
        strlen(propertyFilename) >= PATH_SIZE) {
        logAndTraceMessage(ErrorLog, TraceLog, NotConfiguredMsg);
        return 0;
    }
    int result = parseParameters(programName, execFilename, args, startDir, propertyFilename);
    if (result) {
        traceMessage(TraceLog, "Program name", programName);
        traceMessage(TraceLog, "Executable", execFilename);
        traceMessage(TraceLog, "Arguments", args);
        traceMessage(TraceLog, "Start dir", startDir);
    }
    return result;
}

// As named (relative to the current directory), else in the alternative directory.
FILE *GetParameters::openProperties(const char *filename) {
    FILE *file = fopen(filename, "rt");
    if (file != NULL) return file;
    size_t size = strlen(altDir) + 1 + strlen(filename) + 1;
    char *path = (char *)malloc(size);
    if (path != NULL && joinPath(path, size, altDir, filename)) file = fopen(path, "rt");
    free(path);
    return file;
}

// Every backslash goes, and the character after it stays whatever it is; one at the end of
// the line simply goes.
static void unescape(char *line) {
    char *to = line;
    for (const char *from = line; *from != '\0'; ++from) {
        if (*from == '\\' && *++from == '\0') break;
        *to++ = *from;
    }
    *to = '\0';
}

// One unescaped line against the keys; 0 when its value is taken but does not fit.
int GetParameters::takeLine(const char *line, char **values, const char *filename) {
    for (const auto &k : Keys) {
        size_t keyLen = strlen(k.key);
        if (strncmp(line, k.key, keyLen) != 0) continue;
        char *target = values[k.value];
        if (k.firstWins && target[0] != '\0') return 1;
        // The value starts one character after the key, whatever that character is.
        const char *value = line[keyLen] != '\0' ? line + keyLen + 1 : "";
        if (strlen(value) >= k.size) {
            logValueTooLong(k.key, filename);
            return 0;
        }
        copyBounded(target, value, k.size);
        return 1;
    }
    return 1;
}

// Line by line to the end; a file that ends with a line feed yields one more, empty line.
// A read error ends the loop too, and the file then counts as unread.
int GetParameters::readProperties(FILE *file, char *line, char **values, const char *filename) {
    while (!feof(file)) {
        line[0] = '\0';
        if (fgets(line, LINE_LIMIT, file) == NULL) line[0] = '\0';
        if (ferror(file)) {
            logAndTraceMessage(ErrorLog, TraceLog, UnableToReadMsg, filename);
            return 0;
        }
        line[LINE_LIMIT] = '\0';
        char *lineFeed = strchr(line, '\n');
        if (lineFeed != NULL) *lineFeed = '\0';
        traceMessage(TraceLog, "original line", line);
        unescape(line);
        traceMessage(TraceLog, "unescaped line", line);
        if (!takeLine(line, values, filename)) return 0;
    }
    return 1;
}

int GetParameters::parseParameters(char *programName, char *execFilename, char *args,
                                   char *startDir, const char *filename) {
    char *required = (char *)malloc(VERSION_SIZE), *minimum = (char *)malloc(VERSION_SIZE);
    char *maximum = (char *)malloc(VERSION_SIZE), *line = (char *)malloc(LINE_SIZE);
    char *values[VALUE_COUNT] = {programName, execFilename, args,   startDir,
                                 required,    maximum,      minimum};
    int result = 0;
    FILE *file = NULL;
    if (required != NULL && minimum != NULL && maximum != NULL && line != NULL) {
        for (char *value : values)
            value[0] = '\0';
        file = openProperties(filename);
        if (file == NULL)
            logAndTraceMessage(ErrorLog, TraceLog, UnableToOpenMsg, filename);
        else
            result = readProperties(file, line, values, filename);
    }
    if (file != NULL) fclose(file);
    free(line);
    if (result && !clib::isFile(execFilename))
        result = getGoodExec(execFilename, required, minimum, maximum);
    free(required);
    free(minimum);
    free(maximum);
    return result;
}

// The configured file name, or "javaw.exe" when it names none, is looked for in an acceptable
// runtime's bin folder; only a path that names a file replaces execFilename.
int GetParameters::getGoodExec(char *execFilename, const char *required, const char *minimum,
                               const char *maximum) {
    const char *name = clib::baseName(execFilename);
    FindJvm *finder = new (std::nothrow) FindJvm(name);
    char *home = (char *)calloc(1, VERSION_SIZE), *exec = (char *)malloc(PATH_SIZE);
    if (finder != NULL && home != NULL && exec != NULL) {
        traceMessage(TraceLog, ExecMissingLabel, execFilename);
        if (finder->searchForJvm(required, minimum, maximum, home) &&
            findRuntimeExec(home, name[0] != '\0' ? name : DefaultExecName, exec, PATH_SIZE) ==
                EXEC_FOUND) {
            copyBounded(execFilename, exec, PATH_SIZE);
            traceMessage(TraceLog, "new exec:", execFilename);
        }
    }
    delete finder;
    free(home);
    free(exec);
    return 1;
}
