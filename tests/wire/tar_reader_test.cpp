// SPDX-License-Identifier: Apache-2.0
// Octal size fields as tar writers fill them.
#include "wire/tar_reader.h"

#include <gtest/gtest.h>

namespace {

TEST(TarOctal, AcceptsTarFormsAndRefusesTheRest) {
  EXPECT_EQ(ParseOctal(""), 0);
  EXPECT_EQ(ParseOctal("00000000017"), 15);
  EXPECT_EQ(ParseOctal("   17 "), 15);
  EXPECT_EQ(ParseOctal("37777777777"), 0xFFFFFFFFll);
  EXPECT_EQ(ParseOctal("40000000000"), -1);  // 4 GiB
  EXPECT_EQ(ParseOctal("0008"), -1);
  EXPECT_EQ(ParseOctal("12 3"), -1);
  std::uint32_t afterNul = 0;
  EXPECT_TRUE(ParseOctalField("000017 \0xyzw", 12, &afterNul));
  EXPECT_EQ(afterNul, 15u);
  std::uint32_t v = 0;
  // All twelve bytes digits, no terminator.
  EXPECT_TRUE(ParseOctalField("000000000012", 12, &v));
  EXPECT_EQ(v, 10u);
}

}  // namespace
