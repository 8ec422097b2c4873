// Velmora: the launcher's main object. Reads the launch properties through GetParameters,
// makes sure the Java executable exists, and starts it in the start directory with the
// configured arguments and the launcher's own command-line tail, without CLASSPATH and
// without waiting for it.
//
// Owns six heap buffers, allocated by the constructor and freed by the destructor:
// programName, execFilename, startDir and launchDir (PATH_SIZE bytes each), args (ARGS_SIZE)
// and propertiesPath (PROPERTIES_PATH_SIZE). launchDir is the current directory at
// construction, to which the launcher returns after the start; startDir starts as its copy.
#ifndef LAUNCHER_VELMORA_H
#define LAUNCHER_VELMORA_H

#include <stddef.h>

#include "launcher/trace.h"

extern const char StartupErrorTitle[]; // "Startup Error"

class Velmora : public Trace {
  public:
    Velmora();
    ~Velmora();

    // The whole run for the command-line tail; the result is the exit code: 1 after a start
    // and after the missing-executable box, 0 otherwise.
    int velmora(const char *tail);
    // Reads the properties and appends the tail to args; 1 when they are usable.
    int getParams(const char *tail);
    // Starts exec with the parameters of args from startDir, then returns to returnDir; 1
    // when the program was started.
    int runApp(const char *exec, const char *args, const char *returnDir, const char *startDir);
    // Logs the launch command, removes CLASSPATH and starts exec with the NULL-terminated
    // vector without waiting; 1 when started. Shows the start-error box otherwise.
    int _runApp(const char *exec, char **argv);

    // The number of parameters getNextParameter splits args into.
    int countParameters(const char *args);
    // Moves the next parameter of rest into out (outSize bytes) and shortens rest in place.
    // Only spaces separate, so two of them make an empty parameter; a parameter that begins
    // with a quote and has a closing one is the text between them, and the rest of its word
    // after the closing quote is dropped up to the next space.
    void getNextParameter(char *rest, char *out, size_t outSize);
    // The vector joined by spaces for the log, entries with a space in quotes; the caller
    // frees it. NULL when memory is short.
    char *argsString(char **argv);
    // The Java home of an executable path (see clib::getJavaHomeDirectory).
    void getJavaHomeDir(const char *path, char *out, size_t size);

  private:
    int buffersReady() const;
    void fallBackOnOwnFolder();
    int appendTail(const char *tail, const char *propertyFilename);
    char **buildVector(const char *exec, const char *args, int count);
    void showStartupError(char *text);

    char *programName;
    char *execFilename;
    char *args;
    char *startDir;
    char *launchDir;
    char *propertiesPath;
};

// The program entry's work: duplicates the tail, runs one Velmora over it and returns the
// exit code.
int runVelmora(const char *tail);

#endif
