// SPDX-License-Identifier: Apache-2.0
// The tar reader itself, read from memory, over archives whose pax headers
// and GNU long-name and long-link records are arbitrary: never a crash, the
// walk moves forward and ends, every entry's data starts on a block boundary
// after the previous one and lies inside the image, names never keep a "./"
// in front, and a broken archive always says why.
#include <cstdlib>
#include <cstring>

#include "tests/fuzz/fuzz_support.h"
#include "wire/tar_reader.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tarn::fuzz::SilenceLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 0xFFFFFFFFull) return 0;
  const auto imageSize = static_cast<std::uint32_t>(size);
  TarReader reader(
      [data, size](std::uint64_t offset, void* destination, std::size_t count) {
        if (offset > size || count > size - offset) return false;
        std::memcpy(destination, data + offset, count);
        return true;
      },
      imageSize);
  std::uint64_t previousEnd = 0;
  std::size_t entries = 0;
  const auto check = [&](const TarEntry& entry) {
    if (entry.dataOffset % kTarBlock != 0 || entry.dataOffset < previousEnd + kTarBlock) std::abort();
    if (std::uint64_t{entry.dataOffset} + entry.size > size) std::abort();
    if (entry.name.size() > 2 && entry.name.starts_with(L"./")) std::abort();
    // Each entry takes at least its own header block, so there cannot be more.
    if (++entries > size / kTarBlock) std::abort();
    previousEnd = std::uint64_t{entry.dataOffset} + entry.size;
  };
  const TarStep end = WalkTar(
      reader,
      [&](const TarEntry& entry) {
        check(entry);
        return true;
      },
      [&](const TarEntry& entry) {
        check(entry);
        if (*entry.skipReason == L'\0') std::abort();
      });
  if (end == TarStep::Broken && reader.Problem().empty()) std::abort();
  if (end == TarStep::Member || end == TarStep::ReadFailed) std::abort();  // never stopped, never misread
  return 0;
}
