// SPDX-License-Identifier: Apache-2.0
// What tarn-flash writes: report lines, JSON events, progress and the port list.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/flash_args.h"
#include "cli/json_report.h"
#include "cli/port_list.h"
#include "cli/progress_view.h"
#include "cli/text_report.h"
#include "tarn/version.h"
#include "tests/testsupport/temp_dir.h"

namespace {

using namespace tarn::cli;
using tarn::test::TempDir;

// Captures what a FILE* receives.
class Capture {
 public:
  Capture() : file_(open_memstream(&data_, &size_)) {}
  ~Capture() {
    std::fclose(file_);
    std::free(data_);
  }
  std::FILE* File() { return file_; }
  std::string Text() {
    std::fflush(file_);
    return std::string(data_, size_);
  }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* file_;
};

TEST(TextReport, LinesAsTheWindowShowsThem) {
  Capture out;
  int before = 0;
  TextReport report(out.File(), [&] { ++before; });
  report.Text(3, L"open COM7");
  report.Error(2, L"e - usb is disconnected!!");
  report.Progress(2, 50, 50);
  SlotSummary pass;
  pass.slot = 0;
  pass.passed = true;
  report.Summary(pass);
  SlotSummary fail;
  fail.slot = 7;
  report.Summary(fail);
  SlotSummary stopped;
  stopped.slot = 5;
  stopped.stopped = true;
  report.Summary(stopped);
  EXPECT_EQ(out.Text(),
            "[  3  ] open COM7\nERROR [  Device 2  ] e - usb is disconnected!!\n[  0  ] PASS\n[  7  ] FAIL\n"
            "[  5  ] STOPPED\n");
  EXPECT_EQ(before, 5);
}

TEST(JsonReport, OneValidObjectPerLineWithTypeTimeAndSlot) {
  Capture out;
  // 2026-12-09T10:22:39.123Z, one millisecond later on each line.
  auto time = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796811759123));
  JsonReport report(out.File(), [&] { return time += std::chrono::milliseconds(1); });
  BatchInfo info;
  info.bootUpdate = info.autoReboot = true;
  info.stratine = "all";
  info.nation = 9;
  info.answerTimeout = 300;
  info.ports = {12};
  info.pda = ImageInfo{"/i/test_PDA.tar", 4096};
  info.phone = ImageInfo{"/i/\xc9T\xc9.bin", 10};  // named in Latin-1, not UTF-8
  info.jobBytes = 3000;
  report.BatchStarted(info);
  report.JobStarted(1, 12, false);
  report.Text(1, L"Downloading \u00c9T\u00c9.csc");
  report.Progress(1, 40, 75);
  report.State(1, -1);
  report.State(1, 903);
  report.State(1, 555);
  report.Files(9, 4);
  report.Error(1, L"e - x");
  report.Pass(1, 9);
  SlotSummary failed;
  failed.slot = 1;
  failed.port = 12;
  failed.filesDone = 9;
  failed.errors = {L"e - x", L"e - usb is disconnected!!"};
  failed.bytes = 1200;
  failed.seconds = 1.5004;
  report.Summary(failed);
  SlotSummary stopped = failed;
  stopped.slot = 2;
  stopped.errors.clear();
  stopped.stopped = true;
  SlotSummary passed;
  passed.passed = true;
  BatchSummary batch{{failed, stopped, passed}, 2.25, 130, time + std::chrono::milliseconds(1)};
  report.BatchEnded(batch);
  const std::string text = out.Text();
  std::istringstream lines(text);
  std::vector<nlohmann::json> events;
  for (std::string line; std::getline(lines, line);) events.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(events.size(), 12u);
  const auto& start = events[0];
  EXPECT_EQ(start["type"], "start");
  EXPECT_EQ(start["time"], "2026-12-09T10:22:39.124Z");
  EXPECT_EQ(start["schema"], 1);
  EXPECT_EQ(start["version"], TARN_VERSION);
  EXPECT_EQ(start["options"]["nation"], 9);
  EXPECT_EQ(start["options"]["ports"], nlohmann::json::array({12}));
  EXPECT_EQ(start["images"]["pda"]["bytes"], 4096);
  EXPECT_FALSE(start["images"].contains("csc"));
  EXPECT_EQ(start["images"]["phone"]["path"], "/i/\ufffdT\ufffd.bin");
  EXPECT_EQ(start["images"]["job_bytes"], 3000);
  EXPECT_EQ(events[1]["type"], "job");
  EXPECT_EQ(events[1]["port"], 12);
  EXPECT_EQ(events[2]["text"], "Downloading \xc3\x89T\xc3\x89.csc");
  EXPECT_EQ(events[3]["overall"], 40);
  EXPECT_EQ(events[3]["file"], 75);
  EXPECT_EQ(events[4]["code"], -1);
  EXPECT_EQ(events[4]["name"], "error");
  EXPECT_EQ(events[5]["name"], "completion_wait");
  EXPECT_EQ(events[6]["name"], "unknown");
  EXPECT_EQ(events[7]["total"], 9);
  EXPECT_FALSE(events[7].contains("slot"));
  EXPECT_EQ(events[8]["type"], "error");
  EXPECT_EQ(events[9]["files_done"], 9);
  for (std::size_t i = 1; i < 11; ++i) {
    EXPECT_EQ(events[i]["time"], "2026-12-09T10:22:39." + std::to_string(124 + i) + "Z") << i;
    if (i != 7) {
      EXPECT_EQ(events[i]["slot"], 1) << i;
    }
  }
  const auto& result = events[10];
  EXPECT_EQ(result["type"], "result");
  EXPECT_EQ(result["result"], "FAIL");
  EXPECT_EQ(result["reason"], "e - x");  // the first error decides, not what followed from it
  EXPECT_EQ(result["errors"].size(), 2u);
  EXPECT_EQ(result["bytes"], 1200);
  EXPECT_DOUBLE_EQ(result["seconds"].get<double>(), 1.5);
  const auto& summary = events[11];
  EXPECT_EQ(summary["type"], "summary");
  EXPECT_EQ(summary["time"], "2026-12-09T10:22:39.135Z");
  EXPECT_EQ(summary["slots"].size(), 3u);
  EXPECT_EQ(summary["slots"][1]["result"], "STOPPED");
  EXPECT_EQ(summary["slots"][1]["reason"], "e - stopped by the operator");
  EXPECT_EQ(summary["slots"][2]["reason"], "");
  EXPECT_EQ(summary["counts"], nlohmann::json({{"passed", 1}, {"failed", 1}, {"stopped", 1}}));
  EXPECT_DOUBLE_EQ(summary["seconds"].get<double>(), 2.25);
  EXPECT_EQ(summary["exit_status"], 130);
  // The report file holds the same record as the last line.
  EXPECT_EQ(SummaryRecord(batch) + "\n", text.substr(text.rfind('\n', text.size() - 2) + 1));
}

