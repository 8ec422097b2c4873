// Placeholder: replaced by the real implementation.
#include <windows.h>
