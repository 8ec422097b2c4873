// Windows NT security descriptors of extracted files and directories.
#include "unzip/unzip.h"

// Security descriptors are not applied yet: every block is accepted and ignored.
int EvalExtraFields([[maybe_unused]] const char *path, [[maybe_unused]] const uint8_t *ef,
                    [[maybe_unused]] unsigned ef_len) {
    return 0;
}

// Nothing is deferred while descriptors are not applied.
void process_defer_NT(void) {}

// Bytes 2 and 3 of the extra field hold the length of its first block; the message reports
// that length less the block's 10-byte fixed part.
void apply_member_security(const char *path) {
    unsigned len = G.local_hdr.extra_len;
    if (G.extra_buf == NULL || len == 0) {
        return;
    }
    if (EvalExtraFields(path, G.extra_buf, len) != ZR_EF_MISSING || len < 4) {
        return;
    }
    if (G.quiet_level != 0) {
        zmsg(MF_ERRSTREAM, "%-22s ", fnfilter(path, G.name_area[0]));
    }
    zmsg(MF_ERRSTREAM, " compressed WinNT security data missing (%d bytes)%s",
         (int)makeword(G.extra_buf + 2) - 10, G.quiet_level != 0 ? "\n" : "");
}
