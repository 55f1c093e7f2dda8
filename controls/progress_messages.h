// SPDX-License-Identifier: Apache-2.0
// Message numbers, style bits and colour values of the text progress bar.
// The window drives its bars with exactly these messages, so both sides take
// the names from here.
#pragma once

#include "platform/win_types.h"

// 0x00BBGGRR: red in the low byte, blue in bits 23..16.
using COLORREF = DWORD;

constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}

// "Use the system colour": resolved from the palette each time it is painted
// or asked for.
constexpr COLORREF CLR_DEFAULT = 0xFF000000;

constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_TIMER = 0x0113;

constexpr UINT PBM_SETRANGE = WM_USER + 1;
constexpr UINT PBM_SETPOS = WM_USER + 2;
constexpr UINT PBM_DELTAPOS = WM_USER + 3;
constexpr UINT PBM_SETSTEP = WM_USER + 4;
constexpr UINT PBM_STEPIT = WM_USER + 5;
constexpr UINT PBM_SETRANGE32 = WM_USER + 6;
constexpr UINT PBM_GETRANGE = WM_USER + 7;
constexpr UINT PBM_GETPOS = WM_USER + 8;
constexpr UINT PBM_SETBARCOLOR = WM_USER + 9;
constexpr UINT PBM_SETMARQUEE = WM_USER + 10;
constexpr UINT PBM_GETBKCOLOR = WM_USER + 14;
constexpr UINT PBM_GETBARCOLOR = WM_USER + 15;
constexpr UINT PBM_SETBKCOLOR = 0x2001;

constexpr UINT TPBM_SETTEXTCOLOR = WM_USER + 102;
constexpr UINT TPBM_GETTEXTCOLOR = WM_USER + 103;
constexpr UINT TPBM_SETBARTEXTCOLOR = WM_USER + 104;
constexpr UINT TPBM_GETBARTEXTCOLOR = WM_USER + 105;
constexpr UINT TPBM_SHOWPERCENT = WM_USER + 106;
constexpr UINT TPBM_SETTEXTALIGN = WM_USER + 107;
constexpr UINT TPBM_SETMARQUEELENGTH = WM_USER + 108;

constexpr DWORD PBS_VERTICAL = 0x04;
constexpr DWORD PBS_MARQUEE = 0x08;

// The marquee animation runs on timer id 1.
constexpr WPARAM PROGRESS_MARQUEE_TIMER_ID = 1;

// Label alignment for TPBM_SETTEXTALIGN; any other value centres.
constexpr int PROGRESS_ALIGN_LEFT = 0;  // bottom on a vertical bar
constexpr int PROGRESS_ALIGN_CENTRE = 1;
constexpr int PROGRESS_ALIGN_RIGHT = 2;  // top on a vertical bar

// The pair PBM_GETRANGE fills when its lParam points at one.
struct PBRANGE {
  int iLow;
  int iHigh;
};
