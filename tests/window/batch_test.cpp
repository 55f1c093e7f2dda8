// SPDX-License-Identifier: Apache-2.0
// START and its refusals, what every slot's engine is given, the control
// lock, the end of the batch, CLR, the automatic restart and closing during
// a batch.
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QTest>

#include "controls/text_progress_ctrl.h"
#include "controls/xtip_combo_box.h"
#include "engine/kelpa3_engine.h"
#include "engine/events.h"
#include "tests/testsupport/test_images.h"
#include "tests/window/window_fixture.h"

using namespace tarn::window;

namespace tarn::test {
namespace {

// Bound for jobs on a port that is no phone to give up, on a busy machine.
constexpr int kThreadsEndMs = 60000;

class WindowBatchTest : public WindowTest {
 protected:
  // Enabled state of every control of the lock list, in list order.
  std::vector<bool> LockListState() {
    std::vector<bool> state;
    for (int id : kControlLockList) state.push_back(Window().Control(id)->isEnabled());
    return state;
  }
  // Every control of the lock list is enabled, except the memory group's
  // parts while ALL is ticked.
  bool IdleControls() {
    for (int id : kControlLockList) {
      const bool part = id == IDC_STRATINE_UMS || id == IDC_STRATINE_OPT || id == IDC_STRATINE_CSC;
      if (part && Window().CheckBox(IDC_STRATINE_ALL)->isChecked()) {
        if (Window().Control(id)->isEnabled()) return false;
      } else if (!Window().Control(id)->isEnabled()) {
        return false;
      }
    }
    return true;
  }
  // COM3 in slot 0 and a phone binary chosen.
  CKelpa3MultiDlg& OpenWithOnePhone() {
    RegisterPort("qxcdmdm0", 3);
    CKelpa3MultiDlg& window = OpenWindow();
    window.AddImageFile(QString::fromStdString(Modem()), IMAGE_MASK_PHONE);
    return window;
  }
  QString MainBox() { return Window().Edit(IDC_MAIN_EDIT)->toPlainText(); }
  std::string Modem() {
    const auto path = dir_->Path() / "modem.bin";
    WriteBytes(path, std::vector<unsigned char>(1000, 1));
    return path.string();
  }
};

TEST_F(WindowBatchTest, RefusalsLockNothingAndSayWhy) {
  CKelpa3MultiDlg& window = OpenWindow();
  window.AddImageFile("/img/mirlane_x.tar", IMAGE_MASK_PDA);
  window.OnStart();
  EXPECT_EQ(CountLogged("No Device attached"), 1);
  EXPECT_FALSE(window.InBatch());
  EXPECT_EQ(MainBox(), QStringLiteral("e - no phone is attached\n"));
  window.close();
  EXPECT_EQ(Confirmer().asked, 0) << "an idle window closes without a question";
  CloseWindow();

  RegisterPort("qxcdmdm0", 3);
  CKelpa3MultiDlg& second = OpenWindow();
  ASSERT_TRUE(IdleControls());
  const std::vector<bool> before = LockListState();
  second.OnClear();
  second.OnStart();
  EXPECT_EQ(CountLogged("empty file names"), 1);
  EXPECT_FALSE(second.InBatch());
  EXPECT_EQ(LockListState(), before);
  EXPECT_EQ(MainBox(), QStringLiteral("e - no image is chosen\n"));

  second.AddImageFile("/img/other.tar", IMAGE_MASK_PDA);
  second.OnStart();
  EXPECT_EQ(CountLogged("Error!!!. Platform is wrong.!!!"), 1);
  EXPECT_FALSE(second.InBatch());
  EXPECT_EQ(LockListState(), before);
  EXPECT_EQ(MainBox(), QStringLiteral("e - no image is chosen\n"
                                      "e - the PDA file name names no known platform: other.tar\n"));

  // A PDA archive with nothing in it would have every phone report PASS.
  const auto empty = dir_->Path() / "mirlane_empty.tar";
  WriteBytes(empty, std::vector<unsigned char>(1024, 0));
  second.OnClear();
  second.AddImageFile(QString::fromStdString(empty.string()), IMAGE_MASK_PDA);
  second.OnStart();
  EXPECT_FALSE(second.InBatch());
  EXPECT_EQ(LockListState(), before);
  EXPECT_EQ(MainBox(), QStringLiteral("e - the PDA archive holds no files: ") + QString::fromStdString(empty.string()) +
                           QLatin1Char('\n'));

  // START's image checks: every cause, and no phone is touched.
  const auto readme = dir_->Path() / "mirlane_readme.tar";
  WriteBytes(readme, TarBytes({{"README.txt", 6, ""}}));
  second.OnClear();
  second.AddImageFile(QString::fromStdString(readme.string()), IMAGE_MASK_PDA);
  second.OnStart();
  EXPECT_FALSE(second.InBatch());
  EXPECT_EQ(LockListState(), before);
  EXPECT_EQ(MainBox(),
            QStringLiteral("e - the PDA archive ") + QString::fromStdString(readme.string()) +
                QStringLiteral(" holds files no job can send: \"README.txt\" (see IMAGES in tarn-flash(1))\n"));
}

TEST_F(WindowBatchTest, StartGivesEverySlotItsPortSlotAndOptions) {
  RegisterPort("qxcdmdm0", 3);
  RegisterPort("qxcdmdm1", 7);
  RegisterPort("qxcdmdm2", 9);
  CKelpa3MultiDlg& window = OpenWindow();
  window.RemoveDevice("COM3");  // slots 1 and 2 stay occupied
  window.AddImageFile(QString::fromStdString(Modem()), IMAGE_MASK_PHONE);
  window.CheckBox(IDC_STRATINE_ALL)->click();
  window.CheckBox(IDC_STRATINE_OPT)->click();
  window.OnStart();

  ASSERT_TRUE(window.InBatch());
  EXPECT_EQ(window.Running(), 2);
  EXPECT_EQ(LockListState(), std::vector<bool>(kControlLockList.size(), false));
  EXPECT_FALSE(window.Control(IDC_STOP)->isEnabled());
  EXPECT_EQ(window.Platform(), 0);  // only a phone image
  EXPECT_EQ(window.ImageMask(), IMAGE_MASK_PHONE);
  EXPECT_EQ(window.Options().bStratineAll, 0);
  EXPECT_EQ(window.Options().nStratineParts, 2);
  EXPECT_EQ(window.Options().bNpsMode, 0);
  EXPECT_EQ(window.Options().bBootUpdate, 1);
  for (int slot : {1, 2}) {
    const CKelpa3Engine& job = window.Engine(slot).Context();
    EXPECT_EQ(job.m_nPort, window.Port(slot));
    EXPECT_EQ(job.m_nIndex, slot);
    EXPECT_EQ(job.m_wImageMask, IMAGE_MASK_PHONE);
    EXPECT_EQ(job.m_nTotalSize, 1000);
    EXPECT_EQ(job.m_options.nStratineParts, 2);
  }
  EXPECT_EQ(window.Engine(0).Context().m_dwState, ENGINE_STATE_IDLE);

  window.OnJobMessage(WM_JOB_PASS, 1, 1);
  window.OnJobMessage(WM_JOB_PASS, 2, 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.InBatch(); }, kThreadsEndMs));
  EXPECT_TRUE(IdleControls());
  EXPECT_FALSE(window.Control(IDC_STOP)->isEnabled());
  EXPECT_TRUE(window.CheckBox(IDC_STRATINE_OPT)->isChecked());
  EXPECT_FALSE(window.CheckBox(IDC_STRATINE_ALL)->isChecked());
  EXPECT_TRUE(window.CheckBox(IDC_STRATINE_UMS)->isEnabled());
}

