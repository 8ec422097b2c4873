// Shared set-up of the stub's host tests: a fresh folder under /tmp, the current directory
// and the environment restored after every test, and the host stand-in reset.
#ifndef TESTS_UNIT_TEST_STUB_SUPPORT_H
#define TESTS_UNIT_TEST_STUB_SUPPORT_H

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdlib.h>
#include <string>
#include <unistd.h>

#include "compat/control.h"

// Every variable the stub consults; each test starts with none of them set.
inline const char *const StubEnvNames[] = {"TEMP",     "TMP",  "temp", "tmp",
                                           "home",     "Home", "HOME", "homedrive",
                                           "homepath", "path", "PATH", "JAVA_HOME"};

class StubDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char *cwd = getcwd(nullptr, 0);
        savedCwd = cwd;
        free(cwd);
        for (const char *name : StubEnvNames) {
            const char *value = getenv(name);
            if (value) savedEnv[name] = value;
            unsetenv(name);
        }
        char pattern[] = "/tmp/stubtest.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        ASSERT_EQ(chdir(root.c_str()), 0);
        compat::reset();
    }

    void TearDown() override {
        ASSERT_EQ(chdir(savedCwd.c_str()), 0);
        for (const char *name : StubEnvNames)
            unsetenv(name);
        for (const auto &entry : savedEnv)
            setenv(entry.first.c_str(), entry.second.c_str(), 1);
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
        compat::reset();
    }

    // A directory under the test folder (parents included); returns its path.
    std::string dir(const std::string &relative) {
        std::string path = root + "/" + relative;
        std::filesystem::create_directories(path);
        return path;
    }

    static void writeFile(const std::string &path, const std::string &content) {
        std::ofstream(path, std::ios::binary) << content;
    }

    static std::string readFile(const std::string &path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    static bool exists(const std::string &path) { return std::filesystem::exists(path); }

    static std::string cwd() { return std::filesystem::current_path().string(); }

    std::string root;

  private:
    std::string savedCwd;
    std::map<std::string, std::string> savedEnv;
};

#endif
