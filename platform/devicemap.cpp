// SPDX-License-Identifier: Apache-2.0
#include "platform/devicemap.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include "platform/debug_output.h"
#include "platform/text.h"
#include "platform/thread.h"

namespace fs = std::filesystem;

namespace tarn::platform {
namespace {

constexpr const char* kDefaultRoot = "/run/tarn/devicemap";
constexpr std::size_t kMaxValueBytes = 128;  // longest port text read from an entry

fs::path SerialCommDir() { return DeviceMapRoot() / "SERIALCOMM"; }

void LogRecord(int line, const std::wstring& body) {
  const std::wstring record = FormatW(1024, L"[Tarn2] [Thread 0x%04x] ./devicemap(%d) %ls",
                                      static_cast<unsigned>(CurrentThreadId()), line, body.c_str());
  OutputDebugStringW(record.c_str());
}

bool IsUnder(const fs::path& path, const fs::path& dir) {
  auto p = path.begin();
  for (auto d = dir.begin(); d != dir.end(); ++d, ++p) {
    if (p == path.end() || *p != *d) return false;
  }
  return p != path.end();
}

// A value name is one plain file name: no separators, not a temporary.
bool IsPlainName(const std::string& name) {
  return !name.empty() && name[0] != '.' && name.find('/') == std::string::npos;
}

std::string ReadValue(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string text(kMaxValueBytes, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  const auto end = text.find_last_not_of(" \t\r\n\v\f");
  text.erase(end == std::string::npos ? 0 : end + 1);
  if (const auto nul = text.find('\0'); nul != std::string::npos) text.erase(nul);
  return text;
}

// Writes `content` to a dot-file beside `target` and renames it over
// `target`, so readers see the old entry or the new one, never half of one.
bool WriteAtomically(const fs::path& target, const std::string& content) {
  const fs::path temp = target.parent_path() / ("." + target.filename().string() + "." + std::to_string(::getpid()));
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool written = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
  ::close(fd);
  std::error_code ec;
  if (written) fs::rename(temp, target, ec);
  if (!written || ec) {
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

bool LinkAtomically(const fs::path& link, const fs::path& target) {
  const fs::path temp = link.parent_path() / ("." + link.filename().string() + "." + std::to_string(::getpid()));
  std::error_code ec;
  fs::remove(temp, ec);
  fs::create_symlink(target, temp, ec);
  if (!ec) fs::rename(temp, link, ec);
  if (ec) fs::remove(temp, ec);
  return !ec;
}

}  // namespace

fs::path ComPortLink(int n) { return DeviceMapRoot() / "dosdevices" / ("com" + std::to_string(n)); }

fs::path DeviceMapRoot() {
  const char* root = std::getenv("TARN_DEVICEMAP");
  return (root != nullptr && *root != '\0') ? fs::path(root) : fs::path(kDefaultRoot);
}

std::vector<SerialCommEntry> ReadSerialComm() {
  std::vector<SerialCommEntry> entries;
  std::error_code ec;
  for (fs::directory_iterator it(SerialCommDir(), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!IsPlainName(name)) continue;
    // The error-code forms throughout: a map folder this user may list but
    // not read is a map without that entry, never an exception on a job thread.
    std::error_code statusError;
    if (!fs::is_regular_file(it->symlink_status(statusError)) || statusError) continue;
    entries.push_back({name, ReadValue(it->path())});
  }
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return entries;
}

std::optional<std::string> QuerySerialComm(const std::vector<SerialCommEntry>& entries, std::string_view name) {
  for (const auto& entry : entries) {
    if (entry.name == name) return entry.port;
  }
  return std::nullopt;
}

std::optional<int> FirstPhonePort(const std::vector<SerialCommEntry>& entries) {
  for (int index = 0; index < kValueIndexCount; ++index) {
    for (auto kind : {ValueKind::Dm, ValueKind::Em}) {
      if (auto port = QuerySerialComm(entries, MakeValueName(kind, index))) return ParseComNumber(*port);
    }
  }
  return std::nullopt;
}

std::optional<fs::path> ComPortLinkTarget(int n) {
  if (n <= 0) return std::nullopt;
  const fs::path link = ComPortLink(n);
  std::error_code ec;
  fs::path target = fs::read_symlink(link, ec);
  if (ec) return std::nullopt;
  if (target.is_relative()) target = link.parent_path() / target;
  target = target.lexically_normal();
  // The map is writable by whoever runs the registrar; it may only lead to
  // nodes under /dev, never to an arbitrary file.
  bool accepted = IsUnder(target, "/dev");
  if (accepted && fs::exists(target, ec)) accepted = IsUnder(fs::canonical(target, ec), "/dev") && !ec;
  if (!accepted) {
    LogRecord(__LINE__, FormatW(512, L"COM%d refused: its link does not point to a device under /dev\n", n));
    return std::nullopt;
  }
  return target;
}

std::optional<fs::path> ResolveComPort(int n) {
  std::optional<fs::path> target = ComPortLinkTarget(n);
  struct stat st {};
  // One stat: a node that is not there keeps its path (the opener says it is
  // missing), one that is there must at least be a character device.
  if (target && ::stat(target->c_str(), &st) == 0 && !S_ISCHR(st.st_mode)) {
    LogRecord(__LINE__, FormatW(512, L"COM%d refused: its link leads to no device\n", n));
    return std::nullopt;
  }
  return target;
}

std::optional<int> ComPortOfDevice(const fs::path& path) {
  std::error_code ec;
  const fs::path device = fs::canonical(path, ec);
  if (ec) return std::nullopt;
  for (const auto& entry : ReadSerialComm()) {
    const int n = ParseComNumber(entry.port);
    const std::optional<fs::path> tty = ResolveComPort(n);
    if (!tty) continue;
    const fs::path ttyDevice = fs::canonical(*tty, ec);
    if (!ec && ttyDevice == device) return n;
  }
  return std::nullopt;
}

bool RegisterPort(const std::string& name, int comNumber, const fs::path& ttyPath) {
  if (!IsPlainName(name) || comNumber <= 0) return false;
  std::error_code ec;
  fs::create_directories(SerialCommDir(), ec);
  fs::create_directories(ComPortLink(comNumber).parent_path(), ec);
  if (!LinkAtomically(ComPortLink(comNumber), ttyPath)) return false;
  return WriteAtomically(SerialCommDir() / name, MakePortName(comNumber) + "\n");
}

bool UnregisterPort(const std::string& name, int comNumber) {
  std::error_code ec;
  bool ok = true;
  if (IsPlainName(name)) {
    fs::remove(SerialCommDir() / name, ec);
    ok = !ec;
  }
  if (comNumber > 0) {
    fs::remove(ComPortLink(comNumber), ec);
    ok = ok && !ec;
  }
  return ok;
}

}  // namespace tarn::platform
