// SPDX-License-Identifier: Apache-2.0
// --report FILE: the batch's summary record, written when the batch ends
// (also when a signal stopped it). Written to a temporary file beside FILE
// and renamed over it, so a reader sees the old file or the whole new one.
// A report that could not be written fails the run: what stays at FILE is
// not this batch's.
#pragma once

#include <string>

#include "cli/flash_report.h"

namespace tarn::cli {

class ReportFile {
 public:
  explicit ReportFile(std::string path) : path_(std::move(path)) {}
  // Whether FILE can be written and the final rename can replace what is
  // there, tried before any phone is touched. Empty when it can, else the
  // refusal line ("e - ...\n").
  static std::string Check(const std::string& path);
  // Writes the summary record; false, after one line on standard error, when it cannot.
  bool Write(const BatchSummary& summary);

 private:
  std::string path_;
};

// Writes `content` to `path` through a temporary file in the same folder and
// a rename. False, with the reason in *err, when any step fails.
bool WriteAtomically(const std::string& path, const std::string& content, std::string* err);

}  // namespace tarn::cli
