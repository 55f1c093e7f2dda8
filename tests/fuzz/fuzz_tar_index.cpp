// SPDX-License-Identifier: Apache-2.0
// Archive bytes to member table or error: never a crash, and every member
// found lies inside the image.
#include <cstdlib>

#include "engine/archive_index.h"
#include "engine/kelpa3_engine.h"
#include "engine/results.h"
#include "platform/file_mapping.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tarn::fuzz::SilenceLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tarn::fuzz::MemoryFile file(data, size);
  auto mapping = tarn::platform::CFileMapping::OpenFile(file.Path());
  if (!mapping) return 0;
  CKelpa3Engine job;
  if (IndexArchive(*mapping, job, static_cast<std::uint32_t>(size)) == RESULT_OK) {
    for (const auto& member : job.m_members) {
      if (static_cast<std::uint64_t>(member->dwOffset) + member->dwSize > size) std::abort();
    }
  }
  return 0;
}
