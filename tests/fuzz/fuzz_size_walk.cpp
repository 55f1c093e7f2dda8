// SPDX-License-Identifier: Apache-2.0
// The START size walk over tar headers: never a crash, never a hang.
#include "host/start_plan.h"
#include "platform/file_mapping.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tarn::fuzz::SilenceLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int nation = data[0] % 11;
  tarn::fuzz::MemoryFile file(data + 1, size - 1);
  const auto image = tarn::platform::CFileMapping::OpenFile(file.Path());
  if (!image) return 0;
  std::uint32_t total = 0;
  SumTarSizes(*image, static_cast<std::uint32_t>(size - 1), nation, &total);
  return 0;
}
