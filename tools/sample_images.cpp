// SPDX-License-Identifier: Apache-2.0
#include "tools/sample_images.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "tools/sample_content.h"
#include "tools/tar_writer.h"

namespace tarn::tools {

namespace {

constexpr const char* kStratineName = "STRATINE.img";

// "cannot create PATH: why", read from errno right after the failed call.
std::string CannotText(const char* what, const std::string& path) {
  const int error = errno;
  std::string text = std::string("cannot ") + what + " " + path;
  return error == 0 ? text : text + ": " + std::strerror(error);
}

// Member data must not begin with the info-block mark, which would change how
// the engine sends it.
void AvoidInfoMark(unsigned char* data, std::size_t count) {
  if (count >= 4 && std::memcmp(data, "OFNI", 4) == 0) data[0] = 'X';
}

// Streams of member bytes: plain random, or the Stratine layout.
TarProducer Producer(const std::string& name, std::uint64_t size) {
  auto bytes = std::make_shared<SampleBytes>(name);
  auto position = std::make_shared<std::uint64_t>(0);
  std::vector<std::uint64_t> parts;
  if (name == kStratineName) parts = StratinePartSizes(size);
  return [bytes, position, parts](unsigned char* out, std::size_t count) {
    bytes->Fill(out, count);
    if (*position == 0) AvoidInfoMark(out, count);
    if (!parts.empty()) {
      // The header: zeros with the three part sizes (little-endian) at 16, 28, 40.
      for (std::uint64_t i = *position; i < 512 && i < *position + count; ++i) {
        out[i - *position] = 0;
      }
      const std::size_t fields[3] = {16, 28, 40};
      for (int k = 0; k < 3; ++k) {
        for (int b = 0; b < 4; ++b) {
          std::uint64_t at = fields[k] + b;
          if (at >= *position && at < *position + count) {
            out[at - *position] = static_cast<unsigned char>(parts[k] >> (8 * b));
          }
        }
      }
    }
    *position += count;
  };
}

bool WriteArchive(const std::string& path, const std::vector<SampleMember>& members, std::string* error) {
  errno = 0;  // so that a failure that sets none reads as no reason
  TarWriter tar(path);
  if (!tar.IsOpen()) {
    *error = CannotText("create", path);
    return false;
  }
  for (const auto& member : members) {
    if (!tar.AddMember(member.name, member.size, Producer(member.name, member.size))) {
      *error = CannotText("write", path);
      return false;
    }
  }
  if (!tar.Finish()) {
    *error = CannotText("write", path);
    return false;
  }
  return true;
}

bool WritePlain(const std::string& path, const std::string& seed, std::uint64_t size, std::string* error) {
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    *error = CannotText("create", path);
    return false;
  }
  bool ok = WriteProduced(file, size, Producer(seed, size));
  ok = (std::fclose(file) == 0) && ok;
  if (!ok) *error = CannotText("write", path);
  return ok;
}

}  // namespace

std::vector<std::uint64_t> StratinePartSizes(std::uint64_t size) {
  return {size / 4 + 1000, size / 8 + 5000, size / 16 + 3000};
}

std::vector<SampleMember> PdaMembers(std::uint64_t size) {
  std::uint64_t stratine = kStratinePrefix;
  for (auto part : StratinePartSizes(size)) stratine += part;
  // Odd sizes on purpose: the last piece of each member is a partial frame.
  return {{"BOOT.bin", size / 16 + 123},
          {"SBL.bin", size / 8 + 1},
          {"ZIMAGE", size},
          {"FACTORYFS.rfs", size / 2 + 511},
          {kStratineName, stratine}};
}

std::vector<SampleMember> CscMembers(std::uint64_t size) {
  return {{"FR.csc", size / 8 + 7}, {"DE.csc", size / 8 + 13}, {"UK.csc", size / 8 + 29}};
}

std::uint64_t PhoneSize(std::uint64_t size) { return size / 2 + 77; }

bool WriteSampleImages(const SampleSpec& spec, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(spec.outDir, ec);
  const std::filesystem::path dir(spec.outDir);
  return WriteArchive((dir / spec.pdaName).string(), PdaMembers(spec.size), error) &&
         WriteArchive((dir / spec.cscName).string(), CscMembers(spec.size), error) &&
         WritePlain((dir / spec.phoneName).string(), "phone", PhoneSize(spec.size), error);
}

}  // namespace tarn::tools
