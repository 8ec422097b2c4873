// Shared set-up of the launcher's host tests: the stub tests' scratch folder (current
// directory, environment and stand-ins restored after each test), plus the launcher's log
// lines read back without their time stamps.
#ifndef TESTS_UNIT_TEST_LAUNCHER_SUPPORT_H
#define TESTS_UNIT_TEST_LAUNCHER_SUPPORT_H

#include <regex>
#include <string>
#include <vector>

#include "test_stub_support.h"

using Lines = std::vector<std::string>;

class LauncherTest : public StubDirTest {
  protected:
    // The messages of a log file in order, each line checked for its time stamp and space.
    static Lines messages(const std::string &file) {
        static const std::regex stamp("[A-Z][a-z]{2} [A-Z][a-z]{2} [0-3][0-9] "
                                      "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4} ");
        Lines lines;
        std::string text = readFile(file);
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find('\n', start);
            std::string line = text.substr(start, end - start);
            EXPECT_TRUE(std::regex_search(line.substr(0, 25), stamp)) << line;
            lines.push_back(line.size() >= 25 ? line.substr(25) : line);
            start = end == std::string::npos ? text.size() : end + 1;
        }
        return lines;
    }
    // Switches tracing on in the current directory.
    static void traceOn() { writeFile("startapp.log", ""); }
};

#endif
