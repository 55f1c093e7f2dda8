// SPDX-License-Identifier: Apache-2.0
// MD5 message digest (RFC 1321), as text: 32 upper-case hexadecimal characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CMD5 {
 public:
  CMD5() = default;
  virtual ~CMD5() = default;

  // Digest of `length` bytes at `data` as 32 upper-case hex characters.
  static std::wstring GetMD5(const void* data, std::uint32_t length);
};

namespace tarn::md5 {

// RFC 1321 context; complete 64-byte blocks are hashed straight from the
// caller's memory, only a partial block is copied.
class Context {
 public:
  Context();
  ~Context();
  void Update(const void* data, std::size_t length);
  // Writes the 16 digest bytes and wipes the context.
  void Final(std::uint8_t digest[16]);

 private:
  void Transform(const std::uint8_t block[64]);
  std::uint32_t state_[4];
  std::uint32_t count_[2];  // bit count, low word first
  std::uint8_t buffer_[64];
};

// Upper-case hex text of a digest, narrow.
std::string HexUpper(const std::uint8_t digest[16]);
// Digest of a block as narrow text (what goes on the wire).
std::string DigestText(const void* data, std::size_t length);

}  // namespace tarn::md5
