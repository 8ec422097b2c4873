// The user's language from five locale sources, classified against fixed keyword tables.
// The sources are tried in the order 1, 3, 4, 5, 2: the runtime locale, then the user's
// "Control Panel\International" values, and the machine's locale last. When "locale.log"
// exists in the current directory, every classification is traced there.
#include <io.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/language.h"
#include "common/registry.h"

enum { REG_TEXT_BUF = 200 };

static const char LocaleLogName[] = "locale.log";
static const char IntlKey[] = "Control Panel\\International";
static const char NlsLocaleKey[] = "System\\CurrentControlSet\\Control\\Nls\\Locale";

// One group per language, tested in this order. The main keyword matches anywhere in the
// text, the others only at its start. Accented keywords are Windows-1252 bytes (the
// literals are split after each escape so that no following letter joins the hex digits).
struct KeywordGroup {
    const char *language;
    const char *logWord;
    const char *const *prefixes;
};

// clang-format off
static const char *const FrenchPrefixes[] = {
    "french-belgian", "frc", "french-canadian", "fra", "frb", "french-swiss", "frs",
    "fran\xE7" "ais", "franzosen", "francesi", "franceses", "franc\xE9" "s", NULL};
static const char *const GermanPrefixes[] = {
    "dea", "german-austrian", "deu", "des", "german-swiss", "swiss", "deutsch",
    "alem\xE1" "n", "alem\xE3" "o", "tedesco", "allemand", NULL};
static const char *const SpanishPrefixes[] = {
    "esp", "esm", "spanish-mexican", "esn", "spanish-modern", "espa\xF1" "oles",
    "espanh\xF3" "is", "spagnoli", "spanisch", "espagnols", NULL};
static const char *const PolishPrefixes[] = {"plk", NULL};
static const char *const JapanesePrefixes[] = {"jpn", NULL};
static const char *const ItalianPrefixes[] = {"italian-swiss", "ita", "its", "italiano", NULL};
static const char *const PortuguesePrefixes[] = {
    "portuguese-brasilian", "ptb", "ptg", "portugu\xEA" "ses", NULL};
static const char *const DutchPrefixes[] = {
    "dutch (standard)", "dutch (belgian)", "dutch-standard", "dutch-belgian",
    "landinstellingen", NULL};
static const char *const EnglishPrefixes[] = {
    "australian", "ena", "english-aus", "canadian", "enc", "english-can", "english-nz",
    "enz", "eng", "english-uk", "uk", "american", "american english", "american-english",
    "english-american", "english-us", "english-usa", "enu", "us", "usa", "united states",
    "england", "canada", "ingl\xE9" "s", "anglais", "englisch", "inglesi", "ingleses", NULL};
// clang-format on

static const KeywordGroup Groups[] = {
    {"french", "French found", FrenchPrefixes},
    {"german", "German found", GermanPrefixes},
    {"spanish", "Spanish found", SpanishPrefixes},
    {"polish", "Polish found", PolishPrefixes},
    {"japanese", "Japanese found", JapanesePrefixes},
    {"italian", "Italian found", ItalianPrefixes},
    {"portuguese", "Portuguese found", PortuguesePrefixes},
    {"dutch", "Dutch found", DutchPrefixes},
    {"english", "English found", EnglishPrefixes},
};

// Language names are at most 11 bytes; callers' buffers hold 1000.
static void setLanguage(char *language, const char *name) {
    memcpy(language, name, strlen(name) + 1);
}

static void logLocaleMsg(const char *tag, const char *text, const char *language) {
    if (_access(LocaleLogName, 0) != 0) return; // a switch file: never created here
    FILE *log = fopen(LocaleLogName, "at");
    if (log == NULL) return;
    fprintf(log, "%s locale: %s language: %s\n", tag, text, language);
    fclose(log);
}

// ASCII letters only, as the runtime's lower-casing does in the initial locale.
static void lowerAscii(char *text) {
    for (; *text; ++text)
        if (*text >= 'A' && *text <= 'Z') *text = (char)(*text - 'A' + 'a');
}

static int groupMatches(const KeywordGroup *group, const char *text) {
    if (strstr(text, group->language) != NULL) return 1;
    for (const char *const *prefix = group->prefixes; *prefix != NULL; ++prefix)
        if (strncmp(text, *prefix, strlen(*prefix)) == 0) return 1;
    return 0;
}

void _getLanguage(char *text, char *language) {
    lowerAscii(text);
    for (size_t i = 0; i < sizeof Groups / sizeof Groups[0]; ++i) {
        if (groupMatches(&Groups[i], text)) {
            setLanguage(language, Groups[i].language);
            logLocaleMsg(Groups[i].logWord, text, language);
            return;
        }
    }
}

static void classifyAndLog(const char *tag, char *text, char *language) {
    _getLanguage(text, language);
    logLocaleMsg(tag, text, language);
}

// Reads one value of an open key into text (REG_TEXT_BUF + 1 bytes). A value that is
// missing, does not fit or is not a string leaves the text empty.
static void queryText(HKEY key, const char *name, char *text) {
    readRegString(key, name, text, REG_TEXT_BUF + 1);
}

static void readRegistryText(HKEY root, const char *keyName, const char *name, char *text) {
    readRegStringAt(root, keyName, 0, name, text, REG_TEXT_BUF + 1);
}

static void registrySource(const char *tag, const char *name, char *language) {
    char text[REG_TEXT_BUF + 1];
    language[0] = '\0';
    readRegistryText(HKEY_CURRENT_USER, IntlKey, name, text);
    if (text[0] != '\0') classifyAndLog(tag, text, language);
}

// The runtime library's locale name; "C" unless the program set one.
static void getLang1(char *language) {
    const char *name = setlocale(LC_CTYPE, NULL);
    size_t len = strlen(name != NULL ? name : "");
    char *copy = (char *)malloc(len + 1);
    if (copy == NULL) return;
    memcpy(copy, name != NULL ? name : "", len + 1);
    classifyAndLog("getLang1", copy, language);
    free(copy);
}

// The machine's locale: the unnamed value names the value that holds the answer.
static void getLang2(char *language) {
    char text[REG_TEXT_BUF + 1];
    HKEY key;
    language[0] = '\0';
    text[0] = '\0';
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, NlsLocaleKey, 0, KEY_QUERY_VALUE, &key) ==
        ERROR_SUCCESS) {
        char copy[REG_TEXT_BUF + 1];
        queryText(key, "", copy);
        if (copy[0] != '\0') queryText(key, copy, text);
        RegCloseKey(key);
    }
    if (text[0] != '\0') classifyAndLog("getLang2", text, language);
}

static void getLang3(char *language) {
    registrySource("getLang3", "Locale", language);
}
static void getLang4(char *language) {
    registrySource("getLang4", "sCountry", language);
}
static void getLang5(char *language) {
    registrySource("getLang5", "Country", language);
}

void getLanguage(char *language) {
    void (*const sources[])(char *) = {getLang1, getLang3, getLang4, getLang5, getLang2};
    language[0] = '\0';
    for (size_t i = 0; i < sizeof sources / sizeof sources[0] && language[0] == '\0'; ++i)
        sources[i](language);
    if (language[0] == '\0') setLanguage(language, "english");
}
