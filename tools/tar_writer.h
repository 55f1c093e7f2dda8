// SPDX-License-Identifier: Apache-2.0
// Writes a ustar archive member by member, streaming the data.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace tarn::tools {

class TarWriter {
 public:
  // Opens `path` for writing; IsOpen() tells whether it worked.
  explicit TarWriter(const std::string& path);
  ~TarWriter();
  TarWriter(const TarWriter&) = delete;
  TarWriter& operator=(const TarWriter&) = delete;

  bool IsOpen() const { return file_ != nullptr; }
  // `produce(buffer, count)` fills the member's bytes in order, in pieces.
  bool AddMember(const std::string& name, std::uint64_t size,
                 const std::function<void(unsigned char*, std::size_t)>& produce);
  // Two zero blocks, then close; false when anything failed on the way.
  bool Finish();

 private:
  std::FILE* file_ = nullptr;
  bool ok_ = true;
};

}  // namespace tarn::tools
