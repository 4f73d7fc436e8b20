#include "library/diagnostics/SResult.h"
