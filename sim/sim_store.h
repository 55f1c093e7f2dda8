// SPDX-License-Identifier: Apache-2.0
// What the simulated phone does with a committed piece: check its MD5 text
// and append its bytes to the file of its partition.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <utility>
#include <set>
#include <string>
#include <vector>

#include "support/md5.h"

namespace tarn::sim {

constexpr std::size_t kDigestTextSize = 32;
constexpr std::size_t kInfoBlockSize = 72;

// Received bytes. A piece can be a hundred MiB: its memory comes in huge
// pages where the kernel allows them (a fault per 4 KiB page costs a
// simulated phone more than the digest), and growing it leaves the new bytes
// uninitialised, since every frame is read straight over them.
void* AllocatePiece(std::size_t bytes);
void FreePiece(void* memory, std::size_t bytes);
template <typename T>
struct PieceAllocator {
  using value_type = T;
  PieceAllocator() = default;
  template <typename U>
  PieceAllocator(const PieceAllocator<U>&) {}
  T* allocate(std::size_t n) { return static_cast<T*>(AllocatePiece(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) { FreePiece(p, n * sizeof(T)); }
  template <typename U>
  void construct(U* place) {
    ::new (static_cast<void*>(place)) U;
  }
  template <typename U, typename... Args>
  void construct(U* place, Args&&... args) {
    ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
  }
  template <typename U>
  bool operator==(const PieceAllocator<U>&) const {
    return true;
  }
};
using Received = std::vector<std::uint8_t, PieceAllocator<std::uint8_t>>;
// Reserves room for `bytes` and has the kernel back all of it now.
void PrepareRoom(Received& received, std::size_t bytes);

// True when `text` (32 bytes) is the upper-case MD5 text of the bytes.
bool DigestMatches(const std::uint8_t* data, std::size_t length, const std::uint8_t* text);
// The MD5 of a piece followed as its frames arrive, so that its check at the
// write command costs at most the last frame. The last frame is held back:
// only the write command tells how much of it is data.
class RunningDigest {
 public:
  void Reset();
  // Digests the received bytes up to the start of the last `frameSize`.
  void Follow(const Received& received, std::size_t frameSize);
  // True when `text` is the MD5 text of the first `length` received bytes.
  bool Matches(const Received& received, std::size_t length, const std::uint8_t* text) const;

 private:
  tarn::md5::Context context_;
  std::size_t digested_ = 0;
};

// True when the 32 bytes are all zero (a commit in the plain form).
bool IsPlainForm(const std::uint8_t* text);
// The piece length of an FW commit, which carries no length word: the
// received bytes end in 0xFF frame padding, so the length is the one between
// the last non-padding byte and the end whose MD5 matches `text`.
std::optional<std::size_t> FwPieceLength(const Received& received, const std::uint8_t* text);
// For a plain-form commit: true when the piece begins with a valid info
// block for `length` bytes (block included).
bool HasInfoBlock(const Received& received, std::size_t length);

// File names of the stored pieces.
std::string PartitionFileName(int partitionCode);
std::string FwFileName(const std::uint8_t* name, std::size_t size);

class PieceStore {
 public:
  explicit PieceStore(std::filesystem::path directory) : directory_(std::move(directory)) {}
  // A new job greeted the phone: the next write to each file starts it anew.
  void NewSession() { started_.clear(); }
  bool Append(const std::string& fileName, const std::uint8_t* data, std::size_t length);

 private:
  std::filesystem::path directory_;
  std::set<std::string> started_;
};

}  // namespace tarn::sim
