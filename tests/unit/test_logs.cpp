// The stub's logs and clean-up: "errors.log" lines, the "term.log" switch, switch-file
// copies, directory removal, the worker's run and failure steps, and the hand-off.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "compat/control.h"
#include "engine_fixture.h"
#include "stub/stub.h"
#include "test_stub_support.h"
#include "unzip/unzip.h"

namespace {

class StubLogs : public StubDirTest {
  protected:
    void SetUp() override {
        StubDirTest::SetUp();
        start = dir("start");
        temp = dir("temp");
        ASSERT_EQ(chdir(temp.c_str()), 0);
    }
    void TearDown() override {
        free(installDir);
        installDir = nullptr;
        quietInstall = propertiesInstall = 0;
        if (logErrors != nullptr) fclose(logErrors);
        logErrors = nullptr;
        StubDirTest::TearDown();
    }
    std::string start, temp;
};

TEST_F(StubLogs, ErrorLogLineHasStampSpaceAndMessage) {
    logErrorMessage("disk 100% full %s %d");
    logErrorMessage("second");
    std::string log = readFile(temp + "/errors.log");
    // asctime's form as the Windows runtime writes it: 24 characters, day in two digits.
    std::regex line("[A-Z][a-z]{2} [A-Z][a-z]{2} [0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] "
                    "[0-9]{4} ");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(log, m, line));
    EXPECT_EQ(m.position(0), 0);
    EXPECT_EQ(m.length(0), 25);
    EXPECT_EQ(log.substr(25, 21), "disk 100% full %s %d\n");
    EXPECT_EQ(log.substr(46 + 25), "second\n");
}

TEST_F(StubLogs, TermLogEchoesToStandardError) {
    testing::internal::CaptureStderr();
    logErrorMessage("quiet");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    writeFile(temp + "/term.log", "");
    testing::internal::CaptureStderr();
    logErrorMessage("50% done");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "50% done");
}

TEST_F(StubLogs, SwitchFilesFollowIntoTheTemporaryDirectory) {
    for (const char *name : {"term.log", "errors.log", "ERRORS.LOG", "qelpand.log",
                             "old-qelpand.log", "notes.txt", "trace.log.bak"})
        writeFile(start + "/" + name, "content");
    dir("start/folder.log");
    writeFile(temp + "/errors.log", "stale");
    createLogsInTempDir(start.c_str(), temp.c_str());
    EXPECT_TRUE(exists(temp + "/term.log"));
    EXPECT_EQ(readFile(temp + "/errors.log"), "") << "an existing namesake is truncated";
    for (const char *name : {"ERRORS.LOG", "qelpand.log", "old-qelpand.log", "notes.txt",
                             "trace.log.bak", "folder.log"})
        EXPECT_FALSE(exists(temp + "/" + name)) << name;
    EXPECT_EQ(readFile(temp + "/term.log"), "");
}

TEST_F(StubLogs, SwitchCopiesAreHandedOverOnceWhileEmpty) {
    for (const char *name : {"setup.log", "trace.log", "other.log"})
        writeFile(start + "/" + name, "the user's");
    createLogsInTempDir(start.c_str(), temp.c_str());
    writeFile(temp + "/trace.log", "written since");
    writeFile(temp + "/mine.log", "");
    EXPECT_EQ(handOverSwitchCopy("SETUP.LOG"), 1) << "Windows names ignore case";
    EXPECT_EQ(handOverSwitchCopy("setup.log"), 0) << "once";
    EXPECT_EQ(handOverSwitchCopy("trace.log"), 0) << "no longer empty";
    EXPECT_EQ(handOverSwitchCopy("mine.log"), 0) << "not made by the stub";
    EXPECT_EQ(handOverSwitchCopy("sub/other.log"), 0) << "copies lie at the top level";
    forgetSwitchCopies();
    EXPECT_EQ(handOverSwitchCopy("other.log"), 0);
}

TEST_F(StubLogs, CleanUpSkipsEntriesTooLongForAPath) {
    std::string d = dir("temp/" + std::string(200, 'd'));
    std::string longName = std::string(100, 'n');
    writeFile(d + "/" + longName, "x"); // directory + name exceeds 260 characters
    writeFile(d + "/short", "x");
    cleanUpTempDir(d.c_str());
    EXPECT_TRUE(exists(d + "/" + longName));
    EXPECT_FALSE(exists(d + "/short"));
}

TEST_F(StubLogs, FailureStepsCleanTheTemporaryDirectory) {
    writeFile(temp + "/startdir.txt", start + "\n");
    writeFile(temp + "/extracted.txt", "x");
    writeFile(temp + "/__qelexpand.sem", "ok\n");
    writeFile(dir("temp/sub/deeper") + "/x.txt", "x");
    workerFailureSteps();
    ASSERT_EQ(compat::messageBoxes().size(), 1u);
    EXPECT_EQ(compat::messageBoxes()[0].text, "\rUnable to unpack the installer.");
    EXPECT_EQ(compat::messageBoxes()[0].caption, "Brevanto Installer: Error");
    std::vector<std::string> left;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(temp))
        left.push_back(entry.path().filename().string());
    // The worker deletes the semaphore file as its last act, the main thread the directory.
    EXPECT_EQ(left, std::vector<std::string>({"__qelexpand.sem"}));
    EXPECT_EQ(cwd(), start) << "no process's current directory can be removed on Windows";
}

