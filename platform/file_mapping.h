// Read-only mappings of image files and of named shared memory, read through
// short-lived views.
//
// A view never reaches past the end of what was mapped: on Linux touching a
// mapped page beyond the end of its file kills the process (SIGBUS), so views
// are checked against the size the mapping was opened with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/win_types.h"

namespace tarn::platform {

// Views start at multiples of this (a multiple of every page size we run on).
constexpr DWORD kAllocationGranularity = 65536;

class CFileMapping {
 public:
  ~CFileMapping();
  CFileMapping(const CFileMapping&) = delete;
  CFileMapping& operator=(const CFileMapping&) = delete;

  // Opens an existing file for reading. nullptr on failure, with the last error set.
  static std::unique_ptr<CFileMapping> OpenFile(const std::string& path);
  // Opens existing named shared memory for reading ("name" or "/name").
  static std::unique_ptr<CFileMapping> OpenShared(const std::string& name);

  // Bytes that can be viewed (the file's or the shared object's size).
  std::uint64_t Size() const { return size_; }
  // Closes the descriptor; false (last error set) when closing failed.
  bool Close();

 private:
  friend class CMappedView;
  CFileMapping(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  static std::unique_ptr<CFileMapping> FromDescriptor(int fd, bool regularOnly);
  int fd_;
  std::uint64_t size_;
};

// One view of a mapping; unmapped when it goes away.
class CMappedView {
 public:
  CMappedView() = default;
  ~CMappedView();
  CMappedView(const CMappedView&) = delete;
  CMappedView& operator=(const CMappedView&) = delete;

  // Maps [offset, offset + length) of `mapping`; offset must be a multiple of
  // kAllocationGranularity. false (last error set) on failure or when the
  // range runs past the mapping's size.
  bool Map(const CFileMapping& mapping, std::uint64_t offset, std::size_t length);
  // Unmaps; false (last error set) when that failed.
  bool Unmap();
  const std::uint8_t* Data() const { return data_; }
  std::size_t Length() const { return length_; }

 private:
  const std::uint8_t* data_ = nullptr;
  std::size_t length_ = 0;
};

// For test hosts that hand images over by name: creates (or replaces) named
// shared memory with mode 0600 holding `size` bytes of `data`.
bool CreateSharedImage(const std::string& name, const void* data, std::size_t size);
bool RemoveSharedImage(const std::string& name);

}  // namespace tarn::platform

namespace tarn::platform {

// Copies `size` bytes at `offset` of `mapping` to `destination` through one
// view starting at the granule below `offset`. false (last error set) when the
// view cannot be mapped.
bool CopyFromMapping(const CFileMapping& mapping, std::uint64_t offset, void* destination, std::size_t size);

}  // namespace tarn::platform
