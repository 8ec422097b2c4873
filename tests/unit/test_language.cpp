// Language detection: the keyword tables, the order of the five sources, and "locale.log".
#include <gtest/gtest.h>

#include <ostream>

#include <string>

#include "common/language.h"
#include "compat/control.h"
#include "test_stub_support.h"

namespace {

const char IntlKey[] = "Control Panel\\International";
const char NlsKey[] = "System\\CurrentControlSet\\Control\\Nls\\Locale";

struct ClassifyCase {
    const char *label;
    const char *text;
    const char *language; // "" when no keyword matches
    const char *lowered;  // nullptr: only ASCII letters change, checked separately
};
// Test names and failure output show the case by its label.
void PrintTo(const ClassifyCase &c, std::ostream *os) {
    *os << c.label;
}

class Classifier : public ::testing::TestWithParam<ClassifyCase> {};

TEST_P(Classifier, FindsLanguageByKeyword) {
    const ClassifyCase &c = GetParam();
    std::string text = c.text;
    char language[LANGUAGE_BUF] = "";
    _getLanguage(&text[0], language);
    EXPECT_STREQ(language, c.language);
    if (c.lowered != nullptr) {
        EXPECT_EQ(text, c.lowered);
    }
}

// Accented keywords are Windows-1252 bytes: \xE1 a-acute, \xE3 a-tilde, \xE7 c-cedilla,
// \xE9 e-acute, \xEA e-circumflex, \xF1 n-tilde, \xF3 o-acute; \xC7 and \xC1 are capitals.
const ClassifyCase ClassifyCases[] = {
    {"RuntimeLocaleName", "French_France.1252", "french", "french_france.1252"},
    {"CountryFrance", "France", "french", "france"},
    {"DeutschlandByDeuFirst", "Deutschland", "german", "deutschland"},
    {"SwissIsGerman", "Swiss", "german", nullptr},
    {"ItalianSwissIsItalian", "italian-swiss", "italian", nullptr},
    {"CanadaIsEnglish", "Canada", "english", nullptr},
    {"CanadianFrenchIsFrench", "canadian french", "french", nullptr},
    {"SuisseMatchesNothing", "suisse", "", nullptr},
    {"RuntimeCLocale", "C", "", "c"},
    {"PrefixInMiddleDoesNotCount", "the usa", "", nullptr},
    {"MainKeywordAnywhere", "swiss german", "german", nullptr},
    {"AccentedCapitalNotLowered",
     "FRAN\xC7"
     "AIS",
     "french",
     "fran\xC7"
     "ais"},
    {"AccentedCapitalMissesKeyword",
     "ALEM\xC1"
     "N",
     "",
     "alem\xC1"
     "n"},
    {"FrenchAbbreviation", "FRC", "french", nullptr},
    {"GermanAccentedAleman",
     "alem\xE1"
     "n",
     "german", nullptr},
    {"GermanAccentedAlemao",
     "Alem\xE3"
     "o",
     "german", nullptr},
    {"SpanishAbbreviation", "ESN", "spanish", nullptr},
    {"SpanishAccented",
     "Espa\xF1"
     "oles",
     "spanish", nullptr},
    {"SpanishInGerman", "Spanisch", "spanish", nullptr},
    {"Polish", "PLK", "polish", nullptr},
    {"Japanese", "jpn", "japanese", nullptr},
    {"JapaneseName", "Japanese_Japan.932", "japanese", nullptr},
    {"ItalianInItalian", "Italiano", "italian", nullptr},
    {"PortugueseBrazil", "PTB", "portuguese", nullptr},
    {"PortugueseAccented",
     "Portugu\xEA"
     "ses",
     "portuguese", nullptr},
    {"DutchStandard", "Dutch (Standard)", "dutch", nullptr},
    {"DutchSettingsWord", "Landinstellingen", "dutch", nullptr},
    {"EnglishUs", "United States", "english", nullptr},
    {"EnglishAbbreviation", "ENU", "english", nullptr},
    {"EnglishAccented",
     "Ingl\xE9"
     "s",
     "english", nullptr},
    {"EnglishPlainAsciiMisses", "ingles", "", nullptr},
    {"GermanSpeakersOfFrench", "Allemand", "german", nullptr},
};
INSTANTIATE_TEST_SUITE_P(Keywords, Classifier, ::testing::ValuesIn(ClassifyCases),
                         [](const auto &info) { return std::string(info.param.label); });

TEST(ClassifierMiss, LeavesLanguageUnchanged) {
    char text[] = "Suisse";
    char language[LANGUAGE_BUF] = "previous";
    _getLanguage(text, language);
    EXPECT_STREQ(language, "previous");
    EXPECT_STREQ(text, "suisse");
}

class LanguageSources : public StubDirTest {
  protected:
    static std::string detect() {
        char language[LANGUAGE_BUF];
        getLanguage(language);
        return language;
    }
    static void user(const char *name, const char *value) {
        compat::setRegistryValue(HKEY_CURRENT_USER, IntlKey, name, value);
    }
};

TEST_F(LanguageSources, EnglishWhenNoSourceNamesOne) {
    EXPECT_EQ(detect(), "english");
    user("Locale", "00000407"); // a hex locale number names no language
    EXPECT_EQ(detect(), "english");
}

TEST_F(LanguageSources, UserLocaleBeforeCountryNameBeforeCountry) {
    user("Country", "France");
    EXPECT_EQ(detect(), "french");
    user("sCountry", "Germany");
    EXPECT_EQ(detect(), "german");
    user("Locale", "Italian");
    EXPECT_EQ(detect(), "italian");
}

TEST_F(LanguageSources, MachineLocaleComesLast) {
    // The unnamed value names the value that holds the text.
    compat::setRegistryValue(HKEY_LOCAL_MACHINE, NlsKey, "", "0413");
    compat::setRegistryValue(HKEY_LOCAL_MACHINE, NlsKey, "0413", "Dutch (Standard)");
    EXPECT_EQ(detect(), "dutch");
    user("Country", "Espana");
    EXPECT_EQ(detect(), "spanish");
}

TEST_F(LanguageSources, MachineLocaleWithoutIndirectionGivesNothing) {
    compat::setRegistryValue(HKEY_LOCAL_MACHINE, NlsKey, "", "Dutch");
    EXPECT_EQ(detect(), "english");
}

TEST_F(LanguageSources, OverlongValueGivesNoAnswer) {
    user("sCountry", std::string(250, 'f').insert(0, "france").c_str());
    user("Country", "Germany");
    EXPECT_EQ(detect(), "german");
}

TEST_F(LanguageSources, NoLogWithoutSwitchFile) {
    user("sCountry", "Germany");
    detect();
    EXPECT_FALSE(exists(root + "/locale.log"));
}

TEST_F(LanguageSources, LogHasLinesOfEverySourceWithText) {
    writeFile(root + "/locale.log", "");
    user("Locale", "00000407");
    user("sCountry", "Germany");
    EXPECT_EQ(detect(), "german");
    EXPECT_EQ(readFile(root + "/locale.log"), "getLang1 locale: c language: \n"
                                              "getLang3 locale: 00000407 language: \n"
                                              "German found locale: germany language: german\n"
                                              "getLang4 locale: germany language: german\n");
}

} // namespace
