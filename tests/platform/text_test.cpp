// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"

namespace {

using tarn::platform::FormatA;
using tarn::platform::FormatW;

TEST(Text, WideFormatIsCutNotDropped) {
  const std::wstring long600(600, L'x');
  const std::wstring text = FormatW(512, L"%ls", long600.c_str());
  EXPECT_EQ(text.size(), 511u);
  EXPECT_EQ(FormatW(512, L"port %d, %ls", 5, L"COM5"), L"port 5, COM5");
  EXPECT_EQ(FormatA(8, "%s", "abcdefghij"), "abcdefg");
}

TEST(Text, WidenAndNarrowRoundTripAscii) {
  EXPECT_EQ(tarn::platform::Widen("zImage"), L"zImage");
  EXPECT_EQ(tarn::platform::Narrow(L"factoryfs.rfs"), "factoryfs.rfs");
}

TEST(Text, BytesTheEncodingCannotReadAreKept) {
  const std::string raw(
      "a\xff"
      "b",
      3);
  const std::wstring wide = tarn::platform::Widen(raw);
  ASSERT_EQ(wide.size(), 3u);
  EXPECT_EQ(wide[1], L'\xff');
}

TEST(Text, CopyCutKeeps1039Characters) {
  wchar_t field[1040];
  tarn::platform::CopyCut(field, 1040, std::wstring(1039, L'p'));
  EXPECT_EQ(std::wstring(field).size(), 1039u);
  tarn::platform::CopyCut(field, 1040, std::wstring(1040, L'q'));
  EXPECT_EQ(std::wstring(field), std::wstring(1039, L'q'));
}

}  // namespace
