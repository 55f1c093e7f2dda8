// SPDX-License-Identifier: Apache-2.0
// The one ustar writer of the sample-image tool, the tests and the benchmark:
// whole archives in memory, or large ones streamed to a file member by member.
// Tests also write headers no archiver would (odd size fields, missing end blocks).
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "wire/tar_header.h"

namespace tarn::tools {

using TarBlock = std::array<unsigned char, kTarBlock>;

// A plain file's header: mode 0644, owner 0, time 0 (the same archive on every
// run). `sizeField`, when set, is written in place of the octal size (at most
// 12 bytes, the rest NUL); the checksum covers what was written.
TarBlock TarHeader(const std::string& name, std::uint64_t size,
                   const std::optional<std::string>& sizeField = std::nullopt);
// Zero bytes that fill `size` bytes of data up to a whole block.
std::size_t TarPadding(std::uint64_t size);

struct TarMember {
  TarMember(std::string n, std::string d, std::optional<std::string> s = std::nullopt)
      : name(std::move(n)), data(std::move(d)), sizeField(std::move(s)) {}
  std::string name;  // copied into the 100-byte name field (no NUL when 100 long)
  std::string data;
  std::optional<std::string> sizeField;  // replaces the octal size text when set
};

// Each member's header and padded data, then `zeroBlocks` zero blocks (two end
// a proper archive).
std::string TarArchive(const std::vector<TarMember>& members, int zeroBlocks = 2);

// Fills `count` bytes of a member in order, piece by piece.
using TarProducer = std::function<void(unsigned char*, std::size_t)>;

// Writes `size` bytes from `produce` to `file` in pieces; false when a write failed.
bool WriteProduced(std::FILE* file, std::uint64_t size, const TarProducer& produce);

class TarWriter {
 public:
  // Opens `path` for writing; IsOpen() tells whether it worked.
  explicit TarWriter(const std::string& path);
  ~TarWriter();
  TarWriter(const TarWriter&) = delete;
  TarWriter& operator=(const TarWriter&) = delete;

  bool IsOpen() const { return file_ != nullptr; }
  bool AddMember(const std::string& name, std::uint64_t size, const TarProducer& produce);
  // Two zero blocks, then close; false when anything failed on the way.
  bool Finish();

 private:
  bool Write(const void* bytes, std::size_t count);

  std::FILE* file_ = nullptr;
  bool ok_ = true;
};

}  // namespace tarn::tools
