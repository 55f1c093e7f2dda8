// SPDX-License-Identifier: Apache-2.0
#include "host/slot_job.h"

namespace tarn::host {

namespace {

// The name every host gives Init; the engine does not use it.
constexpr const wchar_t* kProjectName = L"K-Project";

}  // namespace

bool StartSlotJob(CPellLinuxNp& engine, const SlotJob& job, int port, int slot,
                  const std::function<void()>& beforeStart) {
  engine.Init(kProjectName);
  engine.SetPdaPath(job.pda.c_str());
  engine.SetCscPath(job.csc.c_str());
  engine.SetPhonePath(job.phone.c_str());
  engine.SetImageMask(job.imageMask);
  if (job.totalSize) engine.SetTotalSize(static_cast<std::int32_t>(*job.totalSize));
  engine.SetOptions(&job.options);
  if (beforeStart) beforeStart();
  return engine.StartJob(static_cast<std::int16_t>(port), static_cast<std::int16_t>(slot)) == 0;
}

}  // namespace tarn::host
