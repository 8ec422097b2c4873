// Wildcard patterns of the command line against member names.
#include <gtest/gtest.h>

#include "unzip/unzip.h"

namespace {

struct Case {
    const char *pattern, *name;
    int ignoreCase;
    int matches;
};

const Case cases[] = {
    {"*.txt", "a/b.txt", 0, 1}, // "*" crosses directories
    {"*.txt", "a/b.txt.bak", 0, 0},
    {"a?c", "abc", 0, 1},
    {"a?c", "ac", 0, 0},
    {"[!a-c]x", "dx", 0, 1},
    {"[!a-c]x", "bx", 0, 0},
    {"[^a-c]x", "bx", 0, 0},
    {"[a-c]x", "bx", 0, 1},
    {"[c-a]x", "bx", 0, 0}, // a reversed range matches nothing
    {"[]", "]", 0, 0},      // "[]" never matches
    {"[]", "", 0, 0},
    {"[-z]", "-", 0, 1},   // "-" first is literal
    {"[a-]", "-", 0, 1},   // "-" last is literal
    {"[a\\]]", "]", 0, 1}, // escaped "]" inside a set
    {"[abc", "a", 0, 0},   // unterminated set
    {"\\*", "*", 0, 1},
    {"\\*", "x", 0, 0},
    {"a\\", "a", 0, 0},        // a lone trailing backslash fails
    {"README", "read*", 1, 0}, // pattern and name are not symmetric
    {"read*", "README", 1, 1},
    {"read*", "README", 0, 0},
    {"\xC9t\xC9", "\xE9t\xE9", 1, 1}, // Latin-1 capitals fold
    {"\xD7", "\xF7", 1, 0},           // but not the multiplication sign
    {"*", "", 0, 1},
    {"", "", 0, 1},
    {"", "a", 0, 0},
    {"*a*b*c*", "xxaxxbxxcxx", 0, 1},
    {"*a*b*c*d", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaabbbbbbbbbbbbbbbbbbbbcccccccccccc", 0, 0},
};

TEST(Wildcard, MatchesAsDocumented) {
    for (const Case &c : cases)
        EXPECT_EQ(c.matches, match(c.name, c.pattern, c.ignoreCase))
            << "pattern " << c.pattern << " name " << c.name;
}

TEST(Wildcard, StarReportsThatNoLaterStartCanMatch) {
    EXPECT_EQ(2, recmatch((const uint8_t *)"*x", (const uint8_t *)"abc", 0));
}

} // namespace
