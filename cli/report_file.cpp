// SPDX-License-Identifier: Apache-2.0
#include "cli/report_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/json_report.h"

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

bool WriteAll(int fd, const std::string& content) {
  for (std::size_t done = 0; done < content.size();) {
    const ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
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
  std::string temp;
  const int fd = OpenTemporary(path, &temp);
  if (fd < 0) return "e - the report file cannot be written: " + path + ": " + std::strerror(errno) + "\n";
  close(fd);
  unlink(temp.c_str());
  return {};
}

void ReportFile::BatchEnded(const BatchSummary& summary) {
  std::string err;
  if (!WriteAtomically(path_, SummaryRecord(summary) + "\n", &err)) {
    std::fprintf(stderr, "tarn-flash: e - the report file cannot be written: %s: %s\n", path_.c_str(), err.c_str());
  }
}

}  // namespace tarn::cli
