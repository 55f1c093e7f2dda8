// SPDX-License-Identifier: Apache-2.0
// Byte transfer on the session's device, with the error log and the unplug
// handling every protocol operation relies on.
#pragma once

#include <cstdint>

#include "link/link_session.h"
#include "platform/win_types.h"

// Sends `count` bytes: RESULT_OK or RESULT_FAIL (logged "Write Error %d\n").
// Throws LinkDisconnected when the phone's port has gone.
std::int32_t SendBytes(LinkSession& link, const void* buffer, DWORD count);

// Receives up to `count` bytes; returns how many arrived (may be short). A
// silent phone is reported; nothing received from a gone port throws
// LinkDisconnected.
DWORD ReceiveBytes(LinkSession& link, void* destination, DWORD count);

// Throws LinkStopped when a stop at the next command boundary was asked for.
// Called before a command packet or the greeting goes out, never between the
// frames of a piece: the phone waits for those whole and would take a new
// run's greeting for frame data.
void StopIfRequested(const LinkSession& link);
