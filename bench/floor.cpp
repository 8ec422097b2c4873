// floor.exe: the platform's floor for extracting a package. It makes the directories and
// files of an archive's tree with the plainest Win32 calls and nothing else: no archive
// reading, no name checks, no questions. What the installer stub takes beyond this is its
// own cost (bench/floor_bench.py runs both on the same package).
//
//   floor.exe MANIFEST DATA [PROGRAM]
//
// MANIFEST (written by floor_bench.py) has one line per step, in the order the extraction
// takes them, with every name relative to the current directory:
//
//   D name                                    CreateDirectoryA
//   F offset size filetime attributes name    the file: its bytes are DATA's bytes at offset
//
// A file is created with CreateFileA (CREATE_ALWAYS), written with WriteFile in 32 KiB
// blocks, given its modification and access time (a FILETIME, in decimal) by SetFileTime on
// the same handle and closed; SetFileAttributesA follows only when the attribute byte asks
// for more than the archive bit, which a new file has already. PROGRAM, when given, is then
// started as the stub starts a package's installer: CreateProcessA from the current
// directory, not waited for. Under Wine that call returns only once the new process has
// loaded its DLLs (about 0.1 s here), which a floor without it would charge to the stub.
// Exit code 0, or 1 with a message on standard error.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static const DWORD BLOCK = 32768;
enum { LINE_MAX_LEN = 1024, ATTR_SETTABLE = 0x5F, ATTR_MASK = 0x7F };

static char block[BLOCK];

static int fail(const char *what, const char *name) {
    fprintf(stderr, "floor: %s failed for %s (error %lu)\n", what, name,
            (unsigned long)GetLastError());
    return 0;
}

static int copy_bytes(HANDLE data, HANDLE out, unsigned long long offset, unsigned long long size,
                      const char *name) {
    LONG high = (LONG)(offset >> 32);
    if (SetFilePointer(data, (LONG)(offset & 0xFFFFFFFFu), &high, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        return fail("SetFilePointer", name);
    while (size > 0) {
        DWORD want = size < BLOCK ? (DWORD)size : BLOCK, got = 0, put = 0;
        if (!ReadFile(data, block, want, &got, NULL) || got != want) return fail("ReadFile", name);
        if (!WriteFile(out, block, want, &put, NULL) || put != want) return fail("WriteFile", name);
        size -= want;
    }
    return 1;
}

// The next decimal number of a manifest line and the space after it; 0 when there is none.
static int number(const char **p, unsigned long long *value) {
    char *end;
    *value = strtoull(*p, &end, 10);
    if (end == *p || *end != ' ') return 0;
    *p = end + 1;
    return 1;
}

static int make_file(HANDLE data, const char *fields) {
    unsigned long long offset, size, time, attributes;
    const char *name = fields;
    if (!number(&name, &offset) || !number(&name, &size) || !number(&name, &time) ||
        !number(&name, &attributes) || *name == '\0')
        return fail("reading the manifest", fields);
    HANDLE out =
        CreateFileA(name, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (out == INVALID_HANDLE_VALUE) return fail("CreateFileA", name);
    FILETIME ft;
    ft.dwLowDateTime = (DWORD)(time & 0xFFFFFFFFu);
    ft.dwHighDateTime = (DWORD)(time >> 32);
    int ok = copy_bytes(data, out, offset, size, name);
    if (ok && !SetFileTime(out, NULL, &ft, &ft)) ok = fail("SetFileTime", name);
    CloseHandle(out);
    if (ok && (attributes & ATTR_SETTABLE) &&
        !SetFileAttributesA(name, (DWORD)(attributes & ATTR_MASK)))
        ok = fail("SetFileAttributesA", name);
    return ok;
}

static int replay(FILE *manifest, HANDLE data) {
    char line[LINE_MAX_LEN];
    while (fgets(line, sizeof line, manifest) != NULL) {
        line[strcspn(line, "\r\n")] = '\0';
        if (line[0] == 'D' && line[1] == ' ') {
            if (!CreateDirectoryA(line + 2, NULL)) return fail("CreateDirectoryA", line + 2);
        } else if (line[0] == 'F' && line[1] == ' ') {
            if (!make_file(data, line + 2)) return 0;
        } else if (line[0] != '\0') {
            return fail("reading the manifest", line);
        }
    }
    return 1;
}

static int start(char *program) {
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(program, program, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return fail("CreateProcessA", program);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 1;
}

int main(int argc, char **argv) {
    if (argc != 3 && argc != 4) {
        fputs("usage: floor.exe MANIFEST DATA [PROGRAM]\n", stderr);
        return 1;
    }
    FILE *manifest = fopen(argv[1], "r");
    if (manifest == NULL) return !fail("opening", argv[1]);
    HANDLE data = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (data == INVALID_HANDLE_VALUE) return !fail("opening", argv[2]);
    int ok = replay(manifest, data);
    CloseHandle(data);
    fclose(manifest);
    if (ok && argc == 4) ok = start(argv[3]);
    return ok ? 0 : 1;
}
