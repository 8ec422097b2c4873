// The launcher's argument splitting and its refusals of values that do not fit, through the
// host stand-in's process start (the unit tests' launcher reads "app.properties").
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "launcher/velmora.h"
#include "test_launcher_support.h"

namespace {

using Params = std::vector<std::string>;

Params split(const std::string &args) {
    Velmora launcher;
    std::string rest = args;
    std::vector<char> out(args.size() + 1);
    Params params;
    int count = launcher.countParameters(args.c_str());
    while (!rest.empty()) {
        launcher.getNextParameter(&rest[0], out.data(), out.size());
        rest.resize(strlen(rest.c_str()));
        params.push_back(out.data());
    }
    EXPECT_EQ(count, (int)params.size()) << "counting splits as building does";
    return params;
}

struct SplitCase {
    const char *label, *args;
    Params params;
};
void PrintTo(const SplitCase &c, std::ostream *os) {
    *os << c.label;
}

class ArgumentSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(ArgumentSplit, GivesTheseParameters) {
    EXPECT_EQ(split(GetParam().args), GetParam().params);
}

const SplitCase SplitCases[] = {
    {"Empty", "", {}},
    {"SpacesOnlySeparate", "-cp lib\\app.jar demo.Main", {"-cp", "lib\\app.jar", "demo.Main"}},
    {"TrailingSpaceAddsNothing", "a ", {"a"}},
    {"LeadingSpaceAddsAnEmptyOne", " a", {"", "a"}},
    {"AdjacentSpacesGiveAnEmptyOne", "x  y", {"x", "", "y"}},
    {"QuotedGroupThenTextDroppedToTheSpace", "\"a b\"c d", {"a b", "d"}},
    {"QuotedGroupThenTextAtTheEnd", "\"a b\"c", {"a b", "c"}},
    {"UnclosedQuoteIsOrdinary", "\"abc def", {"\"abc", "def"}},
    {"QuoteInsideIsOrdinary", "a\"b c\"", {"a\"b", "c\""}},
    {"TabIsOrdinary", "a\tb c", {"a\tb", "c"}},
    {"EmptyQuotes", "\"\" x", {"", "x"}},
};
INSTANTIATE_TEST_SUITE_P(Args, ArgumentSplit, ::testing::ValuesIn(SplitCases),
                         [](const auto &info) { return std::string(info.param.label); });

class LauncherRun : public LauncherTest {
  protected:
    void properties(const std::string &args, const std::string &startDir = "") {
        writeFile("app.properties", "programName=Demo\nexecFilename=bin\\\\" + exec +
                                        "\nargs=" + args + "\nstartDir=" + startDir + "\n");
    }
    void SetUp() override {
        LauncherTest::SetUp();
        dir("bin");
        writeFile("bin/" + exec, "");
    }
    std::string exec = "java w.exe";
};

TEST_F(LauncherRun, EntryZeroIsQuotedWhenItHoldsASpace) {
    properties("-x");
    EXPECT_EQ(runVelmora("\"a b\" c"), 1);
    ASSERT_EQ(compat::spawns().size(), 1u);
    EXPECT_EQ(compat::spawns()[0].argv, (Params{"\"java w.exe\"", "-x", "\"a b\"", "c"}));
}

// Both boxes: no owner, a stop icon, system-modal; the exit code tells them apart.
TEST_F(LauncherRun, StartupErrorBoxes) {
    properties("-x", "elsewhere"); // a relative path, which the start resolves there
    dir("elsewhere");
    exec = "gone.exe";
    EXPECT_EQ(runVelmora(""), 0) << "a start that fails";
    properties("-x");
    EXPECT_EQ(runVelmora(""), 1) << "an executable that is missing";
    ASSERT_EQ(compat::messageBoxes().size(), 2u);
    for (const auto &box : compat::messageBoxes()) {
        EXPECT_EQ(box.caption, "Startup Error");
        EXPECT_EQ(box.type, 0x1010u);
    }
    EXPECT_EQ(compat::messageBoxes()[0].text.substr(0, 19), "Error starting Demo");
    EXPECT_EQ(compat::messageBoxes()[1].text.substr(0, 20), "Unable to start Demo");
}

// A missing executable and no runtime: the bare name is looked for in the launcher's own
// folder, never in the folder the user started it from.
TEST_F(LauncherRun, MissingExecutableFallsBackOnTheLaunchersFolder) {
    exec = "javaw.exe";
    properties("-x");
    writeFile("javaw.exe", ""); // in the current folder: a downloads folder, say
    dir("app");
    writeFile("app/javaw.exe", "");
    compat::setModulePath((root + "/app\\Demo.exe").c_str());
    EXPECT_EQ(runVelmora(""), 1);
    ASSERT_EQ(compat::spawns().size(), 1u);
    EXPECT_EQ(compat::spawns()[0].path, root + "/app\\javaw.exe");
}

// Each value one character over what it may hold (the tail alone takes no separating space):
// nothing starts, and errors.log names it.
TEST_F(LauncherRun, NothingStartsWithAValueThatDoesNotFit) {
    const struct {
        std::string args, startDir, tail, refused;
    } rows[] = {
        {"", "", std::string(5001, 'b'), "args (with the command-line tail)"},
        {std::string(4980, 'a'), root, "", "args (in the launch command)"},
    };
    for (const auto &row : rows) {
        properties(row.args, row.startDir);
        writeFile("errors.log", "");
        EXPECT_EQ(runVelmora(row.tail.c_str()), 0) << row.refused;
        EXPECT_TRUE(compat::spawns().empty()) << row.refused;
        EXPECT_EQ(messages("errors.log").back().substr(0, 19 + row.refused.size()),
                  "Value too long for " + row.refused);
    }
}

} // namespace
