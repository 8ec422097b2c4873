// Splitting the stub's command-line tail into the quiet marker, the install directory and
// the engine's arguments.
#include <gtest/gtest.h>

#include <ostream>

#include <string>
#include <vector>

#include "stub/stub.h"

namespace {

struct Split {
    int quiet;
    std::string installDir;
    std::vector<std::string> engineArgs; // without entry 0
};

Split split(const std::string &tail) {
    std::string text = tail;
    int quiet = -1, properties = 7, argc = -1;
    char *dir = nullptr;
    char **argv = nullptr;
    getArguments(&text[0], &quiet, &properties, &dir, &argc, &argv);
    Split result{quiet, dir, {}};
    free(dir);
    EXPECT_EQ(properties, 7) << "the properties flag is never written";
    EXPECT_EQ(text, tail) << "the caller's tail is left as it was";
    EXPECT_GE(argc, 1);
    EXPECT_STREQ(argv[0], "ombrelin.exe");
    EXPECT_EQ(argv[argc], nullptr);
    for (int i = 1; i < argc; ++i)
        result.engineArgs.push_back(argv[i]);
    freeArguments(argc, argv);
    return result;
}

struct SplitCase {
    const char *label;
    const char *tail;
    int quiet;
    const char *installDir;
    std::vector<std::string> engineArgs;
};
// Test names and failure output show the case by its label.
void PrintTo(const SplitCase &c, std::ostream *os) {
    *os << c.label;
}

class CommandLineSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(CommandLineSplit, YieldsQuietDirectoryAndEngineArguments) {
    const SplitCase &c = GetParam();
    Split s = split(c.tail);
    EXPECT_EQ(s.quiet, c.quiet);
    EXPECT_EQ(s.installDir, c.installDir);
    EXPECT_EQ(s.engineArgs, c.engineArgs);
}

const SplitCase SplitCases[] = {
    {"EmptyTail", "", 0, "", {}},
    {"QuietWithDirectory", "-q C:\\Apps", 1, "C:\\Apps", {}},
    {"QuotedDirWithSpacesThenEmptyToken",
     "-q \"C:\\Program Files\\App\" x",
     1,
     "C:\\Program Files\\App",
     {"", "x"}},
    {"QuotedDirWithSpacesLast", "-q \"C:\\Program Files\\App\"", 1, "C:\\Program Files\\App", {}},
    {"QuotedDirAsLastToken", "-q \"C:\\Apps\"", 1, "C:\\Apps", {}},
    {"QuotedDirWholeToken", "-q \"C:\\Apps\" y", 1, "C:\\Apps", {"y"}},
    {"UnclosedQuoteTakesToken", "-q \"C:\\abc def", 1, "C:\\abc", {"def"}},
    {"QuietAloneGoesToEngine", "-q", 0, "", {"-q"}},
    {"QuietLastGoesToEngine", "a.txt -q", 0, "", {"a.txt", "-q"}},
    {"QuietInsideToken", "-qq D:\\x", 1, "D:\\x", {}},
    {"DirHoldingQuietMarker", "-q C:\\my-qdir D:\\inst x", 1, "D:\\inst", {"x"}},
    {"TokensAroundQuiet", "a -q C:\\d b c", 1, "C:\\d", {"a", "b", "c"}},
    {"AdjacentSpacesGiveEmptyArgument", "a  b", 0, "", {"a", "", "b"}},
    {"EmptyTokenAfterQuietIsNoDirectory", "-q  D:\\x", 1, "D:\\x", {}},
    {"TabIsOrdinary", "a\tb", 0, "", {"a\tb"}},
    {"TrailingSpaceGivesNothingMore", "a ", 0, "", {"a"}},
    {"OptionsAndPatterns", "-o dir\\*.txt", 0, "", {"-o", "dir\\*.txt"}},
};

INSTANTIATE_TEST_SUITE_P(Tails, CommandLineSplit, ::testing::ValuesIn(SplitCases),
                         [](const auto &info) { return std::string(info.param.label); });

// A cut directory would make the installer install somewhere else.
TEST(CommandLineLimits, LongInstallDirectoryIsKeptWhole) {
    std::string longDir(300, 'd');
    EXPECT_EQ(split("-q " + longDir).installDir, longDir);
    Split middle = split("-q " + longDir + " x");
    EXPECT_EQ(middle.installDir, longDir);
    EXPECT_EQ(middle.engineArgs, std::vector<std::string>{"x"});
    Split quoted = split("-q \"" + longDir + " tail\" y");
    EXPECT_EQ(quoted.installDir, longDir + " tail");
    EXPECT_EQ(quoted.engineArgs, (std::vector<std::string>{"", "y"}));
}

TEST(CommandLineLimits, NullTailIsEmpty) {
    int quiet, properties, argc;
    char *dir = nullptr;
    char **argv;
    getArguments(nullptr, &quiet, &properties, &dir, &argc, &argv);
    EXPECT_EQ(argc, 1);
    EXPECT_STREQ(dir, "");
    free(dir);
    freeArguments(argc, argv);
}

TEST(CommandLineLimits, ManyTokensAllKept) {
    std::string tail;
    for (int i = 0; i < 200; ++i)
        tail += "t ";
    Split s = split(tail);
    EXPECT_EQ(s.engineArgs.size(), 200u);
}

} // namespace