TEST_F(StubLogs, FailureStepsLeaveTheStartDirectoryAlone) {
    std::string upper = temp;
    for (char &c : upper)
        c = (char)toupper((unsigned char)c);
    writeFile(temp + "/startdir.txt", upper + "\n"); // compared without regard to case
    writeFile(temp + "/extracted.txt", "x");
    workerFailureSteps();
    EXPECT_TRUE(exists(temp + "/extracted.txt"));
    std::string log = readFile(temp + "/errors.log");
    EXPECT_NE(log.find(" Unable to unzip files. Out of disk space?\n"), std::string::npos);
    EXPECT_NE(log.find(" \rUnable to unpack the installer.\n"), std::string::npos);
}

TEST_F(StubLogs, FailureStepsWithoutStartDirFileRemoveNothing) {
    writeFile(temp + "/extracted.txt", "x");
    workerFailureSteps();
    EXPECT_TRUE(exists(temp + "/extracted.txt"));
    EXPECT_EQ(compat::messageBoxes().size(), 1u);
}

TEST_F(StubLogs, ExtractLogKeptOnlyWithContent) {
    logErrors = fopen("qelpand.log", "wt");
    closeExtractLog();
    EXPECT_FALSE(exists(temp + "/qelpand.log"));
    EXPECT_EQ(logErrors, nullptr);
    logErrors = fopen("qelpand.log", "wt");
    fputs("note\n", logErrors);
    closeExtractLog();
    EXPECT_TRUE(exists(temp + "/qelpand.log"));
}

// An engine argument vector as WinMain builds it.
struct EngineArgs {
    explicit EngineArgs(const char *tail) {
        std::string text = tail;
        getArguments(&text[0], &record.quietInstall, &record.propertiesInstall, &record.installDir,
                     &record.argc, &record.argv);
    }
    ~EngineArgs() {
        freeArguments(record.argc, record.argv);
        free(record.installDir);
    }
    MainThreadArgs record = {};
};

TEST_F(StubLogs, WorkerRunWithUsageSucceeds) {
    EngineArgs args("-q C:\\Apps -h");
    EXPECT_EQ(runEngine(&args.record), 0);
    EXPECT_STREQ(installDir, "C:\\Apps");
    EXPECT_EQ(quietInstall, 1);
    EXPECT_FALSE(exists(temp + "/qelpand.log"));
    EXPECT_TRUE(compat::messageBoxes().empty());
}

TEST_F(StubLogs, WorkerRunWithBadOptionsFails) {
    writeFile(temp + "/startdir.txt", start + "\n");
    EngineArgs args("-K");
    EXPECT_EQ(runEngine(&args.record), 10);
    EXPECT_EQ(compat::messageBoxes().size(), 1u);
    EXPECT_FALSE(exists(temp + "/qelpand.log"));
    EXPECT_FALSE(exists(temp + "/startdir.txt")) << "cleaned up";
}

// A disk that fills up inside a member: the engine's 50, the box, and the clean-up of what
// was extracted (the errors.log lines are lost on the full disk, as they would be).
TEST_F(StubLogs, WorkerRunOnAFullDiskShowsTheBoxAndCleansUp) {
    writeFile(temp + "/startdir.txt", start + "\n");
    writeFile(root + "/package.exe", buildPackage({{"a.bin", std::string(40000, 'a')}}));
    compat::setModulePath((root + "/package.exe").c_str());
    compat::setDiskRoom(10000);
    EngineArgs args("");
    int savedStdin = dup(0); // the stub has no console: its question reads nothing
    ASSERT_NE(nullptr, freopen("/dev/null", "r", stdin));
    EXPECT_EQ(runEngine(&args.record), ZR_DISKFULL);
    dup2(savedStdin, 0);
    close(savedStdin);
    clearerr(stdin);
    EXPECT_EQ(compat::messageBoxes().size(), 1u);
    EXPECT_FALSE(exists(temp + "/a.bin"));
    EXPECT_FALSE(exists(temp + "/startdir.txt"));
}

class HandOff : public StubLogs {
  protected:
    void start(int quiet, int properties, const char *dir) {
        quietInstall = quiet;
        propertiesInstall = properties;
        installDir = strdup(dir);
        hand_off();
    }
    // The command line of the one start, a plain one of "installer.exe".
    std::string commandLine() {
        EXPECT_EQ(compat::spawns().size(), 1u);
        if (compat::spawns().empty()) return {};
        EXPECT_EQ(compat::spawns()[0].api, "CreateProcessA");
        EXPECT_EQ(compat::spawns()[0].path, "installer.exe");
        return compat::spawns()[0].commandLine;
    }
};

