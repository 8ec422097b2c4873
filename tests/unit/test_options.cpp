// The engine front: option letters with negation, the invalid combinations and their
// messages, usage, and the include/exclude lists built from the remaining arguments.
#include <gtest/gtest.h>

#include <ostream>

#include <signal.h>
#include <string.h>
#include <string>
#include <vector>

#include "compat/control.h"
#include "stub/stub.h"
#include "unzip/unzip.h"

namespace {

struct Message {
    std::string text;
    int flags;
};
std::vector<Message> messages;

int captureMessage(void *, uint8_t *text, uint32_t size, int flags) {
    messages.push_back({std::string((const char *)text, size), flags});
    return 0;
}

const char InvalidText[] =
    "error:  -fn or any combination of -c, -l, -p, -t, -u and -v options invalid\n";
const char CautionText[] = "caution:  both -n and -o specified; ignoring -o\n";
const char OptionsLine[] = "Valid options are -tfupcz; modifiers are -abjnoqsCLMVs$.\n";

// An argument vector the functions may rearrange and write into.
struct Args {
    explicit Args(std::vector<std::string> items) : storage(std::move(items)) {
        storage.insert(storage.begin(), "ombrelin.exe");
        for (std::string &s : storage)
            pointers.push_back(&s[0]);
        pointers.push_back(nullptr);
    }
    int argc() const { return (int)storage.size(); }
    char **argv() { return pointers.data(); }
    std::vector<std::string> storage;
    std::vector<char *> pointers;
};

class EngineFront : public ::testing::Test {
  protected:
    void SetUp() override {
        compat::reset();
        memset(&G, 0, sizeof G);
        globalsCtor();
        G.message_fn = captureMessage;
        messages.clear();
        savedInt = signal(SIGINT, SIG_DFL);
        savedTerm = signal(SIGTERM, SIG_DFL);
        savedSegv = signal(SIGSEGV, SIG_DFL);
        signal(SIGINT, savedInt);
        signal(SIGTERM, savedTerm);
        signal(SIGSEGV, savedSegv);
    }
    void TearDown() override {
        // unzip installs the engine's handlers; the test process keeps its own.
        signal(SIGINT, savedInt);
        signal(SIGTERM, savedTerm);
        signal(SIGSEGV, savedSegv);
    }

    // Parses the options; remaining receives the arguments left for the file lists.
    int parse(std::vector<std::string> items, std::vector<std::string> *remaining = nullptr) {
        args = std::make_unique<Args>(std::move(items));
        int argc = args->argc();
        char **argv = args->argv();
        int result = uz_opts(&argc, &argv);
        leftCount = argc;
        if (remaining != nullptr)
            for (int i = 0; i < argc; ++i)
                remaining->push_back(argv[i]);
        return result;
    }

    bool sent(const char *text, int flags) const {
        for (const Message &m : messages)
            if (m.text == text && m.flags == flags) return true;
        return false;
    }

    std::unique_ptr<Args> args;
    int leftCount = 0;
    void (*savedInt)(int), (*savedTerm)(int), (*savedSegv)(int);
};

TEST_F(EngineFront, NegationLowersCountsButNotBelowZero) {
    EXPECT_EQ(parse({"-aa", "--a"}), 0);
    EXPECT_EQ(G.text_conv, 1);
    EXPECT_EQ(parse({"---a", "-qq", "--q"}), 0);
    EXPECT_EQ(G.text_conv, 0) << "two levels taken from one stop at zero";
    EXPECT_EQ(G.quiet_level, 1);
}

TEST_F(EngineFront, TextConversionCappedAndNegatedSwitches) {
    EXPECT_EQ(parse({"-aaaa", "-U"}), 0);
    EXPECT_EQ(G.text_conv, 2);
    EXPECT_EQ(G.lower_names, 0);
    EXPECT_EQ(parse({"-f", "--U"}), 0);
    EXPECT_EQ(G.freshen + G.update_only, 2);
    EXPECT_EQ(G.lower_names, 1) << "negated U turns lower-casing on";
    EXPECT_EQ(parse({"--f"}), 0);
    EXPECT_EQ(G.freshen + G.update_only, 0);
}

TEST_F(EngineFront, NegationWaitsForALetterThatHonoursIt) {
    EXPECT_EQ(parse({"-jj", "--eij"}), 0);
    EXPECT_EQ(G.junk_dirs, 0);
}

TEST_F(EngineFront, PipeAndExtractingFlag) {
    EXPECT_EQ(parse({"-p"}), 0);
    EXPECT_EQ(G.to_sink, 1);
    EXPECT_EQ(G.quiet_level, 999);
    EXPECT_EQ(G.extracting, 0);
    EXPECT_EQ(parse({"--p"}), 0);
    EXPECT_EQ(G.to_sink, 0);
    EXPECT_EQ(G.quiet_level, 0);
    EXPECT_EQ(G.extracting, 1);
    EXPECT_EQ(parse({"-z"}), 0);
    EXPECT_EQ(G.extracting, 0);
}

struct InvalidCase {
    const char *label;
    std::vector<std::string> options;
};
// Test names and failure output show the case by its label.
void PrintTo(const InvalidCase &c, std::ostream *os) {
    *os << c.label;
}

class InvalidCombination : public EngineFront, public ::testing::WithParamInterface<InvalidCase> {};

TEST_P(InvalidCombination, SendsMessageAndUsage) {
    EXPECT_EQ(parse(GetParam().options), 10);
    EXPECT_TRUE(sent(InvalidText, 0x401));
    EXPECT_TRUE(sent(OptionsLine, MF_ERRSTREAM));
}

const InvalidCase InvalidCases[] = {
    {"SinkAndTest", {"-c", "-t"}}, {"SinkAndUpdate", {"-cu"}}, {"TestAndUpdate", {"-t", "-u"}},
    {"FreshenAndNever", {"-fn"}},  {"PipeAndTest", {"-pt"}},
};
INSTANTIATE_TEST_SUITE_P(Options, InvalidCombination, ::testing::ValuesIn(InvalidCases),
                         [](const auto &info) { return std::string(info.param.label); });

TEST_F(EngineFront, NeverOverwriteIgnoresOverwrite) {
    EXPECT_EQ(parse({"-n", "-oo"}), 0);
    EXPECT_TRUE(sent(CautionText, 0x401));
    EXPECT_EQ(G.overwrite_always, 0);
    EXPECT_EQ(G.no_overwrite, 1);
}

TEST_F(EngineFront, UnknownLetterGivesUsageOnErrorStream) {
    EXPECT_EQ(parse({"-K"}), 10);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[0].text.find("5.32"), std::string::npos);
    EXPECT_NE(messages[0].text.find("3 November 1997"), std::string::npos);
    EXPECT_EQ(messages[0].flags & MF_ERRSTREAM, MF_ERRSTREAM);
    EXPECT_EQ(messages[1].text, OptionsLine);
}

