// SPDX-License-Identifier: Apache-2.0
#include "tests/window/window_soak_run.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include <QCheckBox>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include "controls/text_progress_ctrl.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "sim/keld_sim.h"
#include "tests/testsupport/temp_dir.h"
#include "tests/testsupport/test_images.h"
#include "window/kelpa3_multi_dlg.h"

namespace tarn::test {
namespace {

using tarn::window::kSlotCount;

constexpr int kFirstCom = 71;
constexpr std::uint32_t kLoaderVersion = 8;  // recent enough for file-system members
// Generous bound for one batch on a busy two-core machine; not a timing check.
constexpr int kBatchWaitMs = 300000;
// A job reports its end to the window before its thread is gone.
constexpr int kThreadsSettleMs = 10000;
// The window is shown and painted before the first count.
constexpr int kFirstPaintMs = 200;

struct Member {
  const char* name;
  const char* stored;  // the file the phone keeps it in
  std::uint32_t size;
};

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// The data TarBytes writes for a member of `size` bytes.
std::string MemberBytes(std::uint32_t size) {
  std::string bytes;
  for (std::uint32_t i = 0; i < size; ++i) bytes.push_back(static_cast<char>(static_cast<unsigned char>(i * 7)));
  return bytes;
}

class SoakSetup {
 public:
  explicit SoakSetup(const WindowSoakOptions& options)
      : members_{{"zImage", "part03.bin", options.imageSize},
                 {"factoryfs.rfs", "part05.bin", options.imageSize / 2 + 1},
                 {"ZUDARIDA.csc", "part23.bin", 9000}} {
    setenv("TARN_DEVICEMAP", (dir_ / "map").c_str(), 1);
    std::filesystem::create_directories(dir_ / "map" / "SERIALCOMM");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString((dir_ / "settings").string()));
    previousSink_ = platform::SetDebugOutputSink([](std::string_view) {});
    platform::SetClockScale(options.clockScale);
  }
  ~SoakSetup() {
    window_.reset();
    phones_.clear();
    platform::SetClockScale(1.0);
    platform::SetDebugOutputSink(previousSink_);
    unsetenv("TARN_DEVICEMAP");
  }
  SoakSetup(const SoakSetup&) = delete;
  SoakSetup& operator=(const SoakSetup&) = delete;

  bool Prepare(std::string* error) {
    const auto pda = dir_ / "soak_test_pda.tar" /* "test" in the name: platform 0 */;
    const auto csc = dir_ / "CSC_soak.tar";
    WriteBytes(pda, TarBytes({{members_[0].name, members_[0].size}, {members_[1].name, members_[1].size}}));
    WriteBytes(csc, TarBytes({{members_[2].name, members_[2].size}}));
    for (const Member& m : members_) expected_.push_back(MemberBytes(m.size));
    for (int i = 0; i < kSlotCount; ++i) {
      sim::PhoneConfig config;
      config.index = i;
      config.greeting = "LAST";
      config.loaderVersion = kLoaderVersion;
      config.comNumber = kFirstCom + i;
      config.outputDir = PhoneDir(i);
      phones_.push_back(std::make_unique<sim::SimPhone>(config));
      if (!phones_.back()->Start()) {
        *error = "keld-sim did not start";
        return false;
      }
    }
    window_ = std::make_unique<CKelpa3MultiDlg>();
    window_->AddImageFile(QString::fromStdString(pda.string()), IMAGE_MASK_PDA);
    window_->AddImageFile(QString::fromStdString(csc.string()), IMAGE_MASK_CSC);
    window_->CheckBox(tarn::window::IDC_FACTORY)->click();  // no completion wait
    window_->show();
    QTest::qWait(kFirstPaintMs);
    if (window_->PortCount() != kSlotCount) {
      *error = "the window sees " + std::to_string(window_->PortCount()) + " phones, not " + std::to_string(kSlotCount);
      return false;
    }
    return true;
  }

  // START, then the window's own end of the batch.
  bool RunBatch(WindowBatchFigures* figures) {
    // Last batch's pieces go, so only this batch's count (the phones keep their folders).
    for (int i = 0; i < kSlotCount; ++i) {
      for (const Member& m : members_) std::filesystem::remove(PhoneDir(i) / m.stored);
    }
    static_cast<QPushButton*>(window_->Control(tarn::window::IDC_START))->click();
    if (!window_->InBatch()) return false;
    if (!QTest::qWaitFor([&] { return !window_->InBatch(); }, kBatchWaitMs)) return false;
    for (int slot = 0; slot < kSlotCount; ++slot) {
      if (window_->UpperBar(slot)->WindowText() == QStringLiteral("PASS  ")) ++figures->passed;
      if (StoredExactly(slot)) ++figures->exact;
    }
    return true;
  }

 private:
  std::filesystem::path PhoneDir(int i) const { return dir_ / ("phone" + std::to_string(i)); }
  bool StoredExactly(int slot) const {
    for (std::size_t m = 0; m < std::size(members_); ++m) {
      if (ReadAll(PhoneDir(slot) / members_[m].stored) != expected_[m]) return false;
    }
    return true;
  }

  TempDir dir_;
  Member members_[3];
  std::vector<std::string> expected_;
  std::vector<std::unique_ptr<sim::SimPhone>> phones_;
  std::unique_ptr<CKelpa3MultiDlg> window_;
  platform::DebugSink previousSink_;
};

int PaintPoolThreads() {
  int count = 0;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator("/proc/self/task", ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    std::string name;
    std::getline(std::ifstream(it->path() / "comm"), name);
    if (name == "Thread (pooled)") ++count;
  }
  return count;
}

}  // namespace

WindowResources MeasureWindowProcess() {
  WindowResources r;
  r.paintPool = PaintPoolThreads();
  r.own = Measure();
  r.own.threads -= r.paintPool;
  r.own.fds -= r.paintPool;
  return r;
}

bool RunWindowSoak(const WindowSoakOptions& options, const std::function<void(const WindowBatchFigures&)>& onBatch,
                   std::string* error) {
  SoakSetup setup(options);
  if (!setup.Prepare(error)) return false;
  for (int batch = 1; batch <= options.batches; ++batch) {
    WindowBatchFigures figures;
    figures.batch = batch;
    figures.before = MeasureWindowProcess();
    const auto started = std::chrono::steady_clock::now();
    if (!setup.RunBatch(&figures)) {
      *error = "batch " + std::to_string(batch) + " did not start or did not end";
      return false;
    }
    figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    // The window's thread must keep taking the jobs' last messages meanwhile.
    (void)QTest::qWaitFor([&] { return MeasureWindowProcess().own.threads == figures.before.own.threads; },
                          kThreadsSettleMs);
    figures.after = MeasureWindowProcess();
    onBatch(figures);
  }
  return true;
}

}  // namespace tarn::test
