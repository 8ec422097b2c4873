// Sizes of the launcher's fixed buffers, terminator included. They are hard limits: a value
// that does not fit its buffer whole is refused, never cut.
#ifndef LAUNCHER_BUFFERS_H
#define LAUNCHER_BUFFERS_H

#include "common/buffers.h"

enum LauncherBufferSize {
    PATH_SIZE = PATH_BUF,       // paths and property values: 260 characters
    ARGS_SIZE = 5001,           // args, with the command-line tail appended: 5000 characters
    PROPERTIES_PATH_SIZE = 520, // start directory, "\", property file name: 519 characters
    LAUNCH_COMMAND_SIZE = 5000, // the launch command as it is logged
    VERSION_SIZE = 260,         // version bounds, registry values, a runtime's home directory
    SUBKEY_SIZE = 260,          // a registry subkey name as enumerated
    VERSION_TEXT_SIZE = 520,    // a subkey name with "." and its micro version appended
    FIELD_LENGTH = 300,         // a patchable field without its terminator
    LINE_SIZE = 10001,          // a properties line
    LINE_LIMIT = 9999,          // read limit of a properties line: 9998 characters
};

#endif
