// The two fields that the packaging step patches in each application's copy of the launcher.
// It finds each by its whole text (initial text and padding), which occurs once in the image,
// and overwrites it in place with a value padded with spaces. The fields have external
// linkage and are read only through volatile (GetParameters), so the compiler can neither
// drop, merge nor fold them. Their own file, so that the unit tests can link patched ones.
#include "launcher/buffers.h"
#include "launcher/getparam.h"

#define SPACES_16 "                "
#define SPACES_64 SPACES_16 SPACES_16 SPACES_16 SPACES_16
#define SPACES_256 SPACES_64 SPACES_64 SPACES_64 SPACES_64
#define PROPERTY_FILENAME_FIELD "QzjQzjVelmoraPropertiesFilename" SPACES_256 "             "
#define ALT_DIR_FIELD "QzyQzyVelmoraPropertiesAltDir" SPACES_256 "               "
static_assert(sizeof PROPERTY_FILENAME_FIELD == FIELD_LENGTH + 1, "field of 300 characters");
static_assert(sizeof ALT_DIR_FIELD == FIELD_LENGTH + 1, "field of 300 characters");

const char PropertyFilenameField[FIELD_LENGTH + 1] = PROPERTY_FILENAME_FIELD;
const char AltDirField[FIELD_LENGTH + 1] = ALT_DIR_FIELD;
