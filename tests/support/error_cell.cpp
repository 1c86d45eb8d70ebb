#include "core/win32.h"

#include "support/error_cell.h"
