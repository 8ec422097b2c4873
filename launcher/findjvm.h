// FindJvm: finds an installed Java runtime whose version satisfies the launch properties'
// bounds, through the registry under HKEY_LOCAL_MACHINE, and hands back its home directory.
//
// Where it looks, in order, the first acceptable runtime winning:
//   1. "SOFTWARE\JavaSoft\Java Runtime Environment" (runtimes up to Java 8), in the view the
//      launcher sees by default, then in the other view: the 64-bit one for the 32-bit
//      launcher on 64-bit Windows (where a 64-bit Java registers), the 32-bit one for a
//      64-bit launcher;
//   2. only when that accepts nothing: "SOFTWARE\JavaSoft\JRE" and then
//      "SOFTWARE\JavaSoft\JDK" (Java 9 and later), each in both views likewise.
// Each subkey is one runtime named by its version; its "MicroVersion" value extends that
// name, its "JavaHome" (or else "Home") value is the home directory, which must exist.
//
// No data of its own; buffers are allocated and freed within each call. Callers pass the
// output buffers: home VERSION_SIZE bytes, the subkey name VERSION_TEXT_SIZE bytes.
#ifndef LAUNCHER_FINDJVM_H
#define LAUNCHER_FINDJVM_H

#include <windows.h>

#include "launcher/trace.h"

class FindJvm : public Trace {
  public:
    // Non-zero when a runtime was accepted; its home directory is then in home.
    int searchForJvm(const char *required, const char *minimum, const char *maximum, char *home);
    // One runtime: subkey under rootKey in the given view (0: the default one). subkey is
    // extended in place with its micro version. Non-zero when the runtime has a home
    // directory that exists and passes verifyVersion; home may hold a rejected one's home.
    int lookUpRegistryEntryForJvm(const char *rootKey, const char *required, const char *minimum,
                                  const char *maximum, char *subkey, char *home, REGSAM view = 0);
    // Text comparison of version with the bounds, each bound against the version's prefix of
    // the bound's own length, case folded: the required version alone when it is set, else
    // minimum and maximum, both inclusive. 1 when accepted.
    int verifyVersion(const char *required, const char *minimum, const char *maximum,
                      const char *version);

  private:
    int searchKey(const char *rootKey, REGSAM view, const char *required, const char *minimum,
                  const char *maximum, char *home);
    int readString(HKEY key, const char *path, const char *name, char *out);
    int readRuntime(HKEY key, const char *path, char *subkey, char *home, char *value);
};

#endif
