// ombrelin: the extraction engine as a console program, for people who build packages
// (check one with -t), for the tests, the fuzzers and the benchmarks.
//
//   ombrelin [-options] archive [pattern ...] [-x pattern ...]
//
// The options are the stub's engine options (-h lists them). Messages go to standard
// output and standard error; the exit code is the engine's result code.
#include <signal.h>
#include <string.h>

#include "stub/stub.h"
#include "unzip/unzip.h"

int main(int argc, char **argv) {
    signal(SIGINT, handler);
    signal(SIGTERM, handler);
    signal(SIGSEGV, handler);
    globalsCtor();
    G.program_arg0 = argv[0];
    int r = uz_opts(&argc, &argv);
    if (r != 0 || argc < 0) return r;
    if (argc < 1) {
        usage(1);
        return ZR_PARAM;
    }
    G.archive_path = argv[0];
    selectMembers(argc - 1, argv + 1);
    return process_zipfiles();
}
