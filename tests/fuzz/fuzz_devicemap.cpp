// SPDX-License-Identifier: Apache-2.0
// The serial-port map reader over arbitrary entries and links: never a crash,
// and a resolved port always lies under /dev and is a character device when
// it is there.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/devicemap.h"
#include "tests/fuzz/fuzz_support.h"

namespace fs = std::filesystem;

namespace {

fs::path g_root;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tarn::fuzz::SilenceLog();
  g_root = tarn::fuzz::ScratchFolder("map");
  ::setenv("TARN_DEVICEMAP", g_root.c_str(), 1);
  fs::create_directories(g_root / "SERIALCOMM");
  fs::create_directories(g_root / "dosdevices");
  return 0;
}

// Input: lines "name\tcontent" become SERIALCOMM entries; a line starting with
// '>' becomes the link target of dosdevices/com1.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::error_code ignored;
  // What this input makes, removed at its end: cheaper than building the
  // tree again for every input (and nothing allocated outlives the input, so
  // the leak checker has no reason to rerun it).
  std::vector<fs::path> made;
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::size_t start = 0;
  int lines = 0;
  while (start < input.size() && lines++ < 16) {
    std::size_t end = input.find('\n', start);
    if (end == std::string::npos) end = input.size();
    const std::string line = input.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line[0] == '>') {
      made.push_back(g_root / "dosdevices" / "com1");
      fs::create_symlink(line.substr(1), made.back(), ignored);
      continue;
    }
    const std::size_t tab = line.find('\t');
    const std::string name = line.substr(0, tab);
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") continue;
    if (name.find('\0') != std::string::npos) continue;
    made.push_back(g_root / "SERIALCOMM" / name);
    std::ofstream(made.back()) << (tab == std::string::npos ? "" : line.substr(tab + 1));
  }
  for (const auto& entry : tarn::platform::ReadSerialComm()) {
    const int com = tarn::platform::ParseComNumber(entry.port);
    if (com < 0 || com > tarn::platform::kHighestComNumber) std::abort();
    // A value name is read only when it is the one name its kind and index make.
    const auto name = tarn::platform::ParseValueName(entry.name);
    if (name && tarn::platform::MakeValueName(name->kind, name->index) != entry.name) std::abort();
  }
  if (auto port = tarn::platform::ResolveComPort(1)) {
    if (port->string().rfind("/dev/", 0) != 0) std::abort();
    // What is there is a character device; a node not there keeps its path.
    struct stat st {};
    if (::stat(port->c_str(), &st) == 0 && !S_ISCHR(st.st_mode)) std::abort();
  }
  for (const auto& path : made) fs::remove(path, ignored);
  return 0;
}
