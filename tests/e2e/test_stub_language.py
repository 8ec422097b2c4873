"""The language of the stub's error box, chosen by the user's locale values in the registry.

The stub reads HKCU\\Control Panel\\International: "Locale" first, then "sCountry", then
"Country" (the runtime locale "C" before them matches nothing). Each case writes Locale and
sCountry, removes Country, runs the stub without an archive and reads the box text back.
"""

import unittest

from stubtools import (BOX_TITLE, TEXT_ENGLISH, TEXT_FRENCH, TEXT_GERMAN, TEXT_ITALIAN,
                       TEXT_OTHER, TEXT_PORTUGUESE, TEXT_SPANISH, StubTestCase)

# (test name, Locale, sCountry, expected box text)
CASES = [
    ("english_by_default", "00000409", "United States", TEXT_ENGLISH),
    ("german_from_scountry_germany", "00000407", "Germany", TEXT_GERMAN),
    ("german_from_scountry_deutschland", "00000407", "Deutschland", TEXT_GERMAN),
    ("french_from_scountry_france", "0000040C", "France", TEXT_FRENCH),
    ("japanese_from_locale_name", "Japanese_Japan.932", "Japan", TEXT_OTHER),
    ("japanese_from_abbreviation", "00000411", "JPN", TEXT_OTHER),
    ("spanish_from_scountry", "0000040A", "Espana", TEXT_SPANISH),
    ("italian_from_scountry", "00000410", "Italy", TEXT_ITALIAN),
    ("portuguese_from_locale_name", "Portuguese_Brazil.1252", "Brazil", TEXT_PORTUGUESE),
    ("polish_from_locale_name", "Polish_Poland.1250", "Poland", TEXT_OTHER),
    ("dutch_from_locale_name", "Dutch_Netherlands.1252", "Netherlands", TEXT_OTHER),
    ("locale_wins_over_scountry", "French_France.1252", "Germany", TEXT_FRENCH),
    ("nothing_matching_falls_back_to_english", "00000413", "Suisse", TEXT_ENGLISH),
]


class FailureBoxLanguage(StubTestCase):
    @classmethod
    def tearDownClass(cls):
        cls.wine.reset_locale()
        super().tearDownClass()

    def setUp(self):
        super().setUp()
        self.place_start_and_temp()

    def check(self, locale, scountry, expected):
        self.wine.set_locale(locale=locale, scountry=scountry, country=None)
        result = self.run_stub(self.start, env={"TEMP": self.temp})
        # The box was found by its exact title, so the title is right too.
        self.assertEqual(result.boxes, [expected], f"{BOX_TITLE!r}: {result}")
        self.assertEqual(result.exit_code, 0, result)


def _make_case(locale, scountry, expected):
    def test(self):
        self.check(locale, scountry, expected)
    test.__doc__ = f"Locale {locale!r}, sCountry {scountry!r}"
    return test


for _name, _locale, _scountry, _expected in CASES:
    setattr(FailureBoxLanguage, f"test_{_name}", _make_case(_locale, _scountry, _expected))


if __name__ == "__main__":
    unittest.main()