TEST_F(HandOff, NormalStartPassesNoArguments) {
    writeFile(temp + "/installer.exe", "x");
    logErrors = fopen("qelpand.log", "wt");
    start(0, 0, "C:\\Apps");
    EXPECT_EQ(commandLine(), "installer.exe");
    EXPECT_FALSE(exists(temp + "/qelpand.log"));
}

TEST_F(HandOff, QuietStartPassesQuotedDirectoryAfterSwitches) {
    writeFile(temp + "/installer.exe", "x");
    start(1, 1, "C:\\Program Files\\App");
    EXPECT_EQ(commandLine(), "installer.exe -q -s \"C:\\Program Files\\App\"");
}

TEST_F(HandOff, TrailingBackslashesDoubledBeforeTheClosingQuote) {
    // Two backslashes before the closing quote reach the installer as one.
    writeFile(temp + "/installer.exe", "x");
    start(1, 0, "C:\\Apps\\");
    EXPECT_EQ(commandLine(), "installer.exe -q \"C:\\Apps\\\\\"");
}

TEST_F(HandOff, LongDirectoryHandedOnWhole) {
    writeFile(temp + "/installer.exe", "x");
    std::string dir = "D:\\" + std::string(300, 'd');
    start(1, 0, dir.c_str());
    EXPECT_EQ(commandLine(), "installer.exe -q \"" + dir + "\"");
}

TEST_F(HandOff, NothingStartedWithoutInstaller) {
    start(1, 0, "C:\\Apps");
    EXPECT_TRUE(compat::spawns().empty());
}

// A whole run of a package that carries installer.exe, with the start failing as Windows
// can make it fail. A start refused for elevation is made again through the shell (the
// consent prompt) with the same file, arguments and directory; a declined prompt is only
// logged; any other failure is logged and ends as a failed run, with the box.
TEST_F(HandOff, StartOutcomes) {
    const std::string shell = "ShellExecuteExA", plain = "CreateProcessA";
    struct Row {
        DWORD createProcess, shellExecute;
        std::vector<std::string> apis;
        const char *logged; // the errors.log line after the time stamp, or nullptr
        size_t boxes;
    } rows[] = {
        {0, 0, {plain}, nullptr, 0},
        {ERROR_ELEVATION_REQUIRED, 0, {plain, shell}, nullptr, 0},
        {ERROR_ELEVATION_REQUIRED,
         ERROR_CANCELLED,
         {plain, shell},
         "Unable to start installer.exe (error 1223): The operation was canceled by the user.",
         0},
        {ERROR_ELEVATION_REQUIRED,
         ERROR_ACCESS_DENIED,
         {plain, shell},
         "Unable to start installer.exe (error 5): Access is denied.",
         1},
        {ERROR_BAD_EXE_FORMAT,
         0,
         {plain},
         "Unable to start installer.exe (error 193): %1 is not a valid Win32 application.",
         1},
    };
    writeFile(root + "/package.exe", buildPackage({{"installer.exe", "MZ"}}));
    for (const Row &row : rows) {
        SCOPED_TRACE(row.createProcess * 10000 + row.shellExecute);
        compat::reset();
        compat::setModulePath((root + "/package.exe").c_str());
        compat::setStartErrors(row.createProcess, row.shellExecute);
        _unlink("errors.log");
        _unlink("installer.exe"); // extracted by the previous row
        EngineArgs args("-q C:\\Apps");
        EXPECT_EQ(runEngine(&args.record), 0);
        free(installDir); // the worker's copy, which its thread frees at its end
        installDir = nullptr;
        std::vector<std::string> apis;
        for (const compat::SpawnCall &call : compat::spawns()) {
            apis.push_back(call.api);
            EXPECT_EQ(call.cwd, temp);
        }
        EXPECT_EQ(apis, row.apis);
        if (!apis.empty()) {
            EXPECT_EQ(compat::spawns()[0].path, "installer.exe");
            EXPECT_EQ(compat::spawns()[0].commandLine, "installer.exe -q \"C:\\Apps\"");
        }
        if (apis.size() == 2) {
            EXPECT_EQ(compat::spawns()[1].path, temp + "\\installer.exe");
            EXPECT_EQ(compat::spawns()[1].commandLine, "-q \"C:\\Apps\"");
            EXPECT_EQ(compat::spawns()[1].directory, temp);
        }
        std::string log = exists(temp + "/errors.log") ? readFile(temp + "/errors.log") : "";
        EXPECT_EQ(log.size() > 25 ? log.substr(25, log.find('\n') - 25) : "",
                  row.logged ? row.logged : "");
        EXPECT_EQ(compat::messageBoxes().size(), row.boxes);
    }
}

} // namespace
