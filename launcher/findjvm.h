// FindJvm: finds an installed Java runtime whose version satisfies the launch properties'
// bounds and that holds the configured executable, and hands back its home directory.
//
// Where it looks, in order; each place is searched only when the ones before it accept
// nothing:
//   1. "SOFTWARE\JavaSoft\Java Runtime Environment" under HKEY_LOCAL_MACHINE (runtimes up to
//      Java 8), in the view the launcher sees by default, then in the other view (the 64-bit
//      one for the 32-bit launcher on 64-bit Windows, where a 64-bit Java registers; the
//      32-bit one for a 64-bit launcher). Versions compare as text; the first acceptable
//      runtime enumerated wins.
//   2. "SOFTWARE\JavaSoft\JRE" and "SOFTWARE\JavaSoft\JDK" (Java 9 and later), both views.
//   3. The vendors' own keys (VendorKeys in runtimes.cpp) under HKEY_LOCAL_MACHINE and then
//      HKEY_CURRENT_USER (per-user installs), each in the 64-bit and then the 32-bit view.
//   4. The JAVA_HOME environment variable.
//   5. The search path: each directory that ends in "bin" and holds the executable names
//      its parent as a home.
// From place 2 on, a runtime's version is the JAVA_VERSION of its home's "release" file, else
// its key name; versions compare as numbers (version.h) and the highest acceptable runtime of
// a place wins, the first seen among equals.
//
// JavaSoft runtimes are subkeys named by their version; a "MicroVersion" value extends that
// name, a "JavaHome" (or else "Home") value is the home directory. Every home must exist and
// hold bin\<executable> (or that name with ".exe" added), and that path must fit a PATH_SIZE
// buffer; any other runtime is passed over with a trace line.
//
// Keeps only the executable's name (the caller's text, which must outlive the object);
// buffers are allocated and freed within each call. Callers pass the output buffers: home
// VERSION_SIZE bytes, the subkey name VERSION_TEXT_SIZE bytes.
#ifndef LAUNCHER_FINDJVM_H
#define LAUNCHER_FINDJVM_H

#include <stddef.h>
#include <windows.h>

#include "launcher/trace.h"

struct RuntimeChoice;
struct VersionBounds;

// Where the executable of a runtime home is: bin\<name>, or bin\<name>.exe when only that one
// is a file; out holds size bytes.
enum RuntimeExec { EXEC_TOO_LONG = -1, EXEC_MISSING = 0, EXEC_FOUND = 1 };
extern const char DefaultExecName[]; // "javaw.exe", for a configured path without a file name
RuntimeExec findRuntimeExec(const char *home, const char *name, char *out, size_t size);

class FindJvm : public Trace {
  public:
    // The executable looked for in a runtime's bin folder; "" stands for "javaw.exe".
    explicit FindJvm(const char *execName = "");

    // Non-zero when a runtime was accepted; its home directory is then in home.
    int searchForJvm(const char *required, const char *minimum, const char *maximum, char *home);
    // One runtime of the classic key: subkey under rootKey in the given view (0: the default
    // one). subkey is extended in place with its micro version. Non-zero when the runtime has
    // a usable home directory and passes verifyVersion; home may hold a rejected one's home.
    int lookUpRegistryEntryForJvm(const char *rootKey, const char *required, const char *minimum,
                                  const char *maximum, char *subkey, char *home, REGSAM view = 0);
    // Text comparison of version with the bounds, each bound against the version's prefix of
    // the bound's own length, case folded, an update after "_" as a number: the required
    // version alone when it is set, else minimum and maximum, both inclusive. 1 when accepted.
    int verifyVersion(const char *required, const char *minimum, const char *maximum,
                      const char *version);

  private:
    int searchKey(const char *rootKey, REGSAM view, const char *required, const char *minimum,
                  const char *maximum, char *home);
    // 1 with the name of the subkey at index, 0 for one to pass over, -1 at the end.
    int nextSubkey(HKEY key, DWORD index, char *name);
    void considerJavaSoftRuntime(const char *key, REGSAM view, char *name, const char *where,
                                 const VersionBounds &bounds, RuntimeChoice *best);
    void considerVendorRuntime(HKEY root, const char *key, REGSAM view, int row, const char *name,
                               const char *where, const VersionBounds &bounds, RuntimeChoice *best);
    void searchRuntimeKey(HKEY root, const char *key, REGSAM view, int row,
                          const VersionBounds &bounds, RuntimeChoice *best);
    void searchModularKeys(const VersionBounds &bounds, RuntimeChoice *best);
    void searchVendorKeys(const VersionBounds &bounds, RuntimeChoice *best);
    void searchJavaHome(const VersionBounds &bounds, RuntimeChoice *best);
    int pathEntryHome(const char *entry, size_t len, char *home);
    void searchPath(const VersionBounds &bounds, RuntimeChoice *best);
    int takeChoice(const RuntimeChoice &best, char *home);
    void considerRuntime(const char *home, const char *keyVersion, const char *where,
                         const VersionBounds &bounds, RuntimeChoice *best);
    int usableHome(const char *home);
    int readString(HKEY key, const char *path, const char *name, char *out);
    int readRuntime(HKEY key, const char *path, char *subkey, char *home, char *value);

    const char *execName;
};

#endif
