// The engine front: option letters with negation, the invalid combinations and their
// messages, usage, and the include/exclude lists built from the remaining arguments.
#include <gtest/gtest.h>

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

TEST_F(EngineFront, TextConversionIsCappedAtTwo) {
    EXPECT_EQ(parse({"-aaaa"}), 0);
    EXPECT_EQ(G.text_conv, 2);
    EXPECT_EQ(parse({"-b"}), 0);
    EXPECT_EQ(G.text_conv, 0);
}

TEST_F(EngineFront, SwitchesAndTheirNegations) {
    EXPECT_EQ(parse({"-jLCV$X", "-XM"}), 0);
    EXPECT_EQ(G.junk_dirs, 1);
    EXPECT_EQ(G.lower_names, 1);
    EXPECT_EQ(G.match_nocase, 1);
    EXPECT_EQ(G.keep_versions, 1);
    EXPECT_EQ(G.labels_too, 1);
    EXPECT_EQ(G.security_level, 2);
    EXPECT_EQ(parse({"--j", "--U", "--C"}), 0);
    EXPECT_EQ(G.junk_dirs, 0);
    EXPECT_EQ(G.lower_names, 1) << "negated U turns lower-casing on";
    EXPECT_EQ(G.match_nocase, 0);
    EXPECT_EQ(parse({"-U"}), 0);
    EXPECT_EQ(G.lower_names, 0);
    EXPECT_EQ(parse({"-f"}), 0);
    EXPECT_EQ(G.freshen, 1);
    EXPECT_EQ(G.update_only, 1);
    EXPECT_EQ(parse({"--f"}), 0);
    EXPECT_EQ(G.freshen, 0);
    EXPECT_EQ(G.update_only, 0);
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

TEST_F(EngineFront, FileListsWithoutPatternsSelectAll) {
    Args a({});
    setFileLists(0, a.argv() + 1);
    EXPECT_EQ(G.select_all, 1);
    EXPECT_EQ(G.include_count, 0);
    EXPECT_EQ(G.exclude_count, 0);
}

TEST_F(EngineFront, FileListsWithIncludesOnly) {
    Args a({"a", "b"});
    setFileLists(2, a.argv() + 1);
    EXPECT_EQ(G.select_all, 0);
    EXPECT_EQ(G.include_count, 2);
    EXPECT_STREQ(G.include_names[1], "b");
    EXPECT_EQ(G.exclude_count, 0);
}

TEST_F(EngineFront, ExcludeFirstKeepsEveryOtherMember) {
    Args a({"-x", "a", "b"});
    setFileLists(3, a.argv() + 1);
    EXPECT_EQ(G.select_all, 0);
    EXPECT_EQ(G.include_count, 0);
    EXPECT_STREQ(G.include_names[0], "*");
    EXPECT_EQ(G.include_names[1], nullptr);
    EXPECT_EQ(G.exclude_count, 2);
    EXPECT_STREQ(G.exclude_names[0], "a");
    EXPECT_STREQ(G.exclude_names[1], "b");
}

TEST_F(EngineFront, ExcludeLaterEndsIncludeList) {
    Args a({"a", "c", "-x", "b"});
    setFileLists(4, a.argv() + 1);
    EXPECT_EQ(G.include_count, 2);
    EXPECT_EQ(G.include_names[2], nullptr);
    EXPECT_EQ(G.exclude_count, 1);
    EXPECT_STREQ(G.exclude_names[0], "b");
}

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
