// SPDX-License-Identifier: Apache-2.0
// Read-only images: files, and named shared memory a host prepared.
//
// Image data is copied out with pread, never through mapped pages: on Linux
// touching a mapped page beyond the end of a file that shrank kills the whole
// process (SIGBUS), and an operator can truncate or rewrite an image while
// eight jobs read it. A read that comes up short, or that finds the file's
// size or modification time changed since it was opened, fails with
// kImageChangedError and ends only the job that made it.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "platform/win_types.h"

namespace tarn::platform {

// Offsets the engine's granule arithmetic is done in (a multiple of every
// page size we run on).
constexpr DWORD kAllocationGranularity = 65536;

constexpr std::uint64_t AlignDownToGranularity(std::uint64_t value) { return value - value % kAllocationGranularity; }

// The last error of a read from an image that changed under its reader
// (the value the system gives a file altered under an open handle).
constexpr DWORD kImageChangedError = 1006;

// The last error of OpenShared for an object of another user, or one that
// group or others may write (the value the system gives an object of an
// owner it does not accept).
constexpr DWORD kSharedImageNotPrivateError = 1307;

class CFileMapping {
 public:
  ~CFileMapping();
  CFileMapping(const CFileMapping&) = delete;
  CFileMapping& operator=(const CFileMapping&) = delete;

  // Opens an existing file for reading. nullptr on failure, with the last error set.
  static std::unique_ptr<CFileMapping> OpenFile(const std::string& path);
  // Opens existing named shared memory for reading ("name" or "/name"). On a
  // shared station anyone may create a shared object: only one of the
  // effective user's own, that nobody else may write, is taken as an image
  // (kSharedImageNotPrivateError otherwise). Its owner must leave it alone
  // while jobs read it: a rewrite of the same size is not noticed.
  static std::unique_ptr<CFileMapping> OpenShared(const std::string& name);

  // Bytes that can be read (the file's or the shared object's size when opened).
  std::uint64_t Size() const { return size_; }
  // The path or shared-memory name it was opened with.
  const std::string& Name() const { return name_; }
  // Closes the descriptor; false (last error set) when closing failed.
  bool Close();

 private:
  friend bool CopyFromMapping(const CFileMapping& mapping, std::uint64_t offset, void* destination, std::size_t size);
  CFileMapping(int fd, std::uint64_t size, const timespec& modified, std::string name)
      : fd_(fd), size_(size), modified_(modified), name_(std::move(name)) {}
  static std::unique_ptr<CFileMapping> FromDescriptor(int fd, bool regularOnly, std::string name);
  bool Unchanged() const;
  int fd_;
  std::uint64_t size_;
  timespec modified_;
  std::string name_;
};

// Copies `size` bytes at `offset` of the image to `destination`. false with
// the last error set: kImageChangedError (see above), the system's code when
// reading failed, EINVAL for a range outside the size the image was opened with.
bool CopyFromMapping(const CFileMapping& mapping, std::uint64_t offset, void* destination, std::size_t size);

// pread until `size` bytes are in or the file ends: the bytes read, or -1
// with errno set.
ssize_t ReadFully(int fd, std::uint64_t offset, void* destination, std::size_t size);

// For test hosts that hand images over by name: creates (or replaces) named
// shared memory with mode 0600 holding `size` bytes of `data`.
bool CreateSharedImage(const std::string& name, const void* data, std::size_t size);
bool RemoveSharedImage(const std::string& name);

}  // namespace tarn::platform
