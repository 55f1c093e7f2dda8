// SPDX-License-Identifier: Apache-2.0
// The tar header's fields as ustar lays them out in each 512-byte block; the
// reader and our test-image writer both go by these.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::uint32_t kTarBlock = 512;
constexpr std::size_t kTarNameField = 100;
constexpr std::size_t kTarSizeOffset = 124;
constexpr std::size_t kTarSizeField = 12;
constexpr std::size_t kTarChecksumOffset = 148;
constexpr std::size_t kTarChecksumField = 8;
constexpr std::size_t kTarTypeOffset = 156;
constexpr std::size_t kTarMagicOffset = 257;
constexpr std::size_t kTarPrefixOffset = 345;
constexpr std::size_t kTarPrefixField = 155;