TEST(ProgressView, RendersOneLinePerAttachedSlotAndTheBatchCutToWidth) {
  Capture terminal;
  ProgressView view(terminal.File(), false);
  view.SetJobBytes(4 * 1024 * 1024);
  view.Attach(0, 7);
  view.Attach(5, 12);
  view.Progress(5, 50, 100);
  view.Status(5, L"Downloading\nZIMAGE");
  std::vector<std::string> lines = view.Render(200, 2000);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("[  0  ] COM7 ", 0), 0u);
  EXPECT_NE(lines[1].find("[####################] 100%"), std::string::npos);
  EXPECT_NE(lines[1].find("[##########..........]  50%"), std::string::npos);
  EXPECT_NE(lines[1].find("Downloading ZIMAGE"), std::string::npos);
  // Half of one job's 4 MiB in two seconds; the other job and a half to go at that pace.
  EXPECT_EQ(lines[2], "batch [#####...............]  25%  elapsed 0:02  1.0 MiB/s  left 0:06");
  for (const auto& line : view.Render(30, 2000)) EXPECT_EQ(line.size(), 30u);

  // Once every unfinished slot only waits for its phone (Factory Mode), the
  // batch line says so with the wait's bound instead of "left 0:00".
  view.Progress(0, 100, 0);
  view.Waiting(0, 100);
  view.Progress(5, 100, 40);
  view.Waiting(5, 100);
  EXPECT_EQ(view.Render(200, 2000)[2],
            "batch [####################] 100%  elapsed 0:02  waiting for the phones to finish, at most 1:40");
  // On an 80-column terminal a finished slot's result still shows.
  view.Finish(0, SlotResult::Stopped);
  const std::string narrow = view.Render(79, 2000)[0];
  EXPECT_LE(narrow.size(), 79u);
  EXPECT_EQ(narrow.substr(narrow.size() - 9), "  STOPPED") << narrow;

  // A failed slot has nothing left to send; the batch is over when every slot ended.
  view.Finish(0, SlotResult::Fail);
  view.Progress(5, 99, 100);
  view.Finish(5, SlotResult::Pass);
  EXPECT_EQ(view.Render(200, 3723000)[2], "batch [####################] 100%  elapsed 1:02:03  0.0 MiB/s  left 0:00");
  EXPECT_TRUE(ProgressView(terminal.File(), false).Render(200, 0).empty());  // no slot, no batch line

  // 32 slots on an 80-column terminal: slot and COM numbers padded so that
  // every bar starts in one column, and every result still shows.
  ProgressView many(terminal.File(), false);
  for (int slot = 0; slot <= 32; ++slot) many.Attach(slot, slot == 31 ? 255 : slot + 1);
  for (int slot = 0; slot < 32; ++slot) many.Finish(slot, SlotResult::Stopped);
  lines = many.Render(79, 2000);
  ASSERT_EQ(lines.size(), 33u);  // slot 32 is none of the host's
  EXPECT_EQ(lines[3].rfind("[   3  ] COM4   file [", 0), 0u) << lines[3];
  EXPECT_EQ(lines[31].rfind("[  31  ] COM255 file [", 0), 0u) << lines[31];
  for (int slot = 0; slot < 32; ++slot) {
    EXPECT_LE(lines[slot].size(), 79u);
    EXPECT_EQ(lines[slot].substr(lines[slot].size() - 9), "  STOPPED") << lines[slot];
    EXPECT_EQ(lines[slot].find(" file ["), lines[0].find(" file [")) << lines[slot];
    EXPECT_EQ(lines[slot].find(" total ["), lines[0].find(" total [")) << lines[slot];
  }
}

