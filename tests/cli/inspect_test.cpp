// SPDX-License-Identifier: Apache-2.0
// tarn-flash inspect on the sample images and on images START refuses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "cli/flash_args.h"
#include "tests/cli/run_tool.h"
#include "tests/testsupport/temp_dir.h"
#include "tests/testsupport/test_images.h"
#include "tools/sample_images.h"

namespace {

using tarn::test::RunTool;
using tarn::test::TempDir;
using tarn::test::ToolRun;

class Inspect : public ::testing::Test {
 protected:
  void SetUp() override {
    spec_.outDir = dir_.Path().string();
    spec_.size = 64 * 1024;
    std::string error;
    ASSERT_TRUE(tarn::tools::WriteSampleImages(spec_, &error)) << error;
  }
  std::string Image(const std::string& name) const { return (dir_ / name).string(); }
  std::vector<std::string> Samples() const {
    return {Image(spec_.pdaName), Image(spec_.cscName), Image(spec_.phoneName)};
  }
  // What START sends of the samples by default: every PDA member, the CSC
  // archive's own nation (its last member) and the phone binary.
  // The file's SHA-256 as coreutils' sha256sum prints it.
  static std::string Sha256sum(const std::string& path) {
    const ToolRun run = RunTool("/usr/bin/env", {"sha256sum", path});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return run.out.substr(0, run.out.find(' '));
  }
  std::uint64_t DefaultTotal() const {
    std::uint64_t total = tarn::tools::PhoneSize(spec_.size) + tarn::tools::CscMembers(spec_.size).back().size;
    for (const auto& member : tarn::tools::PdaMembers(spec_.size)) total += member.size;
    return total;
  }

  TempDir dir_;
  tarn::tools::SampleSpec spec_;
};

TEST_F(Inspect, SampleImagesAsText) {
  std::vector<std::string> args = Samples();
  args.insert(args.begin(), "inspect");
  ToolRun run = RunTool(TARN_FLASH_PATH, args);
  EXPECT_EQ(run.exitCode, tarn::cli::kExitPassed) << run.err;
  EXPECT_EQ(run.err, "");
  // Each image's SHA-256 right under its first line; also of an archive as GNU tar writes it.
  tarn::test::WriteFile(dir_ / "zImage", tarn::test::Pattern(70000, 9));
  const std::string gnu = Image("test_gnu.tar");
  const std::string command = "tar --format=gnu -cf '" + gnu + "' -C '" + dir_.Path().string() + "' zImage";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::string gnuOut = RunTool(TARN_FLASH_PATH, {"inspect", gnu}).out;
  for (const auto& [image, out] :
       {std::pair{args[1], run.out}, {args[2], run.out}, {args[3], run.out}, {gnu, gnuOut}}) {
    const std::string digest = Sha256sum(image);
    ASSERT_EQ(digest.size(), 64u);
    const std::size_t block = out.find(image + ": ");
    EXPECT_EQ(out.find("\n  sha256 " + digest + "\n", block), out.find('\n', block)) << out;
  }
  for (const char* line :
       {": PDA archive, platform 0, ", ": CSC archive, ", ": phone binary, ", "BOOT.bin", "partition BOOT\n",
        "partition FACTORYFS\n", "  Stratine\n", "nation member UK\n", "  phone binary\n",
        "Boot Format: formats with BOOT.bin and SBL.bin", "nation UK: sends UK.csc (the archive's nation)\n"}) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
  }
  EXPECT_NE(run.out.find("total: " + std::to_string(DefaultTotal()) + " bytes with Boot Update"), std::string::npos)
      << run.out;
}

TEST_F(Inspect, SampleImagesAsJson) {
  std::vector<std::string> args = Samples();
  args.insert(args.begin(), {"inspect", "--json"});
  ToolRun run = RunTool(TARN_FLASH_PATH, args);
  ASSERT_EQ(run.exitCode, tarn::cli::kExitPassed) << run.err;
  const nlohmann::json json = nlohmann::json::parse(run.out);
  EXPECT_EQ(json["total_boot_update"], DefaultTotal());
  EXPECT_EQ(json["nation"], "UK");
  EXPECT_EQ(json["refused"], false);
  ASSERT_EQ(json["images"].size(), 3u);
  EXPECT_EQ(json["images"][0]["kind"], "PDA");
  EXPECT_EQ(json["images"][0]["platform"], 0);
  EXPECT_EQ(json["images"][0]["members"].size(), tarn::tools::PdaMembers(spec_.size).size());
  EXPECT_EQ(json["images"][0]["members"][0]["partition"], "BOOT");
  EXPECT_EQ(json["images"][1]["kind"], "CSC");
  EXPECT_EQ(json["images"][1]["members"].back()["nation"], "UK");
  EXPECT_EQ(json["images"][2]["kind"], "phone");
  EXPECT_EQ(json["images"][2]["sends_without_boot_update"], tarn::tools::PhoneSize(spec_.size));
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(json["images"][i]["sha256"], Sha256sum(Samples()[i])) << i;
  const std::uint64_t boot = tarn::tools::PdaMembers(spec_.size)[0].size + tarn::tools::PdaMembers(spec_.size)[1].size;
  EXPECT_EQ(json["total_without_boot_update"], DefaultTotal() - boot);
}

TEST_F(Inspect, RefusedImagesExitTwoWithTheirCause) {
  tarn::test::WriteBytes(dir_ / "test_readme.tar", tarn::test::TarBytes({{"README.txt", 10}}));
  ToolRun run = RunTool(TARN_FLASH_PATH, {"inspect", Image(spec_.cscName), Image("test_readme.tar")});
  EXPECT_EQ(run.exitCode, tarn::cli::kExitRefused);
  EXPECT_EQ(run.err, "e - the PDA archive " + Image("test_readme.tar") +
                         " holds files no job can send: \"README.txt\" (see IMAGES in tarn-flash(1))\n");
  EXPECT_NE(run.out.find("README.txt"), std::string::npos);
  EXPECT_NE(run.out.find("unknown: no job can send it"), std::string::npos);

  ToolRun json = RunTool(TARN_FLASH_PATH, {"inspect", "--json", Image("missing.tar")});
  EXPECT_EQ(json.exitCode, tarn::cli::kExitRefused);
  EXPECT_EQ(nlohmann::json::parse(json.out)["refused"], true);
  EXPECT_NE(json.err.find("e - the PDA image does not exist: "), std::string::npos);

  ToolRun none = RunTool(TARN_FLASH_PATH, {"inspect"});
  EXPECT_EQ(none.exitCode, tarn::cli::kExitRefused);
}

}  // namespace