TEST_F(WindowBatchTest, StartResetsTheDisplaysAndClearEmptiesTheLists) {
  CKelpa3MultiDlg& window = OpenWithOnePhone();
  const auto csc = dir_->Path() / "CSC_a.tar";
  WriteBytes(csc, TarBytes({{"UK.csc", 100, ""}}));
  window.AddImageFile(QString::fromStdString(csc.string()), IMAGE_MASK_CSC);
  window.List(IDC_NATION)->setCurrentIndex(5);
  window.OnJobMessage(WM_JOB_STATE, 0, STATE_FORMAT);
  window.OnJobMessage(WM_JOB_TEXT, reinterpret_cast<WPARAM>(L"old"), 0);
  window.OnStart();
  EXPECT_TRUE(window.UpperBar(0)->WindowText().isEmpty());
  EXPECT_EQ(window.UpperBar(0)->BkColor(), RGB(255, 255, 255));
  EXPECT_TRUE(window.Edit(IDC_SLOT_EDIT0)->toPlainText().isEmpty());
  EXPECT_EQ(window.List(IDC_PHONE_LIST)->count(), 1);
  window.OnJobMessage(WM_JOB_PASS, 0, 1);

  window.OnClear();
  for (int id : {IDC_PDA_LIST, IDC_CSC_LIST, IDC_PHONE_LIST}) EXPECT_EQ(window.List(id)->count(), 0);
  for (int id : {IDC_PDA_CHECK, IDC_CSC_CHECK, IDC_PHONE_CHECK}) EXPECT_FALSE(window.CheckBox(id)->isChecked());
  EXPECT_EQ(PortLabel(0), QStringLiteral("COM3"));
  EXPECT_EQ(window.NationSelection(), 5);
  EXPECT_EQ(window.UpperBar(0)->SendMessage(PBM_GETPOS, 0, 0), 0);
}

