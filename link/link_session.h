// SPDX-License-Identifier: Apache-2.0
// What a link operation works with: the slot's open device, where it reports,
// the transfer counters it advances and the few settings it reads.
#pragma once

#include <atomic>
#include <cstdint>

class CUSBDevice;
class CSecurityEngine;
class LinkEvents;

struct LinkOptions {
  bool npsMode = false;
  int platform = 0;  // 0 accepts any phone platform
  bool csaClear = false;
  bool phoneBootUpdate = false;
  bool phoneEfsClear = false;
};

struct LinkSession {
  CUSBDevice& device;
  LinkEvents& events;
  const CSecurityEngine& security;
  // Bytes sent and to send in the whole job, for the overall percentage.
  std::uint32_t& progressDone;
  std::uint32_t& progressTotal;
  int slot = 0;  // for log records
  // The boot loader's version as its greeting gave it; 0 before.
  int loaderVersion = 0;
  LinkOptions options{};
  // Set by the one who runs the link to ask for a stop at the next command
  // boundary (see link/link_stopped.h); null: never asked.
  const std::atomic<bool>* stopRequested = nullptr;
};
