// Trace: the launcher's trace lines, written only where the trace file already exists, and
// error lines that go to the error file and the trace file alike. Velmora, GetParameters and
// FindJvm derive from it and trace through it. No data.
//
// Both files are named relative to the current directory, at each line: that is the directory
// the launcher was started in (a shortcut's "Start in", the launcher's own folder for a
// double-click), so an empty "startapp.log" there switches tracing on; while the Java program
// is being started the current directory is its start directory, whose files get those lines.
#ifndef LAUNCHER_TRACE_H
#define LAUNCHER_TRACE_H

#include "launcher/log.h"

extern const char ErrorLog[]; // "errors.log": always written, created when missing
extern const char TraceLog[]; // "startapp.log": written only when it exists

class Trace : public Log {
  public:
    // As the matching logMessage, but only when the file exists.
    void traceMessage(const char *file, const char *message);
    void traceMessage(const char *file, const char *label, const char *value);
    void traceMessage(const char *file, const char *label, int flag);

    // logMessage to errorFile, then traceMessage to traceFile, with the same content.
    void logAndTraceMessage(const char *errorFile, const char *traceFile, const char *message);
    void logAndTraceMessage(const char *errorFile, const char *traceFile, const char *label,
                            const char *value);
    void logAndTraceMessage(const char *errorFile, const char *traceFile, const char *label,
                            int flag);

    // "Value too long for <key> in <file>" to both files: the refusal of a value that does
    // not fit its buffer, after which the launcher starts nothing.
    void logValueTooLong(const char *key, const char *file);
};

#endif