TEST_F(WindowBatchTest, BootFormatBatchStartsAJobOnAPhoneThatArrives) {
  CKelpa3MultiDlg& window = OpenWithOnePhone();
  window.CheckBox(IDC_BOOT_FORMAT)->click();
  window.OnStart();
  ASSERT_EQ(window.Options().bBootFormat, 1);

  // Slot 0's job waits for the window to take its first message, so it is
  // alive while its phone leaves and comes back: its new job must wait.
  ASSERT_TRUE(window.JobRunning(0));
  window.RemoveDevice("COM3");
  EXPECT_EQ(window.AddDevice("COM3"), 0);
  EXPECT_EQ(CountLogged("the new job waits for it"), 1);
  EXPECT_EQ(CountLogged("Download started. Create Thread"), 0);
  EXPECT_EQ(window.Engine(0).Context().m_options.bBootFormat, 1);

  // A slot whose engine is idle starts at once, without the format step.
  RegisterPort("qxcdmdm1", 4);
  EXPECT_EQ(window.AddDevice("COM4"), 0);
  EXPECT_EQ(CountLogged("Download started. Create Thread"), 1);
  const CKelpa3Engine& job = window.Engine(1).Context();
  EXPECT_EQ(job.m_dwState, ENGINE_STATE_READY);
  EXPECT_EQ(job.m_nPort, 4);
  EXPECT_EQ(job.m_nIndex, 1);
  EXPECT_EQ(job.m_options.bBootFormat, 0);
  EXPECT_EQ(job.m_options.bBootUpdate, 1);
  EXPECT_EQ(job.m_nTotalSize, 1000) << "a restarted job gets the batch's total, as every job does";
  EXPECT_EQ(window.Running(), 2);

  // Once slot 0's first job has ended, its waiting job starts.
  EXPECT_TRUE(QTest::qWaitFor([&] { return CountLogged("Download started. Create Thread") == 2; }, kThreadsEndMs));
  EXPECT_EQ(window.Engine(0).Context().m_options.bBootFormat, 0);
  EXPECT_EQ(window.Engine(0).Context().m_nPort, 3);

  // Ports that are no phones fail every job; at the batch end the Boot
  // Format rule holds again.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window.InBatch(); }, kThreadsEndMs));
  EXPECT_TRUE(window.CheckBox(IDC_BOOT_FORMAT)->isChecked());
  EXPECT_TRUE(window.CheckBox(IDC_BOOT_UPDATE)->isChecked());
  EXPECT_FALSE(window.Control(IDC_BOOT_UPDATE)->isEnabled());
  EXPECT_TRUE(window.Control(IDC_START)->isEnabled());
}

TEST_F(WindowBatchTest, ClosingDuringABatchAsksFirst) {
  CKelpa3MultiDlg& window = OpenWithOnePhone();
  window.show();
  window.OnStart();
  ASSERT_TRUE(window.JobRunning(0));

  Confirmer().answer = false;
  window.close();
  QTest::keyClick(&window, Qt::Key_Escape);
  EXPECT_EQ(Confirmer().asked, 2);
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(window.InBatch());
  EXPECT_TRUE(window.JobRunning(0));
  // The batch goes on: the job's messages still reach the window.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window.Edit(IDC_SLOT_EDIT0)->toPlainText().isEmpty(); }, kThreadsEndMs));

  Confirmer().answer = true;
  window.close();
  EXPECT_EQ(Confirmer().asked, 3);
  EXPECT_FALSE(window.isVisible());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window.JobRunning(0); }, kThreadsEndMs));
}

TEST_F(WindowBatchTest, OrdinaryBatchOnlyGivesAnArrivingPhoneASlot) {
  CKelpa3MultiDlg& window = OpenWithOnePhone();
  window.OnStart();
  RegisterPort("qxcdmdm1", 4);
  EXPECT_EQ(window.AddDevice("COM4"), 0);
  EXPECT_EQ(window.Port(1), 4);
  EXPECT_EQ(window.Engine(1).Context().m_dwState, ENGINE_STATE_IDLE);
  EXPECT_EQ(CountLogged("Download started. Create Thread"), 0);
}

}  // namespace
}  // namespace tarn::test