TEST(ProgressView, BarsOnlyWhereTheCursorCanMove) {
  using Mode = ProgressView::Mode;
  EXPECT_EQ(ProgressView::ModeFor(true, "xterm-256color"), Mode::Bars);
  EXPECT_EQ(ProgressView::ModeFor(true, "dumb"), Mode::Lines);
  EXPECT_EQ(ProgressView::ModeFor(true, ""), Mode::Lines);
  EXPECT_EQ(ProgressView::ModeFor(true, nullptr), Mode::Lines);
  EXPECT_EQ(ProgressView::ModeFor(false, "xterm"), Mode::Lines);

  Capture log;
  ProgressView view(log.File(), true, Mode::Lines);
  view.Attach(3, 9);
  view.Attach(4, 10);
  view.Progress(3, 40, 80);
  view.Progress(4, 40, 80);
  view.Draw(true);
  view.Erase();
  view.Finish(3, SlotResult::Pass);
  view.Finish(4, SlotResult::Stopped);
  view.Draw(true);
  const std::string text = log.Text();
  EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
  EXPECT_NE(text.find("[  3  ] COM9  file  80% total  40%  \n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nbatch  40%  elapsed "), std::string::npos) << text;
  // A stopped slot keeps what it sent and has nothing left to send.
  EXPECT_NE(
      text.find("[  3  ] COM9  file 100% total 100%  PASS\n[  4  ] COM10 file  80% total  40%  STOPPED\nbatch 100%"),
      std::string::npos)
      << text;
}

