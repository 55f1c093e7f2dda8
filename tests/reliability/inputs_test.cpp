// SPDX-License-Identifier: Apache-2.0
// Untrusted inputs and shared state seen from a whole job: texts from the
// phone and from archives never act as formats, one port serves one job, and
// a serial-port map entry that leads outside /dev is never opened.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/kelpa3_engine.h"
#include "engine/options.h"
#include "platform/devicemap.h"
#include "tests/testsupport/job_harness.h"
#include "tests/testsupport/test_images.h"

namespace {

using tarn::test::BuildTar;
using tarn::test::JobHarness;
using tarn::test::JobSpec;
using tarn::test::Pattern;
using tarn::test::PdaJob;

bool AnyTextStartsWith(const std::vector<std::wstring>& texts, const std::wstring& prefix) {
  return std::any_of(texts.begin(), texts.end(), [&](const std::wstring& t) { return t.rfind(prefix, 0) == 0; });
}

TEST(UntrustedText, GreetingAndMemberNamesWithFormatDirectivesShowLiterally) {
  JobHarness h;
  tarn::sim::PhoneConfig hostile = JobHarness::Config();
  hostile.greeting = "%n%s";
  h.AddPhone(1, hostile);
  h.AddPhone(2);
  h.AddPhone(3);
  const std::string zimage = Pattern(5000, 8);
  h.Start(PdaJob(1, 0, h.Image("pda.tar", BuildTar({{"zImage", zimage}}))));
  h.Start(PdaJob(2, 1, h.Image("odd.tar", BuildTar({{"%n%ls%s.img", "x"}}))));
  JobSpec spec = PdaJob(3, 2, h.Image("pda.tar", BuildTar({{"zImage", zimage}})));
  spec.mask |= IMAGE_MASK_CSC;
  spec.csc = h.Image("csc.tar", BuildTar({{"%n%s%d.csc", "y"}}));
  h.Start(spec);
  ASSERT_TRUE(h.WaitAll());

  EXPECT_TRUE(h.host.HasText(L"target sent : % n % s", 0));
  EXPECT_EQ(h.host.Errors(0).back(), L"e - usb is disconnected!!");
  const auto log = h.LogLines();
  EXPECT_TRUE(std::any_of(log.begin(), log.end(),
                          [](const std::string& l) { return l.find(">>> Device %n%s") != std::string::npos; }));

  ASSERT_FALSE(h.host.Errors(1).empty());
  EXPECT_EQ(h.host.Errors(1).front(), L"e - unknown file - \"%n%ls%s.img\"");

  EXPECT_TRUE(h.host.Passed(2));
  // Sent or skipped by its nation, the name shows as it is.
  EXPECT_TRUE(AnyTextStartsWith(h.host.Texts(2), L"SKIP %n%s%d.csc (") ||
              AnyTextStartsWith(h.host.Texts(2), L"Downloading %n%s%d.csc ("));
  EXPECT_TRUE(h.Stored(3, "part03.bin") == zimage);
}

TEST(SharedPort, ASecondJobOnAPortInUseIsRefusedAndTheFirstIsUndisturbed) {
  JobHarness h;
  h.host.factoryModeChecked = 1;  // the first job keeps its port through the completion wait
  h.AddPhone(1);
  const std::string zimage = Pattern(40000, 9);
  const auto pda = h.Image("pda.tar", BuildTar({{"zImage", zimage}}));
  CPellLinuxNp& first = h.Start(PdaJob(1, 0, pda));
  CPellLinuxNp& second = h.Start(PdaJob(1, 1, pda));
  ASSERT_TRUE(h.WaitAll());
  EXPECT_TRUE(h.host.Passed(0));
  EXPECT_TRUE(h.host.Errors(0).empty());
  EXPECT_TRUE(h.Stored(1, "part03.bin") == zimage);
  EXPECT_FALSE(h.host.Passed(1));
  ASSERT_EQ(h.host.Errors(1).size(), 1u);
  EXPECT_EQ(h.host.Errors(1).front().rfind(L"e - cannot open the usb serial port1. code: ", 0), 0u);
  EXPECT_EQ(h.CommandsOf(1, tarn::sim::kGreetingCode).size(), 1u) << "only the first job may greet";
  EXPECT_FALSE(first.Context().m_device.IsOpen());
  EXPECT_FALSE(second.Context().m_device.IsOpen());
}

TEST(SharedPort, AMapEntryLeadingOutsideDevIsNeverOpened) {
  JobHarness h;
  const auto victim = h.Image("victim.txt", "keep me");
  ASSERT_TRUE(tarn::platform::RegisterPort("qxcdmdm9", 9, victim));
  const auto pda = h.Image("pda.tar", BuildTar({{"zImage", "z"}}));
  h.Start(PdaJob(9, 0, pda));
  ASSERT_TRUE(h.WaitAll());
  ASSERT_EQ(h.host.Errors(0).size(), 1u);
  EXPECT_EQ(h.host.Errors(0).front().rfind(L"e - cannot open the usb serial port9. code: ", 0), 0u);
  EXPECT_EQ(tarn::test::ReadFile(victim), "keep me");
  const auto log = h.LogLines();
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& l) {
    return l.find("COM9 refused: its link does not point to a device under /dev") != std::string::npos;
  }));
}

}  // namespace
