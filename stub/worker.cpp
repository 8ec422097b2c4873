// Placeholder: replaced by the real implementation.
#include "stub/stub.h"
#include "unzip/unzip.h"
int quietInstall;
int propertiesInstall;
char *installDir;
FILE *logErrors;
