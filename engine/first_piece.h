// SPDX-License-Identifier: Apache-2.0
// The job's first piece, digested during the slot's start-up delay and the
// phone's greeting instead of after them.
#pragma once

#include "engine/job_description.h"

class CKelpa3Engine;

// Opens the job's first archive (kept for its download, see
// TakeEarlyImage) and asks the job's digest worker for the first piece the
// job will most likely send. Quiet: a failure here is met again, and
// reported, when the archive is downloaded.
void DigestFirstPieceAhead(CKelpa3Engine& job, const JobDescription& task);
