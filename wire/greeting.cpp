// SPDX-License-Identifier: Apache-2.0
#include "wire/greeting.h"

#include <cstring>

int LoaderVersionOfGreeting(const std::uint8_t word[4]) {
  static const struct {
    const char* text;
    int version;
  } kWords[] = {{"PELL", 1}, {"KELD", 2}, {"TARN", 3}, {"LAST", kLoaderAsksVersion}};
  for (const auto& w : kWords) {
    if (std::memcmp(word, w.text, 4) == 0) return w.version;
  }
  return 0;
}
