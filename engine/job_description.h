// SPDX-License-Identifier: Apache-2.0
// What one job was asked to do, fixed when it starts: the host's settings as
// they stood at StartJob. The job thread and its steps only read it.
#pragma once

#include <cstdint>
#include <string>

#include "engine/options.h"

// One image as the host chose it: a file's path, or in NPS mode the name of
// the host's shared image and the bytes it holds.
struct JobImage {
  std::wstring path;
  std::uint32_t npsSize = 0;
};

struct JobDescription {
  JobImage boot;
  JobImage pda;
  JobImage csc;
  JobImage phone;
  std::uint16_t imageMask = 0;  // IMAGE_MASK_* bits
  ENGINE_OPTIONS options{};
  std::int32_t totalSize = 0;  // what START counted, for the overall percentage
  // As given: -1 and -2 have the job look its port up, -2 also makes the
  // job reset a phone whose update failed.
  std::int16_t port = 0;
  std::int16_t slot = 0;

  bool Has(std::uint16_t imageBit) const { return (imageMask & imageBit) != 0; }
};
