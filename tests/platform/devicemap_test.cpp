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

// Every reader of the map (tarn-flash, the window, the job's look-up, the
// registrar) goes by these rows; the comments say which one read a row
// otherwise before they shared one parser.
TEST(PortNames, PortNamesAndValueNames) {
  const struct {
    const char* text;
    int com;
  } ports[] = {
      {"COM7", 7},
      {"COM255", 255},
      {"COM007", 7},
      {"COM7x", 7},
      {"com7", 0},  // tarn-flash and the window's start-up scan read 7, its arrivals refused it
      {"Com7", 0},  // the same
      {"COM0", 0},  // the window gave COM0 a slot
      {"COM00", 0},
      {"COM256", 0},  // every reader took it, though --port and the registrar stop at 255
      {"COM", 0},
      {"", 0},
      {"XYZ7", 0},            // the window's start-up scan read 7
      {"COM-3", 0},           // the window read -3
      {"COM+3", 0},           // the window read 3
      {"COM 7", 0},           // the window read 7
      {"COMM7", 0},           // the window's arrivals read 7
      {"COM99999999999", 0},  // the window read 9999999
  };
  for (const auto& row : ports) EXPECT_EQ(row.com, ParseComNumber(row.text)) << '"' << row.text << '"';
  EXPECT_EQ("COM7", MakePortName(7));

  const struct {
    const char* name;
    bool phone;
    ValueKind kind;
    int index;
  } names[] = {
      {"qxcdmdm0", true, ValueKind::Dm, 0},
      {"qxcemdm255", true, ValueKind::Em, 255},
      {"qxcdmdm256", false, ValueKind::Dm, 0},
      {"qxcdmdm007", false, ValueKind::Dm, 0},  // tarn-flash took it as index 7, the job's look-up never found it
      {"qxcdmdm00", false, ValueKind::Dm, 0},   // the same
      {"qxcdmdm", false, ValueKind::Dm, 0},
      {"qxcdmdm-1", false, ValueKind::Dm, 0},
      {"qxcdmdm+1", false, ValueKind::Dm, 0},
      {"qxcdmdm1a", false, ValueKind::Dm, 0},
      {"QXCDMDM1", false, ValueKind::Dm, 0},
      {"serial0", false, ValueKind::Dm, 0},
      {"", false, ValueKind::Dm, 0},
  };
  for (const auto& row : names) {
    const std::optional<ValueName> parsed = ParseValueName(row.name);
    EXPECT_EQ(row.phone, parsed.has_value()) << '"' << row.name << '"';
    if (!parsed || !row.phone) continue;
    EXPECT_EQ(row.kind, parsed->kind) << row.name;
    EXPECT_EQ(row.index, parsed->index) << row.name;
    EXPECT_EQ(row.name, MakeValueName(parsed->kind, parsed->index));
  }
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
