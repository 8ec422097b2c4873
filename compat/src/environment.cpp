// Host stand-in for the runtime library's _putenv: "NAME=value" sets a variable and "NAME="
// removes it, and a name matches whatever its case, as Windows environment names do.
#include "compat_paths.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <unistd.h>
#include <vector>

int _putenv(const char *assignment) {
    const char *equals = assignment ? strchr(assignment, '=') : nullptr;
    if (!equals || equals == assignment) return -1;
    std::string name(assignment, (size_t)(equals - assignment));
    std::vector<std::string> namesakes;
    for (char **e = environ; e && *e; ++e) {
        const char *sep = strchr(*e, '=');
        if (sep && (size_t)(sep - *e) == name.size() &&
            strncasecmp(*e, name.c_str(), name.size()) == 0)
            namesakes.emplace_back(*e, name.size());
    }
    for (const std::string &namesake : namesakes)
        unsetenv(namesake.c_str());
    if (equals[1] == '\0') return 0;
    return setenv(name.c_str(), equals + 1, 1) == 0 ? 0 : -1;
}
