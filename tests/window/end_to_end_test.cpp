// SPDX-License-Identifier: Apache-2.0
// The whole window against simulated phones: attached through the
// serial-port map, START, every slot to PASS, the batch ends and the controls
// come back; phones that come back after Boot Format. A picture of the window
// after the batch is kept in the build tree.
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <fstream>
#include <iterator>

#include "controls/text_progress_ctrl.h"
#include "controls/xtip_combo_box.h"
#include "platform/clock.h"
#include "sim/keld_sim.h"
#include "tests/testsupport/test_images.h"
#include "tests/window/window_fixture.h"

using namespace tarn::window;

namespace tarn::test {
namespace {

// Generous bound for the whole batch on a busy two-core machine.
constexpr int kBatchWaitMs = 300000;
constexpr int kFirstCom = 11;
constexpr std::uint32_t kLoaderVersion = 8;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string MemberBytes(std::uint32_t size) {
  std::string bytes;
  for (std::uint32_t i = 0; i < size; ++i) bytes.push_back(static_cast<char>(static_cast<unsigned char>(i * 7)));
  return bytes;
}

class WindowEndToEndTest : public WindowTest {
 protected:
  void TearDown() override {
    WindowTest::TearDown();
    phones_.clear();
  }
  // `rebootAfterFormatMs` >= 0: each phone leaves after Format and comes
  // back that many (real) milliseconds later.
  void StartPhones(int count = kSlotCount, int rebootAfterFormatMs = -1) {
    for (int i = 0; i < count; ++i) {
      tarn::sim::PhoneConfig config;
      config.index = i;
      config.faults.rebootAfterFormatMs = rebootAfterFormatMs;
      config.greeting = "LAST";  // a loader recent enough for file-system members
      config.loaderVersion = kLoaderVersion;
      config.comNumber = kFirstCom + i;
      config.outputDir = dir_->Path() / ("phone" + std::to_string(i));
      phones_.push_back(std::make_unique<tarn::sim::SimPhone>(config));
      ASSERT_TRUE(phones_.back()->Start());
    }
  }
  // Opens the window with the phones attached and the images chosen.
  CKelpa3MultiDlg& OpenReadyWindow() {
    CKelpa3MultiDlg& window = OpenWindow();
    window.AddImageFile(QString::fromStdString(pda_.string()), IMAGE_MASK_PDA);
    window.AddImageFile(QString::fromStdString(csc_.string()), IMAGE_MASK_CSC);
    // No completion wait (the box is saved with the settings of an earlier window).
    if (window.CheckBox(IDC_FACTORY)->isChecked()) window.CheckBox(IDC_FACTORY)->click();
    window.show();
    return window;
  }
  void WriteImages(std::uint32_t zImageSize) {
    pda_ = dir_->Path() / "test_pda.tar";
    WriteBytes(pda_, TarBytes({{"zImage", zImageSize, ""}, {"factoryfs.rfs", 150001, ""}}));
    csc_ = dir_->Path() / "CSC_test.tar";
    WriteBytes(csc_, TarBytes({{"ZUDARIDA.csc", 9000, ""}}));
  }

  std::vector<std::unique_ptr<tarn::sim::SimPhone>> phones_;
  std::filesystem::path pda_, csc_;
};

TEST_F(WindowEndToEndTest, EightPhonesPassAndTheBatchEnds) {
  StartPhones();
  WriteImages(300000);
  // A station's metrics file, set by hand in the settings file.
  const auto metrics = dir_->Path() / "tarn.prom";
  QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tarn"), QCoreApplication::applicationName())
      .setValue(QStringLiteral("Settings/MetricsFile"), QString::fromStdString(metrics.string()));
  CKelpa3MultiDlg& window = OpenReadyWindow();
  ASSERT_EQ(window.PortCount(), kSlotCount);
  ASSERT_FALSE(window.CheckBox(IDC_FACTORY)->isChecked());

  static_cast<QPushButton*>(window.Control(IDC_START))->click();
  ASSERT_TRUE(window.InBatch());
  EXPECT_EQ(window.TotalSize(), 300000u + 150001u + 9000u);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window.InBatch(); }, kBatchWaitMs));

  for (int slot = 0; slot < kSlotCount; ++slot) {
    EXPECT_EQ(window.UpperBar(slot)->WindowText(), QStringLiteral("PASS  ")) << slot;
    EXPECT_EQ(window.UpperBar(slot)->BarColor(), RGB(33, 255, 33)) << slot;
    EXPECT_EQ(window.LowerBar(slot)->SendMessage(PBM_GETPOS, 0, 0), 100) << slot;
    const auto out = dir_->Path() / ("phone" + std::to_string(slot));
    EXPECT_TRUE(ReadFile(out / "part03.bin") == MemberBytes(300000)) << slot;
    EXPECT_TRUE(ReadFile(out / "part05.bin") == MemberBytes(150001)) << slot;
    EXPECT_TRUE(ReadFile(out / "part23.bin") == MemberBytes(9000)) << slot;
  }
  // No error line: only the batch's counts.
  EXPECT_EQ(window.Edit(IDC_MAIN_EDIT)->toPlainText().toStdString(), "8 phones: 8 passed, 0 failed, 0 stopped\n");
  // Every phone's result and the batch are in the metrics file.
  const std::string counts = ReadFile(metrics);
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const std::string line = "tarn_jobs_total{result=\"PASS\",slot=\"" + std::to_string(slot) + "\"} 1\n";
    EXPECT_NE(counts.find(line), std::string::npos) << line << counts;
  }
  EXPECT_NE(counts.find("tarn_written_bytes_total " + std::to_string(8 * (300000 + 150001 + 9000)) + "\n"),
            std::string::npos)
      << counts;
  EXPECT_NE(counts.find("tarn_batches_total 1\n"), std::string::npos) << counts;
  EXPECT_NE(counts.find("tarn_batch_in_progress 0\n"), std::string::npos) << counts;
  EXPECT_EQ(window.Running(), 0);
  EXPECT_EQ(CountLogged("./SleepInhibitor"), 1) << "sleep is held off (or why not is logged) once a batch";
  EXPECT_TRUE(window.Control(IDC_START)->isEnabled());
  EXPECT_TRUE(window.Control(IDC_CLR)->isEnabled());
  EXPECT_FALSE(window.Control(IDC_STOP)->isEnabled());

  EXPECT_TRUE(window.grab().save(QStringLiteral(TARN_SCREENSHOT_PATH)));
}

