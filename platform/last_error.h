// SPDX-License-Identifier: Apache-2.0
// The calling thread's last error code, as the serial and file layers leave it
// for their callers. Linux signs that a device has gone are stored as
// ERROR_ACCESS_DENIED (5), the code the engine treats as "unplugged".
#pragma once

#include "platform/win_types.h"

DWORD GetLastError();
void SetLastError(DWORD code);
