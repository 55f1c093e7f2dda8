// SPDX-License-Identifier: Apache-2.0
#include "link/protocol.h"

#include <gtest/gtest.h>

#include "link_fixture.h"

namespace {

using tarn::test::LinkTest;

class FailureMessages : public LinkTest {};

TEST_F(FailureMessages, PhoneActivatingAndFlashing) {
  ReportCommandFailure(link_, 600, 1);
  EXPECT_TRUE(events_.HasText(L"e - Command 600 Failed. result 1\n"));
  EXPECT_EQ(std::vector<std::wstring>{L"e - Phone activating failed"}, events_.Errors());
  events_.Clear();
  ReportCommandFailure(link_, 600, 7);
  EXPECT_EQ(std::vector<std::wstring>{L"e - Phone flashing failed"}, events_.Errors());
}

TEST_F(FailureMessages, StratineTableAndUnknownResults) {
  const wchar_t* expected[] = {L"e - Stratine initialization failed", L"e - Stratine erase failed",
                               L"e - Stratine completion failed", L"e - Stratine flashing partition failed",
                               L"e - Stratine flashing failed"};
  for (int result = 1; result <= 5; ++result) {
    events_.Clear();
    ReportCommandFailure(link_, 620, result);
    EXPECT_EQ(std::vector<std::wstring>{expected[result - 1]}, events_.Errors());
  }
  events_.Clear();
  ReportCommandFailure(link_, 620, 6);
  EXPECT_TRUE(events_.HasText(L"e - Command 620 Failed. result 6\n"));
  EXPECT_TRUE(events_.Errors().empty());
  ReportCommandFailure(link_, 703, 1);
  EXPECT_TRUE(events_.Errors().empty());
}

}  // namespace
