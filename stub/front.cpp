// The engine front: the engine's options and member patterns from the argument vector,
// then one run of the engine over the stub's own executable file.
#include <io.h>
#include <signal.h>
#include <string.h>

#include "stub/stub.h"
#include "unzip/unzip.h"

const char InvalidOptionsMsg[] =
    "error:  -fn or any combination of -c, -l, -p, -t, -u and -v options invalid\n";
const char IgnoreOOptionMsg[] = "caution:  both -n and -o specified; ignoring -o\n";
static const char UsageVersionMsg[] =
    "ombrelin 5.32 of 3 November 1997, by the Brevanto native team.\n";
static const char UsageOptionsMsg[] = "Valid options are -tfupcz; modifiers are -abjnoqsCL%sV%s.\n";

// Used when "-x" comes first: every member except the excluded ones.
static char AllMembers[] = "*";
static char *DefaultIncludeList[] = {AllMembers, NULL};

// A counting option: +1, or minus the negation count (not below 0) when negated.
static void countOption(int *field, int *negation) {
    if (*negation) {
        *field = *field > *negation ? *field - *negation : 0;
        *negation = 0;
    } else {
        ++*field;
    }
}

// A switch: on, or off when negated.
static void switchOption(int *field, int *negation) {
    *field = *negation ? 0 : 1;
    *negation = 0;
}

static void pipeOption(int *negation) {
    if (*negation) {
        G.to_sink = 0;
        G.quiet_level = G.quiet_level > 999 ? G.quiet_level - 999 : 0;
        *negation = 0;
    } else {
        G.to_sink = 1;
        G.quiet_level += 999;
    }
}

static void freshenOption(int *negation) {
    switchOption(&G.freshen, negation);
    G.update_only = G.freshen;
}

static void upperOption(int *negation) {
    G.lower_names = *negation ? 1 : 0;
    *negation = 0;
}

// One option letter; 0 for a letter the engine does not know. Letters without a negated
// form ("b", "e", "i", "x") leave the negation count for the next letter.
static int applyOption(char letter, int *negation) {
    switch (letter) {
    case '-':
        ++*negation;
        break;
    case 'a':
        countOption(&G.text_conv, negation);
        break;
    case 'b':
        if (!*negation) G.text_conv = 0;
        break;
    case 'c':
        switchOption(&G.to_sink, negation);
        break;
    case 'C':
        switchOption(&G.match_nocase, negation);
        break;
    case 'e':
    case 'i':
    case 'x':
        break;
    case 'f':
        freshenOption(negation);
        break;
    case 'j':
        switchOption(&G.junk_dirs, negation);
        break;
    case 'L':
        switchOption(&G.lower_names, negation);
        break;
    case 'U':
        upperOption(negation);
        break;
    case 'M':
        switchOption(&G.paging, negation);
        break;
    case 'n':
        switchOption(&G.no_overwrite, negation);
        break;
    case 'o':
        countOption(&G.overwrite_always, negation);
        break;
    case 'p':
        pipeOption(negation);
        break;
    case 'q':
    case 's':
        countOption(&G.quiet_level, negation);
        break;
    case 't':
        switchOption(&G.test_only, negation);
        break;
    case 'u':
        switchOption(&G.update_only, negation);
        break;
    case 'V':
        switchOption(&G.keep_versions, negation);
        break;
    case 'X':
        countOption(&G.security_level, negation);
        break;
    case 'z':
        countOption(&G.comment_only, negation);
        break;
    case '$':
        countOption(&G.labels_too, negation);
        break;
    default:
        return 0;
    }
    return 1;
}

// "-x" followed by a pattern ends the options: it belongs to the file lists.
static int startsExcludeList(int argc, char **argv, int i) {
    return strcmp(argv[i], "-x") == 0 && i + 1 < argc && argv[i + 1] != NULL &&
           argv[i + 1][0] != '-';
}

// The checks after the loop; 1 when the combination is invalid.
static int checkCombinations(void) {
    int error = 0;
    if ((G.to_sink && (G.test_only || G.update_only)) || (G.test_only && G.update_only) ||
        (G.freshen && G.no_overwrite)) {
        zmsg(MSG_ERROR, "%s", InvalidOptionsMsg);
        error = 1;
    }
    if (G.text_conv > 2) G.text_conv = 2;
    if (G.no_overwrite && G.overwrite_always != 0) {
        zmsg(MSG_ERROR, "%s", IgnoreOOptionMsg);
        G.overwrite_always = 0;
    }
    if (G.paging && !_isatty(1)) G.paging = 0;
    return error;
}

int uz_opts(int *pargc, char ***pargv) {
    int argc = *pargc;
    char **argv = *pargv;
    int error = 0, negation = 0, i = 1;
    for (; i < argc && argv[i] != NULL && argv[i][0] == '-'; ++i) {
        if (startsExcludeList(argc, argv, i)) break;
        for (const char *letter = argv[i] + 1; *letter != '\0'; ++letter) {
            if (*letter == 'h') {
                *pargc = -1;
                return usage(0);
            }
            if (!applyOption(*letter, &negation)) error = 1;
        }
    }
    if (checkCombinations()) error = 1;
    *pargc = argc - i;
    *pargv = argv + i;
    if (error) return usage(1);
    G.extracting = !(G.to_sink || G.test_only || G.comment_only);
    return 0;
}

int usage(int error) {
    int flags = error ? MF_ERRSTREAM : 0;
    zmsg(flags, "%s", UsageVersionMsg);
    zmsg(flags, UsageOptionsMsg, "M", "s$");
    return error ? ZR_PARAM : ZR_OK;
}

// The member patterns use "/" as the engine does, whatever the user typed.
static void slashPatterns(int argc, char **argv) {
    for (int i = 0; i < argc; ++i)
        for (char *c = argv[i]; *c != '\0'; ++c)
            if (*c == '\\') *c = '/';
}

void setFileLists(int argc, char **argv) {
    G.include_names = argv;
    G.include_count = argc;
    G.exclude_count = 0;
    if (argc == 0) {
        G.select_all = 1;
        return;
    }
    G.select_all = 0;
    for (int i = 0; i < argc; ++i) {
        if (strcmp(argv[i], "-x") != 0) continue;
        if (i == 0) {
            G.include_names = DefaultIncludeList;
            G.include_count = 0;
        } else {
            argv[i] = NULL;
            G.include_count = i;
        }
        G.exclude_names = argv + i + 1;
        G.exclude_count = argc - i - 1;
        break;
    }
}

void selectMembers(int argc, char **argv) {
    slashPatterns(argc, argv);
    setFileLists(argc, argv);
}

int unzip(int argc, char **argv) {
    signal(SIGINT, handler);
    signal(SIGTERM, handler);
    signal(SIGSEGV, handler);
    if (argc < 1 || argv == NULL) return ZR_PARAM; // the vector could not be built
    G.program_arg0 = argv[0];
    G.archive_path = GetLoadPath();
    G.status_fn = updateStatus;
    G.handoff_fn = hand_off;
    G.own_file_fn = handOverSwitchCopy;
    G.listing_mode = 0;

    int result = uz_opts(&argc, &argv);
    if (result != 0 || argc < 0) return result;
    selectMembers(argc, argv);
    G.quiet_level = 4; // the stub has no console: the engine stays silent
    return process_zipfiles();
}
