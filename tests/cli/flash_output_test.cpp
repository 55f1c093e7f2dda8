// SPDX-License-Identifier: Apache-2.0
// What tarn-flash writes: report lines, JSON events, progress and the port list.
#include <gtest/gtest.h>

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

TEST(JsonReport, OneValidObjectPerLine) {
  Capture out;
  JsonReport report(out.File());
  report.JobStarted(1, 12, false);
  report.Text(1, L"Downloading \u00c9T\u00c9.csc");
  report.Progress(1, 40, 75);
  report.State(1, -1);
  report.Files(9, 4);
  report.Error(1, L"e - x");
  report.Pass(1, 9);
  SlotSummary summary;
  summary.slot = 1;
  summary.port = 12;
  summary.filesDone = 9;
  summary.errors = {L"e - x"};
  summary.seconds = 1.5;
  report.Summary(summary);
  summary.stopped = true;
  report.Summary(summary);
  std::istringstream lines(out.Text());
  std::vector<nlohmann::json> events;
  for (std::string line; std::getline(lines, line);) events.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(events.size(), 9u);
  EXPECT_EQ(events[0]["type"], "start");
  EXPECT_EQ(events[0]["port"], 12);
  EXPECT_EQ(events[1]["text"], "Downloading \xc3\x89T\xc3\x89.csc");
  EXPECT_EQ(events[2]["overall"], 40);
  EXPECT_EQ(events[2]["file"], 75);
  EXPECT_EQ(events[3]["code"], -1);
  EXPECT_EQ(events[4]["total"], 9);
  EXPECT_EQ(events[5]["type"], "error");
  EXPECT_EQ(events[6]["files_done"], 9);
  EXPECT_EQ(events[7]["type"], "summary");
  EXPECT_EQ(events[7]["result"], "FAIL");
  EXPECT_EQ(events[7]["errors"][0], "e - x");
  EXPECT_DOUBLE_EQ(events[7]["seconds"].get<double>(), 1.5);
  EXPECT_EQ(events[8]["result"], "STOPPED");
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

  // A failed slot has nothing left to send; the batch is over when every slot ended.
  view.Finish(0, false);
  view.Progress(5, 99, 100);
  view.Finish(5, true);
  EXPECT_EQ(view.Render(200, 3723000)[2], "batch [####################] 100%  elapsed 1:02:03  0.0 MiB/s  left 0:00");
  EXPECT_TRUE(ProgressView(terminal.File(), false).Render(200, 0).empty());  // no slot, no batch line
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
  view.Progress(3, 40, 80);
  view.Draw(true);
  view.Erase();
  view.Finish(3, true);
  view.Draw(true);
  const std::string text = log.Text();
  EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
  EXPECT_NE(text.find("[  3  ] COM9 file  80% total  40%  \nbatch  40%  elapsed "), std::string::npos) << text;
  EXPECT_NE(text.find("[  3  ] COM9 file 100% total 100%  PASS\nbatch 100%"), std::string::npos) << text;
}

TEST(ProgressView, RedrawsInPlaceAndColoursOnlyWhenAllowed) {
  Capture plain;
  ProgressView view(plain.File(), false);
  view.Attach(0, 1);
  view.Finish(0, false);
  view.Draw(true);
  view.Draw(true);
  std::string text = plain.Text();
  EXPECT_NE(text.find("\x1b[2A"), std::string::npos);  // the second drawing moves up over the slot and the batch
  EXPECT_EQ(text.find("\x1b[31m"), std::string::npos);
  view.Erase();
  EXPECT_NE(plain.Text().find("\x1b[J"), std::string::npos);

  Capture coloured;
  ProgressView colourView(coloured.File(), true);
  colourView.Attach(0, 1);
  colourView.Finish(0, true);
  colourView.Draw(true);
  EXPECT_NE(coloured.Text().find("\x1b[32m"), std::string::npos);
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
