// SPDX-License-Identifier: Apache-2.0
// Thrown by the link when the one who runs it asked for a stop at the next
// command boundary: the last command's answer has been read and nothing new
// has gone out, so the phone waits for a command and a new run can greet it.
// The one who runs the link releases the job.
#pragma once

struct LinkStopped {};
