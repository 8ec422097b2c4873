// Log: the launcher's time-stamped log lines, always written.
//
// Every line is opened, appended and closed on its own ("a+t", so CR LF on Windows), with the
// local time in asctime's form, a space and the message; a file that cannot be opened loses
// its line silently. No data, no buffers kept between calls.
#ifndef LAUNCHER_LOG_H
#define LAUNCHER_LOG_H

class Log {
  public:
    // "<stamp> <message>"
    void logMessage(const char *file, const char *message);
    // "<stamp> <label> <value>"
    void logMessage(const char *file, const char *label, const char *value);
    // "<stamp> <label>: true" for a non-zero flag, "<stamp> <label>: false" for zero
    void logMessage(const char *file, const char *label, int flag);
};

#endif
