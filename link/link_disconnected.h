// SPDX-License-Identifier: Apache-2.0
// Thrown by the byte transfer when the phone's port has gone: no operation
// can go on, and the one who runs the link releases the job.
#pragma once

struct LinkDisconnected {};
