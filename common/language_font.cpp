// Placeholder: replaced by the real implementation.
#include "common/language.h"
