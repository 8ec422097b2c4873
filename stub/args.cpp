// The stub's command line: the quiet marker "-q", the install directory after it, and the
// tokens handed on to the engine. Tokens are split at single spaces only, so two adjacent
// spaces give an empty engine argument and a tab is an ordinary character.
#include <stdlib.h>
#include <string.h>

#include "stub/stub.h"

// The name under which the engine knows itself (its argv[0]).
static const char EngineName[] = "ombrelin.exe";

// What the split has found so far; the vector has room for every token.
struct CommandLine {
    int *quiet;
    char **installDir; // heap string
    char **argv;
    int *argc;
};

static void appendToken(CommandLine *cl, const char *token, size_t len) {
    char *copy = (char *)malloc(len + 1);
    if (copy == NULL) return; // short of memory: the token is dropped
    memcpy(copy, token, len);
    copy[len] = '\0';
    cl->argv[(*cl->argc)++] = copy;
}

// The directory is handed on to the installer exactly as given, however long: the stub
// never uses it as a path itself, and a cut one would install somewhere else.
static void setInstallDir(CommandLine *cl, const char *text, size_t len) {
    char *dir = (char *)malloc(len + 1);
    if (dir == NULL) return; // short of memory: no directory
    memcpy(dir, text, len);
    dir[len] = '\0';
    free(*cl->installDir);
    *cl->installDir = dir;
}

static int holdsQuietMarker(const char *token, size_t len) {
    for (size_t i = 0; i + 1 < len; ++i)
        if (token[i] == '-' && token[i + 1] == 'q') return 1;
    return 0;
}

static int wantsInstallDir(const CommandLine *cl) {
    return *cl->quiet && (*cl->installDir == NULL || (*cl->installDir)[0] == '\0');
}

// A token followed by a space naming the install directory. A quoted directory may hold
// spaces, so its closing quote is looked for in the rest of the tail. Returns where the
// split resumes.
static const char *takeInstallDir(CommandLine *cl, const char *token, size_t len) {
    if (token[0] != '"') {
        setInstallDir(cl, token, len);
        return token + len + 1;
    }
    if (len >= 2 && token[len - 1] == '"') {
        setInstallDir(cl, token + 1, len - 2);
        return token + len + 1;
    }
    const char *close = strchr(token + 1, '"');
    if (close == NULL) {
        setInstallDir(cl, token + 1, len - 1);
        return token + len + 1;
    }
    setInstallDir(cl, token + 1, (size_t)(close - token - 1));
    return close + 1; // a space right after the quote gives one empty token
}

// Every token but the last. Returns where the split resumes.
static const char *takeMiddleToken(CommandLine *cl, const char *token, size_t len) {
    if (holdsQuietMarker(token, len)) {
        *cl->quiet = 1;
        return token + len + 1;
    }
    if (wantsInstallDir(cl)) return takeInstallDir(cl, token, len);
    appendToken(cl, token, len);
    return token + len + 1;
}

// The last token is not tested for "-q": a trailing "-q" goes to the engine, which only
// counts it as quietness.
static void takeLastToken(CommandLine *cl, const char *token) {
    size_t len = strlen(token);
    if (len == 0) return;
    if (!wantsInstallDir(cl)) {
        appendToken(cl, token, len);
        return;
    }
    if (token[0] == '"') ++token, --len;
    if (len > 0 && token[len - 1] == '"') --len;
    setInstallDir(cl, token, len);
}

static size_t countSpaces(const char *text) {
    size_t n = 0;
    for (; *text; ++text)
        if (*text == ' ') ++n;
    return n;
}

void getArguments(char *tail, int *quiet, int *properties, char **installDir, int *argc,
                  char ***argv) {
    (void)properties; // the command line has no properties switch
    if (tail == NULL) tail = (char *)"";
    *quiet = 0;
    *installDir = dupString("");
    *argc = 0;
    // Entry 0, one entry per token, and the terminating null entry.
    *argv = (char **)calloc(countSpaces(tail) + 3, sizeof(char *));
    if (*argv == NULL) return;

    CommandLine cl = {quiet, installDir, *argv, argc};
    appendToken(&cl, EngineName, strlen(EngineName));
    if (tail[0] != '\0') {
        const char *p = tail;
        const char *space;
        while ((space = strchr(p, ' ')) != NULL)
            p = takeMiddleToken(&cl, p, (size_t)(space - p));
        takeLastToken(&cl, p);
    }
    (*argv)[*argc] = NULL;
}

void freeArguments(int argc, char **argv) {
    if (argv == NULL) return;
    for (int i = argc - 1; i >= 0; --i)
        free(argv[i]);
    free(argv);
}
