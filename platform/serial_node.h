// SPDX-License-Identifier: Apache-2.0
// Whether a node is a serial port, decided before it is opened for anything
// but its name. A map entry may lead anywhere under /dev: a file or a FIFO
// must never get a phone's bytes or ioctls, and opening some character
// devices does something by itself (a watchdog starts counting).
#pragma once

#include <string>

namespace tarn::platform {

// Opens `path` (links followed) read-write, without making it the
// controlling terminal, non-blocking and close-on-exec, when it is a terminal
// device: a tty of the kernel's tty class or a pseudo-terminal's far end.
// The descriptor, or -1 with errno set: ENOTTY when it is no serial port,
// otherwise why it could not be reached or opened.
int OpenSerialNode(const std::string& path);

}  // namespace tarn::platform
