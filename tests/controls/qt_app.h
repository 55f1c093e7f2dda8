// SPDX-License-Identifier: Apache-2.0
// One QApplication for all control tests, made on first use (gtest_main owns
// main, so there is no other place to make it).
#pragma once

#include <gtest/gtest.h>

class QtTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
};