TEST(ProgressView, RedrawsInPlaceAndColoursOnlyWhenAllowed) {
  Capture plain;
  ProgressView view(plain.File(), false);
  view.Attach(0, 1);
  view.Finish(0, SlotResult::Fail);
  view.Draw(true);
  view.Draw(true);
  std::string text = plain.Text();
  EXPECT_NE(text.find("\x1b[2A"), std::string::npos);  // the second drawing moves up over the slot and the batch
  EXPECT_EQ(text.find("\x1b[31m"), std::string::npos);
  view.Erase();
  EXPECT_NE(plain.Text().find("\x1b[J"), std::string::npos);

  // Green, red and yellow for PASS, FAIL and STOPPED; a running slot has no colour.
  Capture coloured;
  ProgressView colourView(coloured.File(), true);
  colourView.Attach(0, 1);
  colourView.Attach(1, 2);
  colourView.Attach(2, 3);
  colourView.Attach(3, 4);
  colourView.Finish(0, SlotResult::Pass);
  colourView.Finish(1, SlotResult::Fail);
  colourView.Finish(2, SlotResult::Stopped);
  colourView.Draw(true);
  const std::string drawn = coloured.Text();
  EXPECT_NE(drawn.find("\x1b[32m[  0  ] COM1 "), std::string::npos) << drawn;
  EXPECT_NE(drawn.find("\x1b[31m[  1  ] COM2 "), std::string::npos) << drawn;
  EXPECT_NE(drawn.find("\x1b[33m[  2  ] COM3 "), std::string::npos) << drawn;
  EXPECT_NE(drawn.find("\r\x1b[2K[  3  ] COM4 "), std::string::npos) << drawn;
}

TEST(PortList, UsbPathAndIdsFromSysfsOrADash) {
  // sysfs as the kernel lays it out for a CDC-ACM phone (the tty's device is
  // the USB interface) and for a USB serial adapter (one level more).
  TempDir sys;
  const auto acm = sys / "devices/usb1/1-4/1-4.2";
  const auto adapter = sys / "devices/usb2/2-1";
  std::filesystem::create_directories(acm / "1-4.2:1.0");
  std::filesystem::create_directories(adapter / "2-1:1.0/ttyUSB0");
  std::ofstream(acm / "idVendor") << "04e8\n";
  std::ofstream(acm / "idProduct") << "685d\n";
  std::ofstream(adapter / "idVendor") << "0403\n";
  std::ofstream(adapter / "idProduct") << "6001\n";
  std::filesystem::create_directories(sys / "class/tty/ttyACM0");
  std::filesystem::create_directories(sys / "class/tty/ttyUSB0");
  std::filesystem::create_symlink(acm / "1-4.2:1.0", sys / "class/tty/ttyACM0/device");
  std::filesystem::create_symlink(adapter / "2-1:1.0/ttyUSB0", sys / "class/tty/ttyUSB0/device");

  PortDetails phone, serial, pty;
  ReadUsbDetails(sys / "class/tty", "/dev/ttyACM0", &phone);
  ReadUsbDetails(sys / "class/tty", "/dev/ttyUSB0", &serial);
  ReadUsbDetails(sys / "class/tty", "/dev/pts/4", &pty);
  EXPECT_EQ(phone.usbPath + " " + phone.usbId, "1-4.2 04e8:685d");
  EXPECT_EQ(serial.usbPath + " " + serial.usbId, "2-1 0403:6001");
  EXPECT_EQ(pty.usbPath + " " + pty.usbId, "- -");
}

}  // namespace
