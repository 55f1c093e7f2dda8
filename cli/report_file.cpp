// SPDX-License-Identifier: Apache-2.0
#include "cli/report_file.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "cli/json_report.h"
#include "cli/output_streams.h"

namespace tarn::cli {

namespace {

// A temporary file beside `path`, open for writing; -1 with errno set when it cannot be made.
int OpenTemporary(const std::string& path, std::string* tempPath) {
  std::vector<char> name(path.begin(), path.end());
  for (char c : std::string(".XXXXXX")) name.push_back(c);
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd >= 0) *tempPath = name.data();
  return fd;
}

// Whether this process may replace files of other users in a sticky folder.
bool MayOverrideOwners() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
  if (syscall(SYS_capget, &header, data) != 0) return false;
  return (data[0].effective & (1u << CAP_FOWNER)) != 0;
}

// Why the final rename could not replace what is at `path`, or empty. In a
// folder with the sticky bit (a shared one, as /tmp), only the file's owner,
// the folder's owner or a process that may override owners can replace it;
// a report there must not stay another user's (stale or forged) file.
std::string Unreplaceable(const std::string& path) {
  struct stat file {};
  if (lstat(path.c_str(), &file) != 0) return {};  // nothing there to replace
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  struct stat folder {};
  if (stat(parent.empty() ? "." : parent.c_str(), &folder) != 0 || !(folder.st_mode & S_ISVTX)) return {};
  const uid_t me = geteuid();
  if (file.st_uid == me || folder.st_uid == me || MayOverrideOwners()) return {};
  return "another user's file in a shared (sticky) folder, which this user cannot replace";
}

}  // namespace

bool WriteAtomically(const std::string& path, const std::string& content, std::string* err) {
  std::string temp;
  const int fd = OpenTemporary(path, &temp);
  if (fd < 0) {
    *err = std::strerror(errno);
    return false;
  }
  // mkstemp makes it private; a report is for whoever reads the folder.
  const bool written = fchmod(fd, 0644) == 0 && WriteAll(fd, content) && fsync(fd) == 0;
  const int writeErrno = errno;
  const bool closed = close(fd) == 0;
  if (!written || !closed || rename(temp.c_str(), path.c_str()) != 0) {
    *err = std::strerror(written && closed ? errno : writeErrno);
    unlink(temp.c_str());
    return false;
  }
  return true;
}

std::string ReportFile::Check(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return "e - the report file is a folder: " + path + "\n";
  if (const std::string why = Unreplaceable(path); !why.empty()) {
    return "e - the report file cannot be replaced: " + path + ": " + why + "\n";
  }
  std::string temp;
  const int fd = OpenTemporary(path, &temp);
  if (fd < 0) return "e - the report file cannot be written: " + path + ": " + std::strerror(errno) + "\n";
  close(fd);
  unlink(temp.c_str());
  return {};
}

bool ReportFile::Write(const BatchSummary& summary) {
  std::string err;
  if (WriteAtomically(path_, SummaryRecord(summary) + "\n", &err)) return true;
  WriteStream(stderr, "tarn-flash: e - the report file cannot be written: " + path_ + ": " + err + "\n");
  return false;
}

}  // namespace tarn::cli
