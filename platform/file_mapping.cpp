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

}  // namespace

CFileMapping::~CFileMapping() { Close(); }

std::unique_ptr<CFileMapping> CFileMapping::OpenFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FailWithErrno();
  return FromDescriptor(fd, /*regularOnly=*/true);
}

std::unique_ptr<CFileMapping> CFileMapping::OpenShared(const std::string& name) {
  const int fd = shm_open(SharedName(name).c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return FailWithErrno();
  return FromDescriptor(fd, /*regularOnly=*/false);
}

std::unique_ptr<CFileMapping> CFileMapping::FromDescriptor(int fd, bool regularOnly) {
  struct stat st {};
  int code = 0;
  if (fstat(fd, &st) != 0) code = errno;
  else if (regularOnly && !S_ISREG(st.st_mode)) code = EISDIR;  // a directory or device is no image
  if (code != 0) {
    close(fd);
    errno = code;
    return FailWithErrno();
  }
  return std::unique_ptr<CFileMapping>(new CFileMapping(fd, static_cast<std::uint64_t>(st.st_size)));
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

CMappedView::~CMappedView() { Unmap(); }

bool CMappedView::Map(const CFileMapping& mapping, std::uint64_t offset, std::size_t length) {
  Unmap();
  if (mapping.fd_ < 0 || offset % kAllocationGranularity != 0 || length == 0 || offset > mapping.size_ ||
      length > mapping.size_ - offset) {
    SetLastError(static_cast<DWORD>(EINVAL));
    return false;
  }
  void* p = mmap(nullptr, length, PROT_READ, MAP_SHARED, mapping.fd_, static_cast<off_t>(offset));
  if (p == MAP_FAILED) {
    SetLastError(static_cast<DWORD>(errno));
    return false;
  }
  data_ = static_cast<const std::uint8_t*>(p);
  length_ = length;
  return true;
}

bool CMappedView::Unmap() {
  if (data_ == nullptr) return true;
  const int r = munmap(const_cast<std::uint8_t*>(data_), length_);
  data_ = nullptr;
  length_ = 0;
  if (r != 0) {
    SetLastError(static_cast<DWORD>(errno));
    return false;
  }
  return true;
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

namespace tarn::platform {

bool CopyFromMapping(const CFileMapping& mapping, std::uint64_t offset, void* destination, std::size_t size) {
  if (size == 0) return true;
  const std::uint64_t base = offset - offset % kAllocationGranularity;
  CMappedView view;
  if (!view.Map(mapping, base, static_cast<std::size_t>(offset - base) + size)) return false;
  std::memcpy(destination, view.Data() + (offset - base), size);
  return view.Unmap();
}

}  // namespace tarn::platform
