// SPDX-License-Identifier: Apache-2.0
// Reading images from files and named shared memory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/mman.h>

#include <filesystem>

#include "platform/file_mapping.h"
#include "platform/last_error.h"
#include "tests/testsupport/temp_dir.h"
#include "tests/testsupport/test_images.h"

namespace {

using tarn::platform::AlignDownToGranularity;
using tarn::platform::CFileMapping;
using tarn::platform::CopyFromMapping;
using tarn::platform::kAllocationGranularity;

TEST(FileMapping, ReadsStayInsideTheImageAndNoticeItChanging) {
  tarn::test::TempDir dir;
  const std::string bytes = tarn::test::Pattern(3 * kAllocationGranularity + 100, 7);
  tarn::test::WriteFile(dir / "f", bytes);
  auto mapping = CFileMapping::OpenFile((dir / "f").string());
  ASSERT_TRUE(mapping);
  EXPECT_EQ(mapping->Size(), bytes.size());
  EXPECT_EQ(mapping->Name(), (dir / "f").string());

  std::string out(300, '\0');
  const std::uint64_t offset = 2 * kAllocationGranularity - 150;  // straddles a granule boundary
  ASSERT_TRUE(CopyFromMapping(*mapping, offset, out.data(), out.size()));
  EXPECT_EQ(out, bytes.substr(offset, 300));
  EXPECT_FALSE(CopyFromMapping(*mapping, bytes.size() - 10, out.data(), 11));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(EINVAL));
  EXPECT_EQ(AlignDownToGranularity(2 * kAllocationGranularity - 1), kAllocationGranularity);

  // Replaced by rename: the open image keeps its old contents and reads on.
  tarn::test::WriteFile(dir / "new", tarn::test::Pattern(50, 9));
  std::filesystem::rename(dir / "new", dir / "f");
  ASSERT_TRUE(CopyFromMapping(*mapping, offset, out.data(), out.size()));
  EXPECT_EQ(out, bytes.substr(offset, 300));

  // Cut short, rewritten in place with the same size, or grown: every read fails.
  struct Change {
    const char* what;
    void (*apply)(const std::filesystem::path&, const std::string&);
  } changes[] = {
      {"truncated", [](const std::filesystem::path& p, const std::string&) { std::filesystem::resize_file(p, 1000); }},
      {"rewritten",
       [](const std::filesystem::path& p, const std::string& b) {
         struct timespec times[2] = {{0, UTIME_OMIT}, {12345, 0}};  // a different modification time
         tarn::test::WriteFile(p, b);
         utimensat(AT_FDCWD, p.c_str(), times, 0);
       }},
      {"grown", [](const std::filesystem::path& p, const std::string& b) { tarn::test::WriteFile(p, b + "x"); }},
  };
  for (const auto& change : changes) {
    tarn::test::WriteFile(dir / "g", bytes);
    auto image = CFileMapping::OpenFile((dir / "g").string());
    ASSERT_TRUE(image);
    change.apply(dir / "g", bytes);
    SetLastError(0);
    EXPECT_FALSE(CopyFromMapping(*image, 0, out.data(), out.size())) << change.what;
    EXPECT_EQ(GetLastError(), tarn::platform::kImageChangedError) << change.what;
  }
}

TEST(FileMapping, MissingFilesAndDirectoriesAreRefusedWithAnErrorCode) {
  tarn::test::TempDir dir;
  SetLastError(0);
  EXPECT_FALSE(CFileMapping::OpenFile((dir / "none").string()));
  EXPECT_NE(GetLastError(), 0u);
  EXPECT_FALSE(CFileMapping::OpenFile(dir.Path().string()));
}

TEST(FileMapping, SharedImagesAreReadOnlyAndPrivate) {
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
  ASSERT_TRUE(CopyFromMapping(*mapping, 69000, out.data(), out.size()));
  EXPECT_EQ(out, bytes.substr(69000));

  // Any user may create shared memory under the name a host hands over:
  // only the user's own object that nobody else can write is an image.
  const struct {
    const char* what;
    mode_t mode;
    uid_t owner;
  } planted[] = {{"writable by others", 0666, geteuid()},
                 {"writable by its group", 0620, geteuid()},
                 {"another user's", 0600, 65534}};
  const bool root = geteuid() == 0;
  for (const auto& p : planted) {
    if (p.owner != geteuid() && !root) continue;
    ASSERT_TRUE(tarn::platform::CreateSharedImage(name, bytes.data(), bytes.size()));
    const int writer = shm_open(("/" + name).c_str(), O_RDWR, 0);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(fchmod(writer, p.mode), 0) << p.what;  // shm_open's mode passes the umask
    ASSERT_EQ(fchown(writer, p.owner, static_cast<gid_t>(-1)), 0) << p.what;
    close(writer);
    SetLastError(0);
    EXPECT_FALSE(CFileMapping::OpenShared(name)) << p.what;
    EXPECT_EQ(GetLastError(), tarn::platform::kSharedImageNotPrivateError) << p.what;
  }
  EXPECT_TRUE(tarn::platform::RemoveSharedImage(name));
  EXPECT_FALSE(CFileMapping::OpenShared(name));
  if (!root) GTEST_SKIP() << "another user's object needs root to make (fchown)";
}

}  // namespace
