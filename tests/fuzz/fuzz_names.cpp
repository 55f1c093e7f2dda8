// SPDX-License-Identifier: Apache-2.0
// Member names to partition, type and nation.
#include <cstdlib>
#include <string>

#include "engine/tables.h"
#include "platform/text.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring name = tarn::platform::Widen(std::string_view(reinterpret_cast<const char*>(data), size));
  std::int32_t del = -7;
  std::int16_t type = -7;
  const int code = ClassifyMember(name, &del, &type);
  if (code == -1 && (del != -7 || type != -7)) std::abort();
  if (code != -1 && (type < 2 || type > 7)) std::abort();
  const int nation = NationOfName(name);
  if (nation < 0 || nation > 9) std::abort();
  return 0;
}
