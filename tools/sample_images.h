// SPDX-License-Identifier: Apache-2.0
// The sample images of the demo and the tests: a PDA archive with raw,
// file-system and Stratine members, a CSC archive with per-nation members and
// a phone binary, all with deterministic content.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarn::tools {

struct SampleSpec {
  std::string outDir;
  std::uint64_t size = 4u << 20;  // size of the largest PDA member; the others scale with it
  std::string pdaName = "test_PDA.tar";
  std::string cscName = "test_CSC.tar";
  std::string phoneName = "test_PHONE.bin";
};

struct SampleMember {
  std::string name;
  std::uint64_t size;
};

// The members of each image, in archive order.
std::vector<SampleMember> PdaMembers(std::uint64_t size);
std::vector<SampleMember> CscMembers(std::uint64_t size);
std::uint64_t PhoneSize(std::uint64_t size);

// Sizes of the three parts of the Stratine member (its data begins with a
// 512-byte header giving them, followed by 8704 - 512 bytes never sent).
constexpr std::uint64_t kStratinePrefix = 8704;
std::vector<std::uint64_t> StratinePartSizes(std::uint64_t size);

// False with a message when a file cannot be written.
bool WriteSampleImages(const SampleSpec& spec, std::string* error);

}  // namespace tarn::tools
