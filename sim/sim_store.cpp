// SPDX-License-Identifier: Apache-2.0
#include "sim/sim_store.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "sim/sim_wire.h"
#include "support/md5.h"

namespace tarn::sim {
namespace {

constexpr std::uint8_t kPadding = 0xFF;
constexpr std::uint8_t kInfoMagic[4] = {'O', 'F', 'N', 'I'};
constexpr std::size_t kInfoSizeOffset = 36;

bool TextEquals(const std::string& hex, const std::uint8_t* text) {
  return hex.size() == kDigestTextSize && std::memcmp(hex.data(), text, kDigestTextSize) == 0;
}

}  // namespace

bool DigestMatches(const std::uint8_t* data, std::size_t length, const std::uint8_t* text) {
  return TextEquals(tarn::md5::DigestText(data, length), text);
}

void RunningDigest::Reset() {
  context_ = tarn::md5::Context();
  digested_ = 0;
}

void RunningDigest::Follow(const Received& received, std::size_t frameSize) {
  if (received.size() < digested_ + 2 * frameSize) return;
  const std::size_t end = received.size() - frameSize;
  context_.Update(received.data() + digested_, end - digested_);
  digested_ = end;
}

bool RunningDigest::Matches(const Received& received, std::size_t length, const std::uint8_t* text) const {
  if (length < digested_ || length > received.size()) return DigestMatches(received.data(), length, text);
  tarn::md5::Context rest = context_;
  rest.Update(received.data() + digested_, length - digested_);
  std::uint8_t digest[16];
  rest.Final(digest);
  return TextEquals(tarn::md5::HexUpper(digest), text);
}

bool IsPlainForm(const std::uint8_t* text) {
  return std::all_of(text, text + kDigestTextSize, [](std::uint8_t b) { return b == 0; });
}

std::optional<std::size_t> FwPieceLength(const Received& received, const std::uint8_t* text) {
  std::size_t minimum = received.size();
  while (minimum > 0 && received[minimum - 1] == kPadding) --minimum;
  tarn::md5::Context running;
  running.Update(received.data(), minimum);
  for (std::size_t length = minimum;; ++length) {
    tarn::md5::Context trial = running;
    std::uint8_t digest[16];
    trial.Final(digest);
    if (length > 0 && TextEquals(tarn::md5::HexUpper(digest), text)) return length;
    if (length == received.size()) return std::nullopt;
    running.Update(&kPadding, 1);
  }
}

namespace {
constexpr std::size_t kHugePage = 2u << 20;
std::size_t MappedSize(std::size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }
}  // namespace

void* AllocatePiece(std::size_t bytes) {
  if (bytes < kHugePage) {
    if (void* memory = std::malloc(bytes)) return memory;
    throw std::bad_alloc();
  }
  void* memory = ::mmap(nullptr, MappedSize(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) throw std::bad_alloc();
  (void)::madvise(memory, MappedSize(bytes), MADV_HUGEPAGE);
  return memory;
}

void FreePiece(void* memory, std::size_t bytes) {
  if (bytes < kHugePage) {
    std::free(memory);
  } else {
    ::munmap(memory, MappedSize(bytes));
  }
}

void PrepareRoom(Received& received, std::size_t bytes) {
  if (bytes == 0) return;
  received.reserve(bytes);
  const std::size_t room = received.capacity();
  // Room of a huge-page size is a mapping of its own (see AllocatePiece)
  // that the kernel can populate at once; elsewhere writing one byte per
  // page faults every page in.
  if (room >= kHugePage && ::madvise(received.data(), MappedSize(room), MADV_POPULATE_WRITE) == 0) return;
  volatile std::uint8_t* bytesOf = received.data();
  for (std::size_t at = 0; at < room; at += 4096) bytesOf[at] = 0;
}

bool HasInfoBlock(const Received& received, std::size_t length) {
  if (length < kInfoBlockSize || length > received.size()) return false;
  return std::memcmp(received.data(), kInfoMagic, 4) == 0 &&
         Le32(received.data() + kInfoSizeOffset) == length - kInfoBlockSize;
}

std::string PartitionFileName(int partitionCode) {
  char name[32];
  std::snprintf(name, sizeof(name), "part%02d.bin", partitionCode);
  return name;
}

std::string FwFileName(const std::uint8_t* name, std::size_t size) {
  std::string text = "fw-";
  for (std::size_t i = 0; i < size && name[i] != 0; ++i) {
    const char c = static_cast<char>(name[i]);
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                       c == '-' || c == '_';
    // The name comes from the wire: nothing in it may leave the folder.
    text += plain && !(c == '.' && i == 0) ? c : '_';
  }
  return text + ".bin";
}

bool PieceStore::Append(const std::string& fileName, const std::uint8_t* data, std::size_t length) {
  if (directory_.empty()) return true;
  const bool fresh = started_.insert(fileName).second;
  std::ofstream out(directory_ / fileName, std::ios::binary | (fresh ? std::ios::trunc : std::ios::app));
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(length));
  return static_cast<bool>(out);
}

}  // namespace tarn::sim
