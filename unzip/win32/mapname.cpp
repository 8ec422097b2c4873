// Placeholder: replaced by the real implementation.
#include "unzip/unzip.h"

int mapname([[maybe_unused]] int new_name) { return 0; }
int checkdir([[maybe_unused]] char *pathcomp, [[maybe_unused]] int function) { return 0; }
void map2fat([[maybe_unused]] char *pathcomp, [[maybe_unused]] char **fat_end) {}
int mapattr(void) { return 0; }
int IsFileNameValid([[maybe_unused]] const char *path) { return 0; }
int IsVolumeOldFAT([[maybe_unused]] const char *path) { return 0; }
int isfloppy([[maybe_unused]] int drive) { return 0; }
int is_unsafe_path([[maybe_unused]] const char *name) { return 0; }
