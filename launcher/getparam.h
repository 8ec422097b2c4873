// GetParameters: reads the launch properties file whose name the packaging step patched into
// the launcher, and replaces a missing Java executable by one found through FindJvm.
//
// Owns two heap copies of the patchable fields (FIELD_LENGTH + 1 bytes each, trailing spaces
// removed), made by the constructor and freed by the destructor. Fills the caller's buffers:
// programName, execFilename and startDir PATH_SIZE bytes, args ARGS_SIZE bytes.
//
// The properties file: "key=value" lines, the key at the very start of a line and any one
// character after it as the separator; nothing is trimmed. A backslash keeps the character
// after it literally. Other lines are ignored. A value that does not fit its buffer is
// refused ("Value too long for ..." in errors.log) and the file counts as unusable.
#ifndef LAUNCHER_GETPARAM_H
#define LAUNCHER_GETPARAM_H

#include <stddef.h>
#include <stdio.h>

#include "launcher/buffers.h"
#include "launcher/trace.h"

// The patchable fields: FIELD_LENGTH characters each (the initial text padded with spaces)
// and a terminator. PropertiesMarker is the property file name field's initial text,
// unpadded, kept apart so that patching never touches it.
extern const char PropertyFilenameField[FIELD_LENGTH + 1];
extern const char AltDirField[FIELD_LENGTH + 1];
extern const char PropertiesMarker[];

class GetParameters : public Trace {
  public:
    GetParameters();
    ~GetParameters();

    // Removes trailing spaces (not tabs) in place.
    void trimTrailingSpace(char *text);
    // Replaces the property file name; 0 (and no change) for a name over FIELD_LENGTH.
    int setPropertyFilename(const char *name);
    // The property file name into out (size bytes); 0 and "" when there is none or it does
    // not fit.
    int getPropertyFilename(char *out, size_t size);

    // The properties of the patched file name; 1 when they were read and are usable.
    int getParameters(char *programName, char *execFilename, char *args, char *startDir);
    // Reads the file (as named, else in the alternative directory); 1 when it was read and
    // every value fitted.
    int parseParameters(char *programName, char *execFilename, char *args, char *startDir,
                        const char *filename);
    // For a missing execFilename: the same file name ("javaw.exe" when it has none) under
    // "bin" of an acceptable runtime's home, ".exe" added when only that exists. Always 1: a
    // runtime whose path would not fit is passed over, and without one the path stays.
    int getGoodExec(char *execFilename, const char *required, const char *minimum,
                    const char *maximum);

  private:
    FILE *openProperties(const char *filename);
    int readProperties(FILE *file, char *line, char **values, const char *filename);
    int takeLine(const char *line, char **values, const char *filename);

    char *propertyFilename;
    char *altDir;
};

#endif
