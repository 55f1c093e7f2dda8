// SPDX-License-Identifier: Apache-2.0
#include "platform/devicemap.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "tests/testsupport/temp_dir.h"

namespace fs = std::filesystem;
using namespace tarn::platform;

namespace {

class DeviceMap : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("TARN_DEVICEMAP", root().c_str(), 1); }
  void TearDown() override { ::unsetenv("TARN_DEVICEMAP"); }
  fs::path root() const { return dir_.Path() / "map"; }
  void Write(const std::string& name, const std::string& content) {
    fs::create_directories(root() / "SERIALCOMM");
    std::ofstream(root() / "SERIALCOMM" / name) << content;
  }
  tarn::test::TempDir dir_;
};

TEST_F(DeviceMap, RootFollowsTheEnvironment) {
  EXPECT_EQ(root(), DeviceMapRoot());
  ::unsetenv("TARN_DEVICEMAP");
  EXPECT_EQ(fs::path("/run/tarn/devicemap"), DeviceMapRoot());
}

TEST_F(DeviceMap, ReadsEntriesSortedTrimmedWithoutTemporaries) {
  Write("qxcemdm3", "COM12 \n");
  Write("qxcdmdm0", "COM7");
  Write(".qxcdmdm1.123", "COM9");
  fs::create_directories(root() / "SERIALCOMM" / "subdir");
  const auto entries = ReadSerialComm();
  ASSERT_EQ(2u, entries.size());
  EXPECT_EQ("qxcdmdm0", entries[0].name);
  EXPECT_EQ("COM7", entries[0].port);
  EXPECT_EQ("qxcemdm3", entries[1].name);
  EXPECT_EQ("COM12", entries[1].port);
  EXPECT_EQ("COM12", QuerySerialComm(entries, "qxcemdm3"));
  EXPECT_FALSE(QuerySerialComm(entries, "qxcdmdm1"));
}

TEST_F(DeviceMap, MissingFolderReadsAsEmpty) { EXPECT_TRUE(ReadSerialComm().empty()); }

TEST(ParseComNumber, NumberAfterCom) {
  EXPECT_EQ(7, ParseComNumber("COM7"));
  EXPECT_EQ(123, ParseComNumber("com123x"));
  EXPECT_EQ(0, ParseComNumber("COM"));
  EXPECT_EQ(0, ParseComNumber("XYZ7"));
  EXPECT_EQ(0, ParseComNumber("COM-3"));
  EXPECT_EQ(0, ParseComNumber("COM99999999999"));
}

TEST_F(DeviceMap, RegisterWritesLinkAndEntryAndUnregisterRemovesBoth) {
  ASSERT_TRUE(RegisterPort("qxcdmdm2", 9, "/dev/pts/77"));
  EXPECT_EQ(fs::path("/dev/pts/77"), fs::read_symlink(root() / "dosdevices" / "com9"));
  EXPECT_EQ("COM9", QuerySerialComm(ReadSerialComm(), "qxcdmdm2"));
  EXPECT_EQ(fs::path("/dev/pts/77"), ResolveComPort(9));
  // No temporaries are left behind.
  for (const auto& sub : {"SERIALCOMM", "dosdevices"}) {
    for (const auto& entry : fs::directory_iterator(root() / sub)) {
      EXPECT_NE('.', entry.path().filename().string()[0]) << entry.path();
    }
  }
  ASSERT_TRUE(UnregisterPort("qxcdmdm2", 9));
  EXPECT_TRUE(ReadSerialComm().empty());
  EXPECT_FALSE(fs::exists(fs::symlink_status(root() / "dosdevices" / "com9")));
  EXPECT_FALSE(ResolveComPort(9));
}

TEST_F(DeviceMap, RegisterRefusesNamesThatLeaveTheFolder) {
  EXPECT_FALSE(RegisterPort("../evil", 3, "/dev/null"));
  EXPECT_FALSE(RegisterPort(".hidden", 3, "/dev/null"));
  EXPECT_FALSE(RegisterPort("qxcdmdm0", 0, "/dev/null"));
}

TEST_F(DeviceMap, ResolveAcceptsOnlyTargetsUnderDev) {
  fs::create_directories(root() / "dosdevices");
  fs::create_symlink("/etc/passwd", root() / "dosdevices" / "com1");
  fs::create_symlink("/dev/../etc/passwd", root() / "dosdevices" / "com2");
  fs::create_symlink("/dev/null", root() / "dosdevices" / "com3");
  fs::create_symlink("/dev/pts/5", root() / "dosdevices" / "com4");
  fs::create_symlink("/dev/shm", root() / "dosdevices" / "com6");
  EXPECT_FALSE(ResolveComPort(1));
  EXPECT_FALSE(ResolveComPort(2));
  EXPECT_EQ(fs::path("/dev/null"), ResolveComPort(3));
  EXPECT_EQ(fs::path("/dev/pts/5"), ResolveComPort(4));  // there or not: a phone's node comes and goes
  EXPECT_FALSE(ResolveComPort(5));
  EXPECT_FALSE(ResolveComPort(0));
  // Under /dev but no device: no port, though the link still says where it leads.
  EXPECT_FALSE(ResolveComPort(6));
  EXPECT_EQ(fs::path("/dev/shm"), ComPortLinkTarget(6));
  EXPECT_FALSE(ComPortLinkTarget(1));
}

TEST_F(DeviceMap, DevicePathsFindTheirComPortThroughEveryLink) {
  ASSERT_TRUE(RegisterPort("qxcdmdm0", 3, "/dev/null"));
  ASSERT_TRUE(RegisterPort("qxcdmdm1", 4, "/dev/zero"));
  // A stable name as udev keeps them: a link to a link to the node.
  fs::create_symlink("/dev/zero", dir_.Path() / "zero-link");
  fs::create_symlink(dir_.Path() / "zero-link", dir_.Path() / "usb-0:1.2:1.0");
  EXPECT_EQ(3, ComPortOfDevice("/dev/null"));
  EXPECT_EQ(4, ComPortOfDevice(dir_.Path() / "usb-0:1.2:1.0"));
  EXPECT_FALSE(ComPortOfDevice("/dev/full"));  // a device, but no entry has it
  EXPECT_FALSE(ComPortOfDevice(dir_.Path() / "missing"));
  ASSERT_TRUE(UnregisterPort("qxcdmdm1", 4));
  EXPECT_FALSE(ComPortOfDevice(dir_.Path() / "usb-0:1.2:1.0"));
}

}  // namespace
