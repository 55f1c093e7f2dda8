// SPDX-License-Identifier: Apache-2.0
// Fixed-width names for the values the engine's interfaces carry. The engine
// and its hosts were designed around these widths; keeping the names makes the
// widths visible at every call site.
#pragma once

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using BOOL = std::int32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr UINT WM_USER = 0x0400;
constexpr DWORD STILL_ACTIVE = 259;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
