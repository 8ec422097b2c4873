// The localised failure text and the error box that shows it.
#include <gtest/gtest.h>

#include <ostream>

#include <string>

#include "compat/control.h"
#include "stub/stub.h"
#include "test_stub_support.h"

namespace {

struct FailureCase {
    const char *label;
    const char *country; // HKCU "Control Panel\International" sCountry, or nullptr
    const char *text;
};
// Test names and failure output show the case by its label.
void PrintTo(const FailureCase &c, std::ostream *os) {
    *os << c.label;
}

class FailureText : public StubDirTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailureText, FollowsTheUsersLanguage) {
    const FailureCase &c = GetParam();
    if (c.country != nullptr)
        compat::setRegistryValue(HKEY_CURRENT_USER, "Control Panel\\International", "sCountry",
                                 c.country);
    char text[MESSAGE_BUF];
    getUnableToExtractMessage(text);
    EXPECT_STREQ(text, c.text);
}

const FailureCase FailureCases[] = {
    {"NoLanguageSet", nullptr, "\rUnable to unpack the installer."},
    {"English", "United States", "\rUnable to unpack the installer."},
    {"French", "France", "\rImpossible d'extraire des fichiers."},
    {"German", "Germany", "\rNicht imstande, Dateien zu extrahieren."},
    {"Spanish", "Espana", "\rNo es posible extraer archivos."},
    {"Polish", "Polish", "\rUnable to extract files."},
    {"Italian", "Italia", "\rIncapace estrarre gli archivi."},
    {"Portuguese", "PTG", "\rIncapaz de extrair arquivos."},
    {"Japanese", "Japan", "\rUnable to unpack the installer."}, // "japan" names no language
    {"JapaneseAbbreviation", "JPN", "\rUnable to extract files."},
    {"Dutch", "Dutch", "\rUnable to extract files."},
    {"UnknownCountry", "Suisse", "\rUnable to unpack the installer."},
};
INSTANTIATE_TEST_SUITE_P(Languages, FailureText, ::testing::ValuesIn(FailureCases),
                         [](const auto &info) { return std::string(info.param.label); });

TEST(ErrorBox, HasNoOwnerTitleAndStopIcon) {
    compat::reset();
    showError((HWND)0x1234, "\rUnable to extract files.");
    ASSERT_EQ(compat::messageBoxes().size(), 1u);
    const compat::MessageBoxCall &box = compat::messageBoxes()[0];
    EXPECT_EQ(box.text, "\rUnable to extract files.");
    EXPECT_EQ(box.caption, "Brevanto Installer: Error");
    EXPECT_EQ(box.type, 0x1010u);
    compat::reset();
}

} // namespace
