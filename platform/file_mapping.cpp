// SPDX-License-Identifier: Apache-2.0
#include "platform/file_mapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/last_error.h"

namespace tarn::platform {

namespace {

std::string SharedName(const std::string& name) { return name.starts_with('/') ? name : "/" + name; }

std::unique_ptr<CFileMapping> FailWithErrno() {
  SetLastError(static_cast<DWORD>(errno));
  return nullptr;
}

bool Fail(DWORD code) {
  SetLastError(code);
  return false;
}

}  // namespace

CFileMapping::~CFileMapping() { Close(); }

std::unique_ptr<CFileMapping> CFileMapping::OpenFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FailWithErrno();
  return FromDescriptor(fd, /*regularOnly=*/true, path);
}

std::unique_ptr<CFileMapping> CFileMapping::OpenShared(const std::string& name) {
  const int fd = shm_open(SharedName(name).c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return FailWithErrno();
  // Checked on the descriptor, so the object judged is the one read.
  struct stat st {};
  if (fstat(fd, &st) == 0 && (st.st_uid != geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0)) {
    close(fd);
    SetLastError(kSharedImageNotPrivateError);
    return nullptr;
  }
  return FromDescriptor(fd, /*regularOnly=*/false, name);
}

std::unique_ptr<CFileMapping> CFileMapping::FromDescriptor(int fd, bool regularOnly, std::string name) {
  struct stat st {};
  int code = 0;
  if (fstat(fd, &st) != 0) code = errno;
  else if (regularOnly && !S_ISREG(st.st_mode)) code = EISDIR;  // a directory or device is no image
  if (code != 0) {
    close(fd);
    errno = code;
    return FailWithErrno();
  }
  return std::unique_ptr<CFileMapping>(
      new CFileMapping(fd, static_cast<std::uint64_t>(st.st_size), st.st_mtim, std::move(name)));
}

bool CFileMapping::Close() {
  if (fd_ < 0) return true;
  const int r = close(fd_);
  fd_ = -1;
  if (r != 0) {
    SetLastError(static_cast<DWORD>(errno));
    return false;
  }
  return true;
}

// One fstat per read: cheap next to the 128 KiB frame or digest slice it guards.
bool CFileMapping::Unchanged() const {
  struct stat st {};
  if (fstat(fd_, &st) != 0) return Fail(static_cast<DWORD>(errno));
  if (static_cast<std::uint64_t>(st.st_size) != size_ || st.st_mtim.tv_sec != modified_.tv_sec ||
      st.st_mtim.tv_nsec != modified_.tv_nsec) {
    return Fail(kImageChangedError);
  }
  return true;
}

bool CopyFromMapping(const CFileMapping& mapping, std::uint64_t offset, void* destination, std::size_t size) {
  if (mapping.fd_ < 0 || offset > mapping.size_ || size > mapping.size_ - offset) {
    return Fail(static_cast<DWORD>(EINVAL));
  }
  const ssize_t got = ReadFully(mapping.fd_, offset, destination, size);
  if (got < 0) return Fail(static_cast<DWORD>(errno));
  if (static_cast<std::size_t>(got) != size) return Fail(kImageChangedError);
  // Checked after the read, so that the bytes just read are known to be
  // those of the image as it was opened.
  return mapping.Unchanged();
}

ssize_t ReadFully(int fd, std::uint64_t offset, void* destination, std::size_t size) {
  auto* bytes = static_cast<std::uint8_t*>(destination);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = pread(fd, bytes + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

bool CreateSharedImage(const std::string& name, const void* data, std::size_t size) {
  const std::string shared = SharedName(name);
  shm_unlink(shared.c_str());
  const int fd = shm_open(shared.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = ftruncate(fd, static_cast<off_t>(size)) == 0;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::size_t written = 0;
  while (ok && written < size) {
    const ssize_t n = pwrite(fd, bytes + written, size - written, static_cast<off_t>(written));
    if (n <= 0) ok = false;
    else written += static_cast<std::size_t>(n);
  }
  close(fd);
  if (!ok) shm_unlink(shared.c_str());
  return ok;
}

bool RemoveSharedImage(const std::string& name) { return shm_unlink(SharedName(name).c_str()) == 0; }

}  // namespace tarn::platform
