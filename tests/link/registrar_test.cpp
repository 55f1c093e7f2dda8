// SPDX-License-Identifier: Apache-2.0
// The udev registrar, run as udev runs it (ACTION, DEVNAME and ID_PATH in its
// environment), its station layout and --learn, and the rule text that
// decides when udev runs it.
#include <fcntl.h>
#include <fnmatch.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/devicemap.h"
#include "tests/link/registrar_fixture.h"

namespace fs = std::filesystem;
using namespace tarn::platform;
using tarn::test::ReadText;
using tarn::test::Registrar;

namespace {

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
  std::string log;
  EXPECT_EQ(1, RunLogged("add", "/dev/sda", log));
  EXPECT_EQ(log, "tarn-port-registrar: e - /dev/sda is not registered: only /dev/ttyACM<n> nodes are phone ports\n");
  EXPECT_EQ(1, Run("add", "/dev/ttyACM0/../../etc/passwd"));
  EXPECT_EQ(1, Run("add", ""));
  EXPECT_EQ(2, Run("change", "/dev/ttyACM0"));
  EXPECT_TRUE(ReadSerialComm().empty());
  EXPECT_FALSE(ResolveComPort(1));
}

// No other user can open the map's lock, and so none can stall the
// registrar by holding it; whoever holds it costs an event a few seconds.
TEST_F(Registrar, TheMapLockIsTheRegistrarsAloneAndItsWaitEnds) {
  const fs::path lock = dir_ / "map" / ".lock";
  fs::create_directories(lock.parent_path());
  // Traversable by all, or nobody's open below fails for the folder, not the lock.
  for (const auto& d : {dir_.Path(), lock.parent_path()}) ASSERT_EQ(0, ::chmod(d.c_str(), 0755));
  // A lock file others could open, held locked by one of them since.
  const int planted = ::open(lock.c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(planted, 0);
  ASSERT_EQ(0, ::fchmod(planted, 0644));
  ASSERT_EQ(0, ::flock(planted, LOCK_EX));
  struct stat before {};
  ASSERT_EQ(0, ::fstat(planted, &before));
  std::string log;
  ASSERT_EQ(0, RunLogged("add", "/dev/ttyACM0", log)) << log;
  EXPECT_EQ("COM1", Entry("qxcdmdm0"));
  struct stat after {};
  ASSERT_EQ(0, ::lstat(lock.c_str(), &after));
  EXPECT_NE(before.st_ino, after.st_ino);
  EXPECT_EQ(0600u, after.st_mode & 07777);
  EXPECT_EQ(::geteuid(), after.st_uid);
  ::close(planted);

  // Held by the registrar's own user: the event fails with one line.
  const int held = ::open(lock.c_str(), O_RDWR);
  ASSERT_GE(held, 0);
  ASSERT_EQ(0, ::flock(held, LOCK_EX));
  log.clear();
  EXPECT_EQ(1, RunLogged("remove", "/dev/ttyACM0", log));
  EXPECT_EQ(
      "e - another process held the serial-port map's lock for 5 s, the map is unchanged: " + lock.string() + "\n",
      log);
  EXPECT_EQ("COM1", Entry("qxcdmdm0"));
  ::close(held);

  if (::geteuid() != 0 || !fs::exists("/usr/bin/setpriv")) GTEST_SKIP() << "opening as nobody needs root and setpriv";
  // What `cat` says of a file as nobody, and its exit code.
  const auto asNobody = [](const fs::path& file, int* code) {
    const std::string command = "LC_ALL=C /usr/bin/setpriv --reuid=nobody --regid=nogroup --clear-groups cat " +
                                file.string() + " 2>&1";
    FILE* out = ::popen(command.c_str(), "r");
    char said[256] = {};
    const std::size_t got = out != nullptr ? std::fread(said, 1, sizeof said - 1, out) : 0;
    *code = out != nullptr ? ::pclose(out) : -1;
    return std::string(said, got);
  };
  int code = -1;
  // The map itself is open to nobody: the refusal is the lock file's own.
  EXPECT_EQ("COM1\n", asNobody(dir_ / "map" / "SERIALCOMM" / "qxcdmdm0", &code));
  EXPECT_EQ(0, code);
  EXPECT_NE(std::string::npos, asNobody(lock, &code).find("Permission denied"));
  EXPECT_NE(0, code);
}

TEST_F(Registrar, StationFileGivesEachCableItsNumber) {
  std::ofstream(station()) << "# cables\n"
                              "3 pci-0000:00:14.0-usb-0:3:1.0\n"
                              "1 pci-0000:00:14.0-usb-0:1:1.0\n"
                              "2 pci-0000:00:14.0-usb-0:3:1.0\n"  // the same cable again: ignored
                              "4 two words\n"
                              "COM5 pci-0000:00:14.0-usb-0:5:1.0\n";
  ASSERT_EQ(0, Run("add", "/dev/ttyACM0", "pci-0000:00:14.0-usb-0:3:1.0"));
  EXPECT_EQ("COM3", Entry("qxcdmdm0"));
  // Unlisted ports skip the numbers the station keeps for its cables.
  ASSERT_EQ(0, Run("add", "/dev/ttyACM1", "pci-0000:00:14.0-usb-0:9:1.0"));
  EXPECT_EQ("COM2", Entry("qxcdmdm1"));
  ASSERT_EQ(0, Run("add", "/dev/ttyACM2"));
  EXPECT_EQ("COM4", Entry("qxcdmdm2"));
  ASSERT_EQ(0, Run("add", "/dev/ttyACM4", "pci-0000:00:14.0-usb-0:1:1.0"));
  EXPECT_EQ("COM1", Entry("qxcdmdm4"));
  // A phone back on its cable under another node takes the cable's number again.
  ASSERT_EQ(0, Run("remove", "/dev/ttyACM0"));
  ASSERT_EQ(0, Run("add", "/dev/ttyACM7", "pci-0000:00:14.0-usb-0:3:1.0"));
  EXPECT_EQ("COM3", Entry("qxcdmdm7"));
  // The cable's number held by another node: the lowest number no cable keeps.
  ASSERT_EQ(0, Run("add", "/dev/ttyACM8", "pci-0000:00:14.0-usb-0:1:1.0"));
  EXPECT_EQ("COM5", Entry("qxcdmdm8"));
}

// --learn with the technician's answers on a pipe and new ports appearing in
// the port folder, as udev makes them under /dev/serial/by-path.
class Learn : public Registrar {
 protected:
  void Start() {
    if (output_ >= 0) ::close(output_);
    said_.clear();
    seen_ = 0;
    fs::create_directories(byPath());
    int in[2], out[2];
    ASSERT_EQ(0, ::pipe(in));
    ASSERT_EQ(0, ::pipe(out));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_ = Spawn({"--learn"}, Environment("", "", ""), &actions);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    answers_ = in[1];
    output_ = out[0];
    ASSERT_GT(pid_, 0);
  }
  void TearDown() override {
    if (answers_ >= 0) ::close(answers_);
    if (output_ >= 0) ::close(output_);
    if (pid_ > 0) ExitCode(pid_);
    Registrar::TearDown();
  }

  // Reads the dialogue until `text` shows up; false when the registrar ends first.
  bool AwaitText(const std::string& text) {
    while (said_.find(text, seen_) == std::string::npos) {
      pollfd fd{output_, POLLIN, 0};
      if (::poll(&fd, 1, 60000) <= 0) return false;
      char buffer[512];
      const ssize_t got = ::read(output_, buffer, sizeof buffer);
      if (got <= 0) return false;
      said_.append(buffer, static_cast<std::size_t>(got));
    }
    seen_ = said_.find(text, seen_) + text.size();
    return true;
  }
  void Answer(const std::string& line) {
    ASSERT_EQ(static_cast<ssize_t>(line.size()), ::write(answers_, line.data(), line.size()));
  }
  void Plug(const std::string& idPath, const std::string& node) {
    fs::create_symlink("../../" + node, byPath() / idPath);
  }
  int Finish() {
    ::close(answers_);
    answers_ = -1;
    const int code = ExitCode(pid_);
    pid_ = -1;
    return code;
  }

  pid_t pid_ = -1;
  int answers_ = -1, output_ = -1;
  std::string said_;
  std::size_t seen_ = 0;
};

TEST_F(Learn, RecordsTheNewPortOfEachSlotAndWritesTheStationFile) {
  fs::create_directories(byPath());
  Plug("pci-0000:00:14.0-usb-0:9:1.0", "ttyACM9");  // attached before: not taken
  Start();
  ASSERT_TRUE(AwaitText("How many cables (1 to 32) [32]? "));
  Answer("33\n");  // more than tarn-flash drives at once: asked again
  ASSERT_TRUE(AwaitText("How many cables"));
  Answer("3\n");
  ASSERT_TRUE(AwaitText("plug a phone into cable 1\u2026"));
  Plug("pci-0000:00:14.0-usb-0:1:1.0", "ttyACM0");
  ASSERT_TRUE(AwaitText("cable 1 (COM1): pci-0000:00:14.0-usb-0:1:1.0"));
  ASSERT_TRUE(AwaitText("plug a phone into cable 2\u2026"));
  Answer("\n");
  ASSERT_TRUE(AwaitText("cable 2 skipped"));
  ASSERT_TRUE(AwaitText("plug a phone into cable 3\u2026"));
  // The first phone unplugged and plugged in again is cable 1's, not cable 3's.
  fs::remove(byPath() / "pci-0000:00:14.0-usb-0:1:1.0");
  Answer("?\n");  // any other answer repeats the choices, after a look at the ports
  ASSERT_TRUE(AwaitText("Plug a phone in, press Enter"));
  Plug("pci-0000:00:14.0-usb-0:1:1.0", "ttyACM0");
  ASSERT_TRUE(AwaitText("is cable 1 already"));
  Plug("pci-0000:00:14.0-usb-0:3:1.0", "ttyACM1");
  ASSERT_TRUE(AwaitText("cable 3 (COM3): pci-0000:00:14.0-usb-0:3:1.0"));
  ASSERT_TRUE(AwaitText("[Y/n]"));
  Answer("y\n");
  EXPECT_EQ(0, Finish());
  const std::string written = ReadText(station());
  EXPECT_NE(std::string::npos, written.find("\n1 pci-0000:00:14.0-usb-0:1:1.0\n3 pci-0000:00:14.0-usb-0:3:1.0\n"))
      << written;
  EXPECT_EQ(std::string::npos, written.find("usb-0:9:")) << written;

  // The registrar gives the learned cables their numbers.
  ASSERT_EQ(0, Run("add", "/dev/ttyACM1", "pci-0000:00:14.0-usb-0:3:1.0"));
  EXPECT_EQ("COM3", Entry("qxcdmdm1"));
}

TEST_F(Learn, EndsWithoutWritingWhenDeclinedOrWhenTheAnswersStop) {
  Start();
  ASSERT_TRUE(AwaitText("How many cables"));
  Answer("\n");
  ASSERT_TRUE(AwaitText("cable 1\u2026"));
  Plug("pci-0000:00:14.0-usb-0:2:1.0", "ttyACM0");
  ASSERT_TRUE(AwaitText("cable 2\u2026"));
  Answer("q\n");
  ASSERT_TRUE(AwaitText("[Y/n]"));
  Answer("n\n");
  EXPECT_EQ(0, Finish());
  EXPECT_FALSE(fs::exists(station()));

  Start();
  ASSERT_TRUE(AwaitText("How many cables"));
  Answer("2\n");
  ASSERT_TRUE(AwaitText("cable 1\u2026"));
  EXPECT_EQ(1, Finish());
  EXPECT_FALSE(fs::exists(station()));
}

// The shipped rule and the site's example, read the way udev reads them, for
// one event: what they set, tag and run.
class RuleText {
 public:
  struct Outcome {
    std::map<std::string, std::string> env;
    std::vector<std::string> tags, runs;
  };

  void AddFile(const std::string& text, bool uncommentExample = false) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      if (uncommentExample && line.rfind("#SUBSYSTEM", 0) == 0) line.erase(0, 1);
      if (!line.empty() && line[0] != '#') lines_.push_back(line);
    }
  }

  Outcome Apply(const std::map<std::string, std::string>& event) const {
    Outcome out;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      const auto pairs = Pairs(lines_[i]);
      bool matches = true;
      for (const auto& [key, op, value] : pairs) {
        if (op != "==" && op != "!=") continue;
        const auto& source = key.rfind("ENV{", 0) == 0 ? out.env : event;
        const auto found = source.find(key.rfind("ENV{", 0) == 0 ? key.substr(4, key.size() - 5) : key);
        matches = matches && (Glob(value, found == source.end() ? "" : found->second) == (op == "=="));
      }
      if (!matches) continue;
      std::string jump;
      for (const auto& [key, op, value] : pairs) {
        if (key.rfind("ENV{", 0) == 0 && op == "=") out.env[key.substr(4, key.size() - 5)] = value;
        if (key == "TAG" && op == "+=") out.tags.push_back(value);
        if (key == "RUN" && op == "+=") out.runs.push_back(value);
        if (key == "GOTO") jump = "LABEL=\"" + value + "\"";
      }
      while (!jump.empty() && i + 1 < lines_.size() && lines_[i + 1] != jump) ++i;
    }
    return out;
  }

 private:
  struct Pair {
    std::string key, op, value;
  };

  static std::vector<Pair> Pairs(const std::string& line) {
    static const std::regex pair(R"re(([A-Z_]+(?:\{[^}]*\})?)\s*(==|!=|\+=|=)\s*"([^"]*)")re");
    std::vector<Pair> pairs;
    for (std::sregex_iterator it(line.begin(), line.end(), pair), end; it != end; ++it) {
      pairs.push_back({(*it)[1], (*it)[2], (*it)[3]});
    }
    return pairs;
  }

  // udev patterns: shell globs, '|' separating alternatives.
  static bool Glob(const std::string& pattern, const std::string& value) {
    std::istringstream alternatives(pattern);
    for (std::string one; std::getline(alternatives, one, '|');) {
      if (::fnmatch(one.c_str(), value.c_str(), 0) == 0) return true;
    }
    return false;
  }

  std::vector<std::string> lines_;
};

TEST(UdevRule, MarkedPhonePortsKeepAccessOnEveryEventButRemove) {
  const std::string rule = ReadText(TARN_SOURCE_DIR "/packaging/udev/70-tarn-phone-ports.rules.in");
  const std::string ids = ReadText(TARN_SOURCE_DIR "/packaging/udev/60-tarn-phone-ids.rules");
  ASSERT_FALSE(rule.empty());
  ASSERT_FALSE(ids.empty());
  EXPECT_EQ(std::string::npos, rule.find("idVendor")) << "phone ids belong in /etc, not in the shipped rule";
  RuleText site;
  site.AddFile(ids, true);
  site.AddFile(rule);
  RuleText asShipped;
  asShipped.AddFile(ids);
  asShipped.AddFile(rule);

  struct Case {
    std::string action, subsystem, kernel, vendor;
    bool marked;
    std::vector<std::string> runs;
  };
  const std::string registrar = "@TARN_REGISTRAR@";
  const Case cases[] = {
      {"add", "tty", "ttyACM0", "1234", true, {registrar + " add"}},
      {"change", "tty", "ttyACM0", "1234", true, {registrar + " add"}},
      {"bind", "tty", "ttyACM3", "1234", true, {registrar + " add"}},
      {"remove", "tty", "ttyACM0", "1234", false, {registrar + " remove"}},
      {"unbind", "tty", "ttyACM0", "1234", false, {}},
      {"add", "tty", "ttyACM0", "4321", false, {}},
      {"add", "tty", "ttyS0", "1234", false, {}},
      {"add", "usb", "ttyACM0", "1234", false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.action + " " + c.subsystem + " " + c.kernel + " " + c.vendor);
    const std::map<std::string, std::string> event = {{"ACTION", c.action},
                                                      {"SUBSYSTEM", c.subsystem},
                                                      {"KERNEL", c.kernel},
                                                      {"ATTRS{idVendor}", c.vendor},
                                                      {"ATTRS{idProduct}", "abcd"}};
    const auto out = site.Apply(event);
    EXPECT_EQ(c.runs, out.runs);
    EXPECT_EQ(c.marked ? std::vector<std::string>{"uaccess"} : std::vector<std::string>{}, out.tags);
    EXPECT_EQ(c.marked ? "1" : "", out.env.count("ID_MM_DEVICE_IGNORE") ? out.env.at("ID_MM_DEVICE_IGNORE") : "");
    // The example as shipped marks nothing: which phones count is the site's choice.
    const auto shipped = asShipped.Apply(event);
    EXPECT_TRUE(shipped.tags.empty());
    EXPECT_EQ(c.action == "remove" ? c.runs : std::vector<std::string>{}, shipped.runs);
  }
}

}  // namespace
