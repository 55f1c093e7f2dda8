// Read-only views of files and named shared memory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/mman.h>

#include "engine/archive.h"
#include "platform/file_mapping.h"
#include "platform/last_error.h"
#include "tests/job/tar_builder.h"
#include "tests/testsupport/temp_dir.h"

namespace {

using tarn::platform::CFileMapping;
using tarn::platform::CMappedView;
using tarn::platform::kAllocationGranularity;

TEST(JobFileMapping, ViewsAreGranuleAlignedAndStayInsideTheFile) {
  tarn::test::TempDir dir;
  const std::string bytes = tarn::test::Pattern(3 * kAllocationGranularity + 100, 7);
  tarn::test::WriteFile(dir / "f", bytes);
  auto mapping = CFileMapping::OpenFile((dir / "f").string());
  ASSERT_TRUE(mapping);
  EXPECT_EQ(mapping->Size(), bytes.size());

  std::string out(300, '\0');
  const std::uint64_t offset = 2 * kAllocationGranularity - 150;  // straddles a granule boundary
  ASSERT_TRUE(tarn::platform::CopyFromMapping(*mapping, offset, out.data(), out.size()));
  EXPECT_EQ(out, bytes.substr(offset, 300));

  CMappedView view;
  EXPECT_FALSE(view.Map(*mapping, 100, 10));  // not on a granule
  // Past the end would be SIGBUS if it were mapped: refused instead.
  EXPECT_FALSE(view.Map(*mapping, 3 * kAllocationGranularity, 101));
  EXPECT_FALSE(tarn::platform::CopyFromMapping(*mapping, bytes.size() - 10, out.data(), 11));
  EXPECT_TRUE(view.Map(*mapping, 3 * kAllocationGranularity, 100));
  EXPECT_EQ(AlignDownToGranularity(2 * kAllocationGranularity - 1), kAllocationGranularity);
}

TEST(JobFileMapping, MissingFilesAndDirectoriesAreRefusedWithAnErrorCode) {
  tarn::test::TempDir dir;
  SetLastError(0);
  EXPECT_FALSE(CFileMapping::OpenFile((dir / "none").string()));
  EXPECT_NE(GetLastError(), 0u);
  EXPECT_FALSE(CFileMapping::OpenFile(dir.Path().string()));
}

TEST(JobFileMapping, SharedImagesAreReadOnlyAndPrivate) {
  const std::string name = "tarn-job-test-" + std::to_string(getpid());
  const std::string bytes = tarn::test::Pattern(70000, 8);
  ASSERT_TRUE(tarn::platform::CreateSharedImage(name, bytes.data(), bytes.size()));
  const int fd = shm_open(("/" + name).c_str(), O_RDONLY, 0);
  ASSERT_GE(fd, 0);
  struct stat st {};
  ASSERT_EQ(fstat(fd, &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  close(fd);

  auto mapping = CFileMapping::OpenShared(name);
  ASSERT_TRUE(mapping);
  EXPECT_EQ(mapping->Size(), bytes.size());
  std::string out(1000, '\0');
  ASSERT_TRUE(tarn::platform::CopyFromMapping(*mapping, 69000, out.data(), out.size()));
  EXPECT_EQ(out, bytes.substr(69000));
  EXPECT_TRUE(tarn::platform::RemoveSharedImage(name));
  EXPECT_FALSE(CFileMapping::OpenShared(name));
}

}  // namespace
