// SPDX-License-Identifier: Apache-2.0
#include "tools/tar_writer.h"

#include <algorithm>
#include <cstring>

namespace tarn::tools {

namespace {

constexpr std::size_t kPiece = 1 << 20;

void PutOctal(unsigned char* field, std::size_t width, std::uint64_t value) {
  // width - 1 digits and a NUL, as ustar writes them.
  for (std::size_t i = width - 1; i-- > 0;) {
    field[i] = static_cast<unsigned char>('0' + (value & 7));
    value >>= 3;
  }
  field[width - 1] = 0;
}

}  // namespace

TarBlock TarHeader(const std::string& name, std::uint64_t size, const std::optional<std::string>& sizeField) {
  TarBlock h{};
  std::memcpy(h.data(), name.data(), std::min(name.size(), kTarNameField));
  PutOctal(h.data() + 100, 8, 0644);
  PutOctal(h.data() + 108, 8, 0);
  PutOctal(h.data() + 116, 8, 0);
  if (sizeField) {
    std::memcpy(h.data() + kTarSizeOffset, sizeField->data(), std::min(sizeField->size(), kTarSizeField));
  } else {
    PutOctal(h.data() + kTarSizeOffset, kTarSizeField, size);
  }
  PutOctal(h.data() + 136, 12, 0);
  h[156] = '0';
  std::memcpy(h.data() + 257, "ustar", 6);
  std::memcpy(h.data() + 263, "00", 2);
  // The checksum is taken with its own field as spaces: six digits, NUL, space.
  std::memset(h.data() + kTarChecksumOffset, ' ', kTarChecksumField);
  unsigned sum = 0;
  for (unsigned char c : h) sum += c;
  PutOctal(h.data() + kTarChecksumOffset, kTarChecksumField - 1, sum);
  h[kTarChecksumOffset + kTarChecksumField - 1] = ' ';
  return h;
}

std::size_t TarPadding(std::uint64_t size) {
  return static_cast<std::size_t>((kTarBlock - size % kTarBlock) % kTarBlock);
}

std::string TarArchive(const std::vector<TarMember>& members, int zeroBlocks) {
  std::string out;
  for (const auto& member : members) {
    const TarBlock header = TarHeader(member.name, member.data.size(), member.sizeField);
    out.append(header.begin(), header.end());
    out += member.data;
    out.append(TarPadding(member.data.size()), '\0');
  }
  out.append(kTarBlock * static_cast<std::size_t>(std::max(zeroBlocks, 0)), '\0');
  return out;
}

bool WriteProduced(std::FILE* file, std::uint64_t size, const TarProducer& produce) {
  std::vector<unsigned char> piece(static_cast<std::size_t>(std::min<std::uint64_t>(size, kPiece)));
  for (std::uint64_t left = size; left > 0;) {
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(left, kPiece));
    produce(piece.data(), count);
    if (std::fwrite(piece.data(), 1, count, file) != count) return false;
    left -= count;
  }
  return true;
}

TarWriter::TarWriter(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {}

TarWriter::~TarWriter() {
  if (file_) std::fclose(file_);
}

bool TarWriter::Write(const void* bytes, std::size_t count) {
  ok_ = ok_ && std::fwrite(bytes, 1, count, file_) == count;
  return ok_;
}

bool TarWriter::AddMember(const std::string& name, std::uint64_t size, const TarProducer& produce) {
  if (!file_) return false;
  const TarBlock header = TarHeader(name, size);
  const TarBlock zeros{};
  ok_ = Write(header.data(), header.size()) && WriteProduced(file_, size, produce);
  return Write(zeros.data(), TarPadding(size));
}

bool TarWriter::Finish() {
  if (!file_) return false;
  const TarBlock zeros{};
  Write(zeros.data(), zeros.size());
  Write(zeros.data(), zeros.size());
  ok_ = (std::fclose(file_) == 0) && ok_;
  file_ = nullptr;
  return ok_;
}

}  // namespace tarn::tools
