// SPDX-License-Identifier: Apache-2.0
// The station file over arbitrary text: never a crash; every port it yields
// has a COM number from 1 to 255 and a non-empty ID path without white space,
// none listed twice; and the file written from those ports reads back as
// the same ports.
#include <cctype>
#include <cstdlib>
#include <string>

#include "packaging/station_file.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

std::string g_written;  // on a memory-backed file system: one write per input

bool Valid(const std::vector<tarn::packaging::StationPort>& ports) {
  for (std::size_t i = 0; i < ports.size(); ++i) {
    const auto& port = ports[i];
    if (port.com < 1 || port.com > 255 || port.idPath.empty()) return false;
    for (unsigned char c : port.idPath) {
      if (std::isspace(c)) return false;
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (ports[j].com == port.com || ports[j].idPath == port.idPath) return false;
    }
  }
  return true;
}

bool Same(const std::vector<tarn::packaging::StationPort>& a, const std::vector<tarn::packaging::StationPort>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].com != b[i].com || a[i].idPath != b[i].idPath) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tarn::fuzz::SilenceLog();
  g_written = tarn::fuzz::ScratchFolder("station") + "/station.conf";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const tarn::fuzz::MemoryFile file(data, size);
  const auto ports = tarn::packaging::ReadStationFile(file.Path());
  if (!Valid(ports)) std::abort();
  if (!tarn::packaging::WriteStationFile(g_written, ports)) std::abort();
  if (!Same(tarn::packaging::ReadStationFile(g_written), ports)) std::abort();
  for (const auto& port : ports) {
    if (tarn::packaging::StationNumberOf(ports, port.idPath) != port.com) std::abort();
  }
  return 0;
}
