// The udev registrar, run as udev runs it: ACTION and DEVNAME in its environment.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/devicemap.h"
#include "tests/testsupport/temp_dir.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace tarn::platform;

namespace {

class Registrar : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("TARN_DEVICEMAP", (dir_.Path() / "map").c_str(), 1); }
  void TearDown() override { ::unsetenv("TARN_DEVICEMAP"); }

  // Exit code of the registrar run with udev's variables.
  int Run(const std::string& action, const std::string& devName) {
    std::vector<std::string> env = {"ACTION=" + action, "DEVNAME=" + devName, "SUBSYSTEM=tty",
                                    "TARN_DEVICEMAP=" + (dir_.Path() / "map").string()};
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    char program[] = TARN_REGISTRAR_PATH;
    char* argv[] = {program, nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, program, nullptr, nullptr, argv, envp.data()) != 0) return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::optional<std::string> Entry(const std::string& name) { return QuerySerialComm(ReadSerialComm(), name); }

  tarn::test::TempDir dir_;
};

TEST_F(Registrar, AddGivesTheLowestFreeNumberAndRemoveFreesIt) {
  ASSERT_EQ(0, Run("add", "/dev/ttyACM0"));
  ASSERT_EQ(0, Run("add", "/dev/ttyACM2"));
  EXPECT_EQ("COM1", Entry("qxcdmdm0"));
  EXPECT_EQ("COM2", Entry("qxcdmdm2"));
  EXPECT_EQ(fs::path("/dev/ttyACM0"), ResolveComPort(1));
  EXPECT_EQ(fs::path("/dev/ttyACM2"), ResolveComPort(2));

  ASSERT_EQ(0, Run("remove", "/dev/ttyACM0"));
  EXPECT_FALSE(Entry("qxcdmdm0"));
  EXPECT_FALSE(ResolveComPort(1));
  EXPECT_EQ("COM2", Entry("qxcdmdm2"));

  ASSERT_EQ(0, Run("add", "/dev/ttyACM5"));
  EXPECT_EQ("COM1", Entry("qxcdmdm5"));
}

TEST_F(Registrar, RepeatedAddKeepsTheNumber) {
  ASSERT_EQ(0, Run("add", "/dev/ttyACM1"));
  ASSERT_EQ(0, Run("add", "/dev/ttyACM3"));
  ASSERT_EQ(0, Run("add", "/dev/ttyACM3"));
  EXPECT_EQ("COM2", Entry("qxcdmdm3"));
  EXPECT_FALSE(ResolveComPort(3));
  // A number that came free below does not pull a known node down to it.
  ASSERT_EQ(0, Run("remove", "/dev/ttyACM1"));
  ASSERT_EQ(0, Run("add", "/dev/ttyACM3"));
  EXPECT_EQ("COM2", Entry("qxcdmdm3"));
  EXPECT_FALSE(ResolveComPort(1));
}

TEST_F(Registrar, RefusesOtherDevicesAndActions) {
  EXPECT_EQ(1, Run("add", "/dev/sda"));
  EXPECT_EQ(1, Run("add", "/dev/ttyACM0/../../etc/passwd"));
  EXPECT_EQ(1, Run("add", ""));
  EXPECT_EQ(2, Run("change", "/dev/ttyACM0"));
  EXPECT_TRUE(ReadSerialComm().empty());
  EXPECT_FALSE(ResolveComPort(1));
}

}  // namespace
