// SPDX-License-Identifier: Apache-2.0
// Which ports of the serial-port map become slots, and which slot each takes;
// the map watched for arrivals and removals.
#include <filesystem>

#include <QDeadlineTimer>
#include <QTest>

#include "tests/window/window_fixture.h"

using namespace tarn::window;

namespace tarn::test {
namespace {

// Bound for a watched change to reach the window; the tests wait for the
// outcome and never judge how fast it came.
constexpr int kWatchWaitMs = 10000;

class WindowPortsTest : public WindowTest {};

TEST_F(WindowPortsTest, StartupScanAttachesDmPortsOnly) {
  RegisterPort("qxcdmdm0", 5);
  RegisterPort("qxcdmdm7", 12);
  RegisterPort("qxcemdm3", 9);
  RegisterPort("serial0", 1);
  CKelpa3MultiDlg& window = OpenWindow();
  EXPECT_EQ(window.PortCount(), 2);
  EXPECT_EQ(PortLabel(0), QStringLiteral("COM5"));
  EXPECT_EQ(PortLabel(1), QStringLiteral("COM12"));
  EXPECT_EQ(CountLogged(">>>>> qxcdmdm7 COM12"), 1);
  // An "em" entry is a phone when it arrives, though the start-up scan skips it.
  EXPECT_TRUE(window.IsPhoneModemPort(9));
  EXPECT_EQ(window.AddDevice("COM9"), 0);
  EXPECT_EQ(PortLabel(2), QStringLiteral("COM9"));
  EXPECT_FALSE(window.IsPhoneModemPort(1));
}

TEST_F(WindowPortsTest, AddDeviceRefusals) {
  RegisterPort("qxcdmdm0", 5);
  RegisterPort("serial0", 1);
  CKelpa3MultiDlg& window = OpenWindow();
  EXPECT_EQ(window.AddDevice("LPT1"), -1);
  // Names the map's parser does not take as a port (COM5 is in a slot).
  EXPECT_EQ(window.AddDevice("COM 5"), -1);
  EXPECT_EQ(window.AddDevice("COM0"), -1);
  EXPECT_EQ(CountLogged("AddDevice : Unknown PORT"), 3);
  EXPECT_EQ(window.AddDevice("COM1"), -1);
  EXPECT_EQ(CountLogged("COM1 is not Moravex Mobile Modem!!"), 1);
  EXPECT_EQ(window.AddDevice("COM5"), -1);
  EXPECT_EQ(CountLogged("COM5 already added."), 1);
  EXPECT_EQ(window.PortCount(), 1);
  EXPECT_EQ(window.RemoveDevice("XCOM5"), -1);
  EXPECT_EQ(CountLogged("RemoveDevice : Unknown PORT"), 1);
  EXPECT_EQ(window.RemoveDevice("COM77"), 0);
  EXPECT_EQ(window.PortCount(), 1);
}

TEST_F(WindowPortsTest, LowestFreeSlotAndTheNinthPhoneRefused) {
  for (int i = 0; i < 9; ++i) RegisterPort("qxcdmdm" + std::to_string(i), 20 + i);
  CKelpa3MultiDlg& window = OpenWindow();
  ASSERT_EQ(window.PortCount(), 8);
  EXPECT_EQ(CountLogged("Pass. Count 8"), 1);  // the ninth, at start-up
  EXPECT_EQ(window.Port(7), 27);

  EXPECT_EQ(window.RemoveDevice("COM21"), 0);
  EXPECT_EQ(window.RemoveDevice("COM23"), 0);
  EXPECT_EQ(CountLogged("REMOVED Port 23(3)"), 1);
  EXPECT_TRUE(PortLabel(1).isEmpty());
  EXPECT_EQ(window.Port(1), -1);
  EXPECT_EQ(window.PortCount(), 6);
  EXPECT_EQ(window.AddDevice("COM28"), 0);
  EXPECT_EQ(window.Port(1), 28);
  EXPECT_EQ(PortLabel(1), QStringLiteral("COM28"));
  EXPECT_EQ(window.AddDevice("COM23"), 0);
  EXPECT_EQ(window.Port(3), 23);
}

TEST_F(WindowPortsTest, WatchedMapReportsArrivalAndRemoval) {
  CKelpa3MultiDlg& window = OpenWindow();
  RegisterPort("qxcdmdm2", 6);
  EXPECT_TRUE(QTest::qWaitFor([&] { return window.Port(0) == 6; }, kWatchWaitMs));
  EXPECT_EQ(PortLabel(0), QStringLiteral("COM6"));
  EXPECT_GE(CountLogged("[ DC ] Added"), 1);

  UnregisterPort("qxcdmdm2", 6);
  EXPECT_TRUE(QTest::qWaitFor([&] { return window.PortCount() == 0; }, kWatchWaitMs));
  EXPECT_TRUE(PortLabel(0).isEmpty());
  EXPECT_GE(CountLogged("[ DC ] Removed"), 1);
}

TEST_F(WindowPortsTest, EntryThatChangesItsPortIsARemovalAndAnArrival) {
  RegisterPort("qxcdmdm0", 5);
  CKelpa3MultiDlg& window = OpenWindow();
  ASSERT_EQ(window.Port(0), 5);
  RegisterPort("qxcemdm4", 9);  // an "em" entry arriving is a phone too
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.Port(1) == 9; }, kWatchWaitMs));
  RegisterPort("qxcdmdm0", 6);  // the same entry now names another port
  EXPECT_TRUE(QTest::qWaitFor([&] { return window.Port(0) == 6; }, kWatchWaitMs));
  EXPECT_EQ(window.PortCount(), 2);
  EXPECT_EQ(CountLogged("REMOVED Port 5(0)"), 1);
}

TEST_F(WindowPortsTest, WatchSurvivesTheMapBeingCreatedAgain) {
  CKelpa3MultiDlg& window = OpenWindow();
  std::filesystem::remove_all(dir_->Path() / "map");
  QTest::qWait(50);             // let the watcher see the folder go
  RegisterPort("qxcdmdm1", 4);  // creates the folders anew
  EXPECT_TRUE(QTest::qWaitFor([&] { return window.Port(0) == 4; }, kWatchWaitMs));
  RegisterPort("qxcdmdm3", 8);
  EXPECT_TRUE(QTest::qWaitFor([&] { return window.Port(1) == 8; }, kWatchWaitMs));
}

}  // namespace
}  // namespace tarn::test
