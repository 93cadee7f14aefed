#pragma once

#include "winsvc.h"

// The per-thread last error behind GetLastError/SetLastError.
void setLastErrorCode(DWORD code);
