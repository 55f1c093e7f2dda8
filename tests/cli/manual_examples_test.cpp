// SPDX-License-Identifier: Apache-2.0
// The manuals' examples, run as a user types them: the commands of every
// literal block under EXAMPLES, in order, in one shell from a scratch folder,
// with the installed programs' names on PATH and simulated phones in the map.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/cli/flash_run_fixture.h"

namespace tarn::test {
namespace {

// The commands of the literal blocks (``` ... ```) of a page's EXAMPLES.
std::string ExampleCommands(const std::string& page) {
  const std::string text = ReadFile(std::string(TARN_SOURCE_DIR) + "/docs/man/" + page + ".scd");
  const std::size_t begin = text.find("\n# EXAMPLES\n");
  const std::size_t end = text.find("\n# ", begin + 1);
  if (begin == std::string::npos) return {};
  std::istringstream section(text.substr(begin, end - begin));
  std::string commands;
  bool literal = false;
  for (std::string line; std::getline(section, line);) {
    if (line.find_first_not_of('\t') != std::string::npos && line.substr(line.find_first_not_of('\t')) == "```") {
      literal = !literal;
    } else if (literal) {
      commands += line + "\n";
    }
  }
  return commands;
}

std::string Folder(const char* program) { return std::filesystem::path(program).parent_path().string(); }

class ManualExamples : public FlashRun {
 protected:
  // Runs `commands` in a fresh folder as its user's home; a background job
  // an example leaves behind (a failed one's keld-sim) ends with the shell.
  ToolRun RunExamples(const std::string& name, const std::string& commands) {
    const std::filesystem::path home = dir_ / name;
    std::filesystem::create_directories(home);
    const std::string script = "export HOME='" + home.string() + "' PATH='" + Folder(TARN_FLASH_PATH) + ":" +
                               Folder(TARN_SIM_PATH) + ":" + Folder(TARN_SAMPLE_IMAGES_PATH) +
                               ":'\"$PATH\"\ntrap 'kill $(jobs -p) 2>/dev/null || true' EXIT\ncd \"$HOME\"\n" +
                               commands;
    return RunTool("/bin/bash", {"-euo", "pipefail", "-c", script});
  }
};

TEST_F(ManualExamples, RunAsTypedWithSimulatedPhones) {
  // tarn-flash's examples expect two phones of platform 1, COM1 and COM2, in the map.
  for (int i : {0, 1}) {
    tarn::sim::PhoneConfig config = Config(i, i + 1);
    config.platform = 1;
    AddPhone(config);
  }
  for (const char* page : {"tarn-flash.1", "keld-sim.1", "tarn-sample-images.1"}) {
    SCOPED_TRACE(page);
    const std::string commands = ExampleCommands(page);
    ASSERT_NE(commands.find("tarn-"), std::string::npos) << "no examples in " << page;
    const ToolRun run = RunExamples(page, commands);
    EXPECT_EQ(run.exitCode, 0) << commands << run.out << run.err;
  }
  // The report went into the log folder the same command made.
  EXPECT_TRUE(std::filesystem::is_regular_file(dir_ / "tarn-flash.1/logs/batch.json"));
}

TEST_F(ManualExamples, KeldSimSaysWhyTheMapCannotBeWritten) {
  // A map under a plain file fails for root too, as /run/tarn/devicemap does for a user.
  std::ofstream(dir_ / "plain") << "x";
  setenv("TARN_DEVICEMAP", (dir_ / "plain/map").c_str(), 1);
  const ToolRun run = RunTool(TARN_SIM_PATH, {"--phones", "1"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "e - phone 0 could not start: the serial-port map " + (dir_ / "plain/map").string() +
                         " cannot be written: Not a directory; set TARN_DEVICEMAP=<a folder of yours> and give the "
                         "tools the same (see keld-sim(1))\n");
}

}  // namespace
}  // namespace tarn::test
