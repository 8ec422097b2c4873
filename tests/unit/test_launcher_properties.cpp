// The launch properties file: escapes, key order and repeats, line limits, refused values,
// and the replacement of a missing executable by a registered runtime's.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "launcher/buffers.h"
#include "launcher/getparam.h"
#include "test_launcher_support.h"

namespace {

struct Settings {
    std::string programName, execFilename, args, startDir;
    bool operator==(const Settings &o) const {
        return programName == o.programName && execFilename == o.execFilename && args == o.args &&
               startDir == o.startDir;
    }
};
std::ostream &operator<<(std::ostream &os, const Settings &s) {
    return os << "{" << s.programName << "|" << s.execFilename << "|" << s.args << "|" << s.startDir
              << "}";
}

class Properties : public LauncherTest {
  protected:
    // Parses text as "app.properties"; the result code goes to *result.
    Settings parse(const std::string &text, int *result = nullptr) {
        writeFile("app.properties", text);
        char name[PATH_SIZE], exec[PATH_SIZE], args[ARGS_SIZE], start[PATH_SIZE] = "earlier";
        int r = GetParameters().parseParameters(name, exec, args, start, "app.properties");
        if (result != nullptr) *result = r;
        return Settings{name, exec, args, start};
    }
};

struct ParseCase {
    const char *label, *text;
    Settings expected;
};
void PrintTo(const ParseCase &c, std::ostream *os) {
    *os << c.label;
}

class PropertyLines : public Properties, public ::testing::WithParamInterface<ParseCase> {};

TEST_P(PropertyLines, GiveTheseValues) {
    int result;
    EXPECT_EQ(parse(GetParam().text, &result), GetParam().expected);
    EXPECT_EQ(result, 1);
}

const ParseCase ParseCases[] = {
    {"NothingSetLeavesAllEmpty", "# programName=x\nProgramName=x\n\n", {"", "", "", ""}},
    {"DoubledBackslashIsOne",
     "execFilename=C:\\\\jre\\\\bin\\\\javaw.exe\n",
     {"", "C:\\jre\\bin\\javaw.exe", "", ""}},
    {"BackslashKeepsTheNextCharacter",
     "programName=C:\\App \\n\\\\\\\\\n",
     {"C:App n\\\\", "", "", ""}},
    {"BackslashAtLineEndGoes", "args=a\\\nstartDir=x\\", {"", "", "a", "x"}},
    {"NothingIsTrimmed", "args = -x \n", {"", "", "= -x ", ""}},
    {"AnyCharacterSeparates", "startDirectory=D:\nargsX=1", {"", "", "=1", "ctory=D:"}},
    {"FirstNonEmptyWins",
     "programName=\nprogramName=Demo\nprogramName=Other\n",
     {"Demo", "", "", ""}},
    {"LastStartDirWins", "startDir=A\nstartDir=B", {"", "", "", "B"}},
    {"KeyAloneSetsEmpty", "startDir=A\nstartDir\n", {"", "", "", ""}},
    {"EscapedKeyCounts", "prog\\ramName=P", {"P", "", "", ""}},
};
INSTANTIATE_TEST_SUITE_P(Files, PropertyLines, ::testing::ValuesIn(ParseCases),
                         [](const auto &info) { return std::string(info.param.label); });

// fgets takes 9998 characters; the rest of a longer line is read as a line of its own.
TEST_F(Properties, LongLinesSplitAtTheReadLimit) {
    std::string filler(LINE_LIMIT - 1, 'x');
    EXPECT_EQ(parse(filler + "startDir=S\n").startDir, "S");
    EXPECT_EQ(parse(filler.substr(1) + "startDir=S\n").startDir, "");
}

TEST_F(Properties, FinalLineFeedYieldsOneMoreEmptyLine) {
    traceOn();
    parse("a=\\1\n");
    // The accent is U+00B4 in UTF-8.
    EXPECT_EQ(
        messages("startapp.log"),
        (Lines{"original line a=\\1", "unescaped line a=1", "original line ", "unescaped line ",
               "exec doesn\xC2\xB4t exist: ", "unable to find a compatible Jvm"}));
    writeFile("startapp.log", "");
    parse("a=1");
    EXPECT_EQ(messages("startapp.log")[2], "exec doesn\xC2\xB4t exist: ");
}

// Each limit: the longest value that fits, and one character more, which makes the file
// unusable rather than cut.
TEST_F(Properties, ValuesFitTheirBuffersOrTheFileIsRefused) {
    const struct {
        const char *key;
        size_t room;
    } limits[] = {{"programName", 260}, {"args", 5000}, {"startDir", 260}, {"jvmMinVersion", 259}};
    for (const auto &limit : limits) {
        int result;
        parse(std::string(limit.key) + "=" + std::string(limit.room, 'v'), &result);
        EXPECT_EQ(result, 1) << limit.key;
        parse(std::string(limit.key) + "=" + std::string(limit.room + 1, 'v'), &result);
        EXPECT_EQ(result, 0) << limit.key;
        EXPECT_EQ(messages("errors.log").back(),
                  std::string("Value too long for ") + limit.key + " in app.properties");
    }
}

TEST_F(Properties, ReadErrorEndsTheFile) {
    dir("folder.properties"); // opens on the host, and every read fails
    char name[PATH_SIZE], exec[PATH_SIZE], args[ARGS_SIZE], start[PATH_SIZE];
    EXPECT_EQ(GetParameters().parseParameters(name, exec, args, start, "folder.properties"), 0);
    EXPECT_EQ(messages("errors.log"), Lines{"Unable to read file folder.properties"});
}

TEST_F(Properties, OverlongPropertyFileNameIsUnconfigured) {
    GetParameters params;
    ASSERT_EQ(params.setPropertyFilename(std::string(261, 'p').c_str()), 1);
    char name[PATH_SIZE], exec[PATH_SIZE], args[ARGS_SIZE], start[PATH_SIZE];
    EXPECT_EQ(params.getParameters(name, exec, args, start), 0);
    EXPECT_EQ(messages("errors.log"), Lines{"The program has not been properly configured."});
    EXPECT_EQ(params.setPropertyFilename(std::string(301, 'p').c_str()), 0);
}

struct ExecCase {
    const char *label, *configured, *present; // present: file in the runtime's bin, or ""
    const char *expected;                     // relative to the runtime's home
};
void PrintTo(const ExecCase &c, std::ostream *os) {
    *os << c.label;
}

class RuntimeExec : public Properties, public ::testing::WithParamInterface<ExecCase> {};

TEST_P(RuntimeExec, ReplacesTheMissingExecutable) {
    const ExecCase &c = GetParam();
    std::string home = dir("jre");
    dir("jre/bin");
    if (c.present[0]) writeFile(home + "/bin/" + c.present, "");
    compat::setRegistryValue(HKEY_LOCAL_MACHINE,
                             "SOFTWARE\\JavaSoft\\Java Runtime Environment\\1.8", "JavaHome",
                             home.c_str());
    Settings s = parse(std::string("execFilename=") + c.configured + "\njvmMinVersion=1.8\n");
    EXPECT_EQ(s.execFilename, c.expected[0] ? home + c.expected : c.configured);
}

const ExecCase ExecCases[] = {
    {"ExeAddedToABareName", "C:\\\\old\\\\javaw", "javaw.exe", "\\bin\\javaw.exe"},
    {"NameWithExeKept", "javaw.exe", "javaw.exe", "\\bin\\javaw.exe"},
    {"NameWithoutExeFound", "java", "java", "\\bin\\java"},
    {"MissingInTheRuntimeKeepsTheConfiguredPath", "javaw", "", ""},
    {"EmptyNameTakesJavaw", "", "javaw.exe", "\\bin\\javaw.exe"},
};
INSTANTIATE_TEST_SUITE_P(Names, RuntimeExec, ::testing::ValuesIn(ExecCases),
                         [](const auto &info) { return std::string(info.param.label); });

// The first runtime would need a path too long for execFilename: it is passed over.
TEST_F(Properties, RuntimeWhosePathDoesNotFitIsPassedOver) {
    const std::string name(60, 'j');
    std::string longHome = dir(std::string(200, 'h')), home = dir("jdk11");
    for (const std::string &h : {longHome, home}) {
        dir(h.substr(root.size() + 1) + "/bin");
        writeFile(h + "/bin/" + name, "");
    }
    compat::setRegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\JRE\\17", "JavaHome",
                             longHome.c_str());
    compat::setRegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\JRE\\11", "JavaHome",
                             home.c_str());
    int result;
    Settings s = parse("execFilename=" + name + "\n", &result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(s.execFilename, home + "\\bin\\" + name);
}

} // namespace
