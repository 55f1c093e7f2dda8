// SPDX-License-Identifier: Apache-2.0
// What a job learns as it runs, kept by its own thread: the port it uses and
// what the host and the phone answered. Steps that learn something write it
// here; the host's settings stay as the host left them.
#pragma once

#include "engine/job_description.h"

struct RunState {
  int port = 0;           // the port given, or the one the look-up found
  int loaderVersion = 0;  // from the phone's greeting; 0 before it
  int platform = 0;       // the images' platform until the phone reports its own
  int nation = 0;         // the host's nation selection when the job began

  static RunState StartOf(const JobDescription& task) {
    RunState run;
    run.port = task.port;
    run.platform = task.options.nPlatform;
    return run;
  }
};
