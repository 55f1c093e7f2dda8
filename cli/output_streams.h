// SPDX-License-Identifier: Apache-2.0
// Standard output and error are often pipes whose reader may go away
// (`tarn-flash --json | head`). A batch must not die of that half-way through
// a phone's frames: SIGPIPE is ignored, and the first write that fails on
// either stream closes it for the rest of the run, with one line on the
// other stream (while that one still works) saying so. The batch goes on and
// its report file, slot logs and exit status are what they would have been.
#pragma once

#include <cstdio>
#include <string_view>

namespace tarn::cli {

// Call once, first thing: ignores SIGPIPE, and puts /dev/null where standard
// input, output or error was not open at all (`>&-`), so that no file or
// serial port the run opens takes their number and gets the run's text.
void GuardStandardStreams();

// Writes `bytes` to `stream` and flushes it. False when nothing more goes
// there: this write failed, or an earlier one on the same standard stream did.
bool WriteStream(std::FILE* stream, std::string_view bytes);

// Writes all of `bytes` to the descriptor, going on after interruptions;
// false when a write fails.
bool WriteAll(int fd, std::string_view bytes);

}  // namespace tarn::cli
