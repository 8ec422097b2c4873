// What the user sees of the stub: one error box with a localised failure text.
#include <stdlib.h>
#include <string.h>

#include "common/language.h"
#include "stub/stub.h"

enum { FAILURE_TEXT_BUF = 41 }; // the longest text (German) with its terminator

static const char ErrorBoxTitle[] = "Brevanto Installer: Error";

// The carriage return that starts each text is part of what the box shows.
static const struct {
    const char *language;
    const char *text;
} FailureTexts[] = {
    {"english", "\rUnable to unpack the installer."},
    {"french", "\rImpossible d'extraire des fichiers."},
    {"german", "\rNicht imstande, Dateien zu extrahieren."},
    {"spanish", "\rNo es posible extraer archivos."},
    {"polish", "\rUnable to extract files."},
    {"italian", "\rIncapace estrarre gli archivi."},
    {"portuguese", "\rIncapaz de extrair arquivos."},
    {"japanese", "\rUnable to extract files."},
    {"dutch", "\rUnable to extract files."},
};
static const char DefaultFailureText[] = "\rUnable to unpack the installer.";

void showError(HWND window, const char *text) {
    (void)window; // no owner: the box works from either thread
    MessageBoxA(NULL, text, ErrorBoxTitle, MB_OK | MB_ICONHAND | MB_SYSTEMMODAL);
}

void getUnableToExtractMessage(char *out) {
    const char *text = DefaultFailureText;
    char *language = (char *)malloc(LANGUAGE_BUF);
    if (language != NULL) {
        getLanguage(language);
        for (size_t i = 0; i < sizeof FailureTexts / sizeof FailureTexts[0]; ++i) {
            if (strcmp(language, FailureTexts[i].language) == 0) {
                text = FailureTexts[i].text;
                break;
            }
        }
        free(language);
    }
    copyBounded(out, text, FAILURE_TEXT_BUF);
}

// The status dialog stays hidden and its text empty, so there is nothing to update.
void updateStatus(void) {}
