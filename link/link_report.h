// SPDX-License-Identifier: Apache-2.0
// Formatting link texts and percentages for the session's events.
#pragma once

#include "link/link_session.h"

// Formats a line (cut to 511 characters) and passes it on as text or error.
void ReportStatus(LinkSession& link, const wchar_t* format, ...);
void ReportError(LinkSession& link, const wchar_t* format, ...);

// done * 100 / total in double precision, truncated toward zero.
int PercentOf(double done, double total);
// OnProgress with the overall percentage of the session's counters.
void ReportOverallProgress(LinkSession& link, int file);
