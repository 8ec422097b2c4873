// The launcher's patchable fields as the packaging step leaves them in an application's copy
// (the unit tests link these in place of launcher/fields.cpp): the properties file
// "app.properties", looked for in "altdir" when the current directory has none. The rest of
// each field is padding.
#include "launcher/buffers.h"
#include "launcher/getparam.h"

const char PropertyFilenameField[FIELD_LENGTH + 1] = "app.properties     ";
const char AltDirField[FIELD_LENGTH + 1] = "altdir";