TEST_F(EngineFront, HelpPrintsUsageAndStops) {
    std::vector<std::string> left;
    EXPECT_EQ(parse({"-a", "-h", "-K"}, &left), 0);
    EXPECT_EQ(leftCount, -1);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].text, OptionsLine);
    EXPECT_EQ(messages[1].flags & MF_ERRSTREAM, 0);
    EXPECT_EQ(usage(0), 0);
    EXPECT_EQ(usage(1), 10);
}

TEST_F(EngineFront, RemainingArgumentsFollowTheOptions) {
    std::vector<std::string> left;
    EXPECT_EQ(parse({"-o", "file", "-q"}, &left), 0);
    EXPECT_EQ(left, (std::vector<std::string>{"file", "-q"}));
    EXPECT_EQ(G.quiet_level, 0) << "options end at the first pattern";
}

TEST_F(EngineFront, ExcludeMarkerEndsOptionsOnlyBeforeAPattern) {
    std::vector<std::string> left;
    EXPECT_EQ(parse({"-j", "-x", "a.txt"}, &left), 0);
    EXPECT_EQ(left, (std::vector<std::string>{"-x", "a.txt"}));
    left.clear();
    EXPECT_EQ(parse({"-x", "-j"}, &left), 0);
    EXPECT_TRUE(left.empty());
    EXPECT_EQ(G.junk_dirs, 1);
    left.clear();
    EXPECT_EQ(parse({"-xj", "a.txt"}, &left), 0) << "x inside a group has no effect";
    EXPECT_EQ(left, (std::vector<std::string>{"a.txt"}));
}

struct ListCase {
    const char *label;
    std::vector<std::string> patterns;
    int selectAll;
    std::vector<std::string> include; // up to the null entry
    std::vector<std::string> exclude;
};
// Test names and failure output show the case by its label.
void PrintTo(const ListCase &c, std::ostream *os) {
    *os << c.label;
}

class FileLists : public EngineFront, public ::testing::WithParamInterface<ListCase> {};

TEST_P(FileLists, SplitAtExcludeMarker) {
    const ListCase &c = GetParam();
    Args a(c.patterns);
    setFileLists(a.argc() - 1, a.argv() + 1);
    EXPECT_EQ(G.select_all, c.selectAll);
    std::vector<std::string> include, exclude;
    for (char **p = G.include_names; *p != nullptr; ++p)
        include.push_back(*p);
    for (int i = 0; i < G.exclude_count; ++i)
        exclude.push_back(G.exclude_names[i]);
    EXPECT_EQ(include, c.include);
    bool defaultList = !c.include.empty() && c.include[0] == "*";
    EXPECT_EQ(G.include_count, defaultList ? 0 : (int)c.include.size());
    EXPECT_EQ(exclude, c.exclude);
}

const ListCase ListCases[] = {
    {"NoPatternsSelectAll", {}, 1, {}, {}},
    {"IncludesOnly", {"a", "b"}, 0, {"a", "b"}, {}},
    {"ExcludeFirstKeepsEveryOtherMember", {"-x", "a", "b"}, 0, {"*"}, {"a", "b"}},
    {"ExcludeLaterEndsIncludeList", {"a", "c", "-x", "b"}, 0, {"a", "c"}, {"b"}},
};
INSTANTIATE_TEST_SUITE_P(Patterns, FileLists, ::testing::ValuesIn(ListCases),
                         [](const auto &info) { return std::string(info.param.label); });

TEST_F(EngineFront, UnzipReturnsBadOptionsBeforeTheEngine) {
    Args a({"-ct"});
    EXPECT_EQ(unzip(a.argc(), a.argv()), 10);
    EXPECT_STREQ(G.program_arg0, "ombrelin.exe");
    EXPECT_EQ(G.listing_mode, 0);
    messages.clear();
    Args help({"-h"});
    EXPECT_EQ(unzip(help.argc(), help.argv()), 0);
    EXPECT_EQ(messages.size(), 2u);
}

TEST_F(EngineFront, UnzipSlashesPatternsAndForcesQuietness) {
    compat::setModulePath("/nonexistent/package.exe"); // the engine finds no archive
    Args a({"-q", "dir\\sub\\*.txt", "-x", "dir\\skip.txt"});
    unzip(a.argc(), a.argv());
    EXPECT_EQ(a.storage[2], "dir/sub/*.txt");
    EXPECT_EQ(a.storage[4], "dir/skip.txt");
    EXPECT_EQ(G.quiet_level, 4);
    EXPECT_EQ(G.include_count, 1);
    EXPECT_EQ(G.exclude_count, 1);
}

} // namespace
