// Placeholder: replaced by the real implementation.
#include "unzip/unzip.h"
int main() { return 0; }
