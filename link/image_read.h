// SPDX-License-Identifier: Apache-2.0
// What to say when an image could not be read while it was being sent.
#pragma once

#include "link/link_session.h"

namespace tarn::platform {
class CFileMapping;
}

// After a failed read of `mapping`: when the image changed under the job,
// reports "e - the image changed while it was being sent: PATH" and answers
// true; false for other failures, which the caller logs its own way.
bool ReportImageChanged(LinkSession& link, const tarn::platform::CFileMapping& mapping);
// ReportImageChanged, or for other failures the log line
// "Error MapViewOfFile (%d)\n" with the error code.
void LogImageReadFailure(LinkSession& link, const tarn::platform::CFileMapping& mapping);
