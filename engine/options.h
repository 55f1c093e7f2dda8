// SPDX-License-Identifier: Apache-2.0
// The options record a host hands to an engine: eleven 32-bit fields.
#pragma once

#include <cstdint>

struct ENGINE_OPTIONS {
  std::int32_t bBootUpdate;
  std::int32_t bBootFormat;
  std::int32_t bCsaClear;
  std::int32_t bAutoReboot;
  std::int32_t bPhoneBootUpdate;
  std::int32_t bPhoneEfsClear;
  std::int32_t bNpsMode;
  std::int32_t bStratineAll;
  std::int32_t nStratineParts;
  std::int32_t nPlatform;
  std::int32_t nReserved;
};
static_assert(sizeof(ENGINE_OPTIONS) == 44, "ENGINE_OPTIONS is a 44-byte record");

// What SetOptions(nullptr) selects: NPS mode with auto reboot. Fields 7 to 10
// have no documented default; whole-member Stratine and no platform check are
// the choices that send everything and refuse nothing.
constexpr ENGINE_OPTIONS kDefaultEngineOptions = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 0};

// The images a job can send. Each kind is named by its bit in the image mask
// (SetImageMask), and hosts, the window's lists, START and the image checks
// take the kind as this same number.
enum ImageKind : std::uint16_t {
  IMAGE_MASK_PDA = 1,
  IMAGE_MASK_PHONE = 2,
  IMAGE_MASK_BOOT = 4,
  IMAGE_MASK_CSC = 8,
};
