// Placeholder: replaced by the real implementation.
#include "stub/stub.h"
