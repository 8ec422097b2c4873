// Files closed behind the engine, on the host, with closes as slow as a virus scanner makes
// them on Windows (it checks a written file while its last handle closes: 1 to 10 ms a
// file). For each delay, the extraction's time against the time of the same closes one
// after another, which the engine took on top of everything else when it closed every file
// itself.
//
//   close_bench archive [delay_us ...]     (default delays: 0, 1000 and 5000)
//
// It extracts into a fresh folder under $TMPDIR (default /tmp).
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "compat/control.h"
#include "stub/stub.h"
#include "unzip/unzip.h"

namespace {

int quiet(void *, uint8_t *, uint32_t, int) {
    return 0;
}

long countFiles(const std::string &dir) {
    long n = 0;
    DIR *d = opendir(dir.c_str());
    if (d == NULL) return 0;
    while (struct dirent *e = readdir(d)) {
        std::string name = e->d_name, path = dir + "/" + name;
        struct stat st;
        if (name == "." || name == ".." || lstat(path.c_str(), &st) != 0) continue;
        n += S_ISDIR(st.st_mode) ? countFiles(path) : 1;
    }
    closedir(d);
    return n;
}

// Extracts the archive into a fresh folder; the seconds it took, and the files it made.
double extract(const char *archive, unsigned delay, long *files) {
    const char *tmp = getenv("TMPDIR");
    std::string folder = std::string(tmp != NULL ? tmp : "/tmp") + "/close-bench-XXXXXX";
    char *dir = &folder[0];
    if (mkdtemp(dir) == NULL || chdir(dir) != 0) return -1;
    compat::reset();
    compat::setCloseDelay(delay);
    globalsCtor();
    G.message_fn = quiet;
    char arg0[] = "close_bench", opts[] = "-qqo", *argv[] = {arg0, opts, (char *)archive, NULL};
    int argc = 3;
    char **args = argv;
    auto began = std::chrono::steady_clock::now();
    int r = uz_opts(&argc, &args);
    if (r == 0) {
        G.program_arg0 = arg0;
        G.archive_path = args[0];
        selectMembers(argc - 1, args + 1);
        r = process_zipfiles();
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    *files = countFiles(".");
    if (chdir("/") != 0 || system(("rm -rf " + std::string(dir)).c_str()) != 0 || r > ZR_WARN)
        return -1;
    return seconds;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: close_bench archive [delay_us ...]\n");
        return 2;
    }
    char *archive = realpath(argv[1], NULL);
    static const char *defaults[] = {"0", "1000", "5000"};
    const char **delays = argc > 2 ? (const char **)argv + 2 : defaults;
    int count = argc > 2 ? argc - 2 : 3;
    for (int i = 0; i < count; i++) {
        unsigned delay = (unsigned)atoi(delays[i]);
        long files = 0;
        double seconds = archive != NULL ? extract(archive, delay, &files) : -1;
        if (seconds < 0) {
            fprintf(stderr, "close_bench: the extraction failed\n");
            return 1;
        }
        printf("close %5u us: %ld files in %.3f s; closing them one after another: %.3f s\n", delay,
               files, seconds, files * delay / 1e6);
    }
    free(archive);
    return 0;
}
