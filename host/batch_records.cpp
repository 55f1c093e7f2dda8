// SPDX-License-Identifier: Apache-2.0
#include "host/batch_records.h"

#include <systemd/sd-id128.h>

namespace tarn::host {

const char* ResultName(SlotResult result) {
  switch (result) {
    case SlotResult::Passed: return "PASS";
    case SlotResult::Stopped: return "STOPPED";
    case SlotResult::Failed: break;
  }
  return "FAIL";
}

std::string NewBatchId() {
  sd_id128_t id{};
  if (sd_id128_randomize(&id) < 0) return {};
  char text[SD_ID128_STRING_MAX];
  return sd_id128_to_string(id, text);
}

}  // namespace tarn::host
