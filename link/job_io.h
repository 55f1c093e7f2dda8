// SPDX-License-Identifier: Apache-2.0
// Job-level byte transfer: the job's device plus the error log and the
// unplug handling every protocol operation relies on.
#pragma once

#include "platform/win_types.h"

class CKelpa3Engine;

// Sends `count` bytes on the job's port: 1 or 0. A failed write logs
// "Write Error %d\n"; an unplugged phone ends the job thread (AbortOnDisconnect).
int SendBytes(CKelpa3Engine& job, const void* buffer, DWORD count);

// Receives up to `count` bytes; returns how many arrived (may be short).
// Nothing received with ERROR_ACCESS_DENIED means unplugged: ends the job thread.
DWORD ReceiveBytes(CKelpa3Engine& job, void* destination, DWORD count);

// Reports the unplug, releases the job's members and port, and ends the
// calling job thread at once. Never returns.
[[noreturn]] void AbortOnDisconnect(CKelpa3Engine& job);
