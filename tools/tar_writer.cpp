// SPDX-License-Identifier: Apache-2.0
#include "tools/tar_writer.h"

#include <array>
#include <cstring>
#include <vector>

namespace tarn::tools {

namespace {

constexpr std::size_t kBlock = 512;
constexpr std::size_t kPiece = 1 << 20;

void PutOctal(unsigned char* field, std::size_t width, std::uint64_t value) {
  // width - 1 digits and a NUL, as ustar writes them.
  for (std::size_t i = width - 1; i-- > 0;) {
    field[i] = static_cast<unsigned char>('0' + (value & 7));
    value >>= 3;
  }
  field[width - 1] = 0;
}

std::array<unsigned char, kBlock> Header(const std::string& name, std::uint64_t size) {
  std::array<unsigned char, kBlock> h{};
  std::memcpy(h.data(), name.data(), std::min<std::size_t>(name.size(), 100));
  PutOctal(h.data() + 100, 8, 0644);
  PutOctal(h.data() + 108, 8, 0);
  PutOctal(h.data() + 116, 8, 0);
  PutOctal(h.data() + 124, 12, size);
  PutOctal(h.data() + 136, 12, 0);  // fixed time: the same archive on every run
  h[156] = '0';
  std::memcpy(h.data() + 257, "ustar", 6);
  std::memcpy(h.data() + 263, "00", 2);
  std::memset(h.data() + 148, ' ', 8);
  unsigned sum = 0;
  for (unsigned char c : h) sum += c;
  PutOctal(h.data() + 148, 7, sum);
  h[155] = ' ';
  return h;
}

}  // namespace

TarWriter::TarWriter(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {}

TarWriter::~TarWriter() {
  if (file_) std::fclose(file_);
}

bool TarWriter::AddMember(const std::string& name, std::uint64_t size,
                          const std::function<void(unsigned char*, std::size_t)>& produce) {
  if (!file_) return false;
  auto header = Header(name, size);
  ok_ = ok_ && std::fwrite(header.data(), 1, header.size(), file_) == header.size();
  std::vector<unsigned char> piece(kPiece);
  for (std::uint64_t left = size; left > 0 && ok_;) {
    std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(left, kPiece));
    produce(piece.data(), count);
    ok_ = std::fwrite(piece.data(), 1, count, file_) == count;
    left -= count;
  }
  std::size_t pad = static_cast<std::size_t>((kBlock - size % kBlock) % kBlock);
  std::array<unsigned char, kBlock> zeros{};
  ok_ = ok_ && std::fwrite(zeros.data(), 1, pad, file_) == pad;
  return ok_;
}

bool TarWriter::Finish() {
  if (!file_) return false;
  std::array<unsigned char, 2 * kBlock> zeros{};
  ok_ = ok_ && std::fwrite(zeros.data(), 1, zeros.size(), file_) == zeros.size();
  ok_ = (std::fclose(file_) == 0) && ok_;
  file_ = nullptr;
  return ok_;
}

}  // namespace tarn::tools
