// SPDX-License-Identifier: Apache-2.0
// The answer judge, the greeting word and octal size fields.
#include <cstdlib>
#include <string>

#include "wire/command_packet.h"
#include "wire/greeting.h"
#include "wire/tar_reader.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tarn::fuzz::SilenceLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size >= 8) {
    const int expected = static_cast<int>(data[0] | (data[1] << 8));
    const DWORD received = data[2] % 6;
    COMMAND_RESPONSE decoded{};
    const ResponseVerdict verdict = JudgeResponse(data + 4, received, expected, &decoded);
    // Fewer than four bytes can never be a success.
    if (received < 4 && verdict == ResponseVerdict::Ok) std::abort();
    LoaderVersionOfGreeting(data + 4);
  }
  const std::string text(reinterpret_cast<const char*>(data), size);
  ParseOctal(text.c_str());
  std::uint32_t value = 0;
  ParseOctalField(text.data(), text.size() < 12 ? text.size() : 12, &value);
  return 0;
}