TEST_F(WindowEndToEndTest, ClosingDuringABatchStopsAtACommandBoundarySoANewBatchPasses) {
  StartPhones();
  WriteImages(8u << 20);  // long enough to be mid-transfer when the window closes
  CKelpa3MultiDlg& window = OpenReadyWindow();
  static_cast<QPushButton*>(window.Control(IDC_START))->click();
  ASSERT_TRUE(window.InBatch());
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return window.UpperBar(0)->WindowText() == QStringLiteral("PDA "); }, kBatchWaitMs));

  // The operator's "yes": every job ends after its frame's answer and says
  // so before the window goes; the stop's bound is the production one, so
  // that a busy machine does not turn it into a stop at once.
  tarn::platform::SetClockScale(1.0);
  window.close();
  EXPECT_FALSE(window.isVisible());
  const QString lines = window.Edit(IDC_MAIN_EDIT)->toPlainText();
  for (int slot = 0; slot < kSlotCount; ++slot) {
    EXPECT_FALSE(window.JobRunning(slot)) << slot;
    EXPECT_TRUE(lines.contains(QStringLiteral("ERROR [  Device %1  ] e - stopped by the operator").arg(slot)))
        << lines.toStdString();
  }
  QSettings saved(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tarn"), QStringLiteral("window_tests"));
  EXPECT_EQ(saved.value(QStringLiteral("Settings/PDA")).toString(), QString::fromStdString(pda_.string()));
  EXPECT_EQ(saved.value(QStringLiteral("Settings/CSC")).toString(), QString::fromStdString(csc_.string()));

  // The phones stayed in download mode: a new window's batch greets and passes them.
  CloseWindow();
  tarn::platform::SetClockScale(kWindowTestClockScale);
  WriteImages(300000);
  CKelpa3MultiDlg& again = OpenReadyWindow();
  static_cast<QPushButton*>(again.Control(IDC_START))->click();
  ASSERT_TRUE(again.InBatch());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !again.InBatch(); }, kBatchWaitMs));
  for (int slot = 0; slot < kSlotCount; ++slot) {
    EXPECT_EQ(again.UpperBar(slot)->WindowText(), QStringLiteral("PASS  ")) << slot;
  }
}

TEST_F(WindowEndToEndTest, BootFormatPhonesBackDuringThePauseAfterFormatPassOnce) {
  // Real time: the job's pause after "Format Done!" (1 s) outlasts the
  // phones' 300 ms away, so each phone is back while its slot's job still runs.
  tarn::platform::SetClockScale(1.0);
  constexpr int kPhones = 2;
  StartPhones(kPhones, 300);
  WriteImages(40000);
  pda_ = dir_->Path() / "test_boot_pda.tar";
  WriteBytes(pda_, TarBytes({{"boot.bin", 4000, ""}, {"Sbl.bin", 6000, ""}, {"zImage", 40000, ""}}));
  CKelpa3MultiDlg& window = OpenReadyWindow();
  ASSERT_EQ(window.PortCount(), kPhones);
  window.CheckBox(IDC_BOOT_FORMAT)->click();

  static_cast<QPushButton*>(window.Control(IDC_START))->click();
  ASSERT_TRUE(window.InBatch());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window.InBatch(); }, kBatchWaitMs));

  EXPECT_GE(CountLogged("the new job waits for it"), 1);
  EXPECT_EQ(window.Edit(IDC_MAIN_EDIT)->toPlainText().toStdString(), "2 phones: 2 passed, 0 failed, 0 stopped\n");
  for (int slot = 0; slot < kPhones; ++slot) {
    EXPECT_EQ(window.UpperBar(slot)->WindowText(), QStringLiteral("PASS  ")) << slot;
    EXPECT_EQ(phones_[slot]->Stats().replugs, 1) << slot;
    const auto out = dir_->Path() / ("phone" + std::to_string(slot));
    EXPECT_TRUE(ReadFile(out / "part03.bin") == MemberBytes(40000)) << slot;
  }
  EXPECT_FALSE(window.Control(IDC_BOOT_UPDATE)->isEnabled());
}

}  // namespace
}  // namespace tarn::test
