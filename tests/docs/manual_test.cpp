// SPDX-License-Identifier: Apache-2.0
// Every option a program lists in --help is in its manual page and its shell
// completion, so they cannot drift apart; every program reports the
// project's one version.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tarn/version.h"
#include "tests/cli/run_tool.h"

namespace {

struct Program {
  std::string name, path, manual, completion;
};

std::vector<Program> Programs() {
  const std::string source = TARN_SOURCE_DIR;
  std::vector<Program> programs = {
      {"tarn-flash", TARN_FLASH_PATH, source + "/docs/man/tarn-flash.1.scd",
       source + "/packaging/completion/tarn-flash"},
      {"keld-sim", TARN_SIM_PATH, source + "/docs/man/keld-sim.1.scd", source + "/packaging/completion/keld-sim"},
      {"tarn-port-registrar", TARN_REGISTRAR_PATH, source + "/docs/man/tarn-port-registrar.8.scd", ""},
      {"tarn-sample-images", TARN_SAMPLE_IMAGES_PATH, source + "/docs/man/tarn-sample-images.1.scd", ""},
  };
#ifdef TARN_WINDOW_PATH
  programs.push_back({"tarn-multi-downloader", TARN_WINDOW_PATH, source + "/docs/man/tarn-multi-downloader.1.scd", ""});
#endif
  return programs;
}

std::string ReadText(const std::string& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::set<std::string> LongOptions(const std::string& help) {
  static const std::regex option("--[a-z][a-z0-9-]*");
  std::set<std::string> options;
  for (std::sregex_iterator it(help.begin(), help.end(), option), end; it != end; ++it) options.insert(it->str());
  return options;
}

TEST(Manuals, CoverEveryOptionOfTheHelpAndTheEnvironment) {
  for (const auto& program : Programs()) {
    SCOPED_TRACE(program.name);
    const std::string manual = ReadText(program.manual);
    ASSERT_FALSE(manual.empty()) << program.manual;
    const auto help = tarn::test::RunTool(program.path, {"--help"});
    ASSERT_EQ(0, help.exitCode) << help.err;
    const std::set<std::string> options = LongOptions(help.out);
    EXPECT_TRUE(options.count("--version")) << help.out;
    const std::string completion = program.completion.empty() ? "" : ReadText(program.completion);
    for (const auto& option : options) {
      // Options are set in bold in the page's own list.
      EXPECT_NE(std::string::npos, manual.find("*" + option + "*")) << option << " is not in " << program.manual;
      if (!program.completion.empty()) {
        EXPECT_NE(std::string::npos, completion.find(option)) << option << " is not in " << program.completion;
      }
    }
    for (const char* variable : {"*TARN_DEVICEMAP*", "*TARN_DEBUG_OUTPUT*", "*NO_COLOR*"}) {
      EXPECT_NE(std::string::npos, manual.find(variable)) << variable;
    }
    for (const char* section : {"# OPTIONS", "# EXIT STATUS", "# ENVIRONMENT", "# FILES", "# EXAMPLES"}) {
      EXPECT_NE(std::string::npos, manual.find(section)) << section;
    }
  }
}

TEST(Versions, EveryProgramPrintsTheProjectVersion) {
  for (const auto& program : Programs()) {
    SCOPED_TRACE(program.name);
    const auto run = tarn::test::RunTool(program.path, {"--version"});
    EXPECT_EQ(0, run.exitCode) << run.err;
    EXPECT_EQ(program.name + " " TARN_VERSION "\n", run.out);
  }
}

}  // namespace
