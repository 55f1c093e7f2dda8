// SPDX-License-Identifier: Apache-2.0
// The jobs' messages as the window shows them: bars, state texts and
// colours, message boxes, the batch counted per slot and the control queries.
#include <chrono>
#include <thread>

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>

#include "controls/text_progress_ctrl.h"
#include "controls/xtip_combo_box.h"
#include "engine/kelpa3_engine.h"
#include "engine/events.h"
#include "tests/testsupport/test_images.h"
#include "tests/window/window_fixture.h"
#include "window/window_log.h"

using namespace tarn::window;

namespace tarn::test {
namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kNavy = RGB(0, 0, 128);
constexpr COLORREF kMaroon = RGB(128, 0, 0);
constexpr COLORREF kGreen = RGB(33, 255, 33);
constexpr COLORREF kAmber = RGB(255, 176, 0);
// Bound for jobs on a port that is no phone to give up, on a busy machine.
constexpr int kThreadsEndMs = 60000;

class WindowDisplayTest : public WindowTest {
 protected:
  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) { return Window().OnJobMessage(message, wParam, lParam); }
  LRESULT SendText(UINT message, const wchar_t* text, int slot) {
    return Send(message, reinterpret_cast<WPARAM>(text), slot);
  }
  QString EditText(int id) { return Window().Edit(id)->toPlainText(); }
};

TEST_F(WindowDisplayTest, ProgressMovesBothBarsOfTheSlot) {
  CKelpa3MultiDlg& window = OpenWindow();
  EXPECT_EQ(Send(WM_JOB_PROGRESS, PackProgress(3, 0xEE, 50, 100), 0), 0);
  EXPECT_EQ(window.UpperBar(3)->SendMessage(PBM_GETPOS, 0, 0), 50);
  EXPECT_EQ(window.LowerBar(3)->SendMessage(PBM_GETPOS, 0, 0), 100);
  EXPECT_EQ(window.UpperBar(2)->SendMessage(PBM_GETPOS, 0, 0), 0);
  EXPECT_EQ(window.UpperBar(3)->BarColor(), kNavy);
  EXPECT_EQ(window.UpperBar(3)->BarTextColor(), kWhite);
}

TEST_F(WindowDisplayTest, StateTextsAndColours) {
  CKelpa3MultiDlg& window = OpenWindow();
  CTextProgressCtrl* bar = window.UpperBar(0);
  Send(WM_JOB_STATE, 0, STATE_FORMAT);
  EXPECT_EQ(bar->WindowText(), QStringLiteral("FORMAT!!! "));
  EXPECT_EQ(bar->TextColor(), kWhite);
  EXPECT_EQ(bar->BkColor(), kMaroon);
  EXPECT_EQ(bar->SendMessage(PBM_GETPOS, 0, 0), 0);

  Send(WM_JOB_STATE, 0, STATE_PDA_END);  // keeps the colours
  EXPECT_EQ(bar->WindowText(), QStringLiteral("PDA Done "));
  EXPECT_EQ(bar->BkColor(), kMaroon);
  EXPECT_EQ(bar->SendMessage(PBM_GETPOS, 0, 0), 100);

  Send(WM_JOB_STATE, 0, STATE_WAIT);
  EXPECT_EQ(bar->WindowText(), QStringLiteral("Booting "));
  EXPECT_EQ(bar->TextColor(), kNavy);
  EXPECT_EQ(bar->BkColor(), kWhite);

  Send(WM_JOB_STATE, 0, STATE_ERROR);
  EXPECT_EQ(bar->WindowText(), QStringLiteral("ERROR!!! "));
  EXPECT_EQ(bar->BkColor(), kMaroon);

  Send(WM_JOB_STATE, 0, 555);  // unknown codes change nothing
  EXPECT_EQ(bar->WindowText(), QStringLiteral("ERROR!!! "));
  EXPECT_EQ(Send(WM_JOB_STATE, 9, STATE_PDA_START), 0);
  EXPECT_EQ(CountLogged("Progress bar 9 Error"), 1);
}

TEST_F(WindowDisplayTest, TextAndErrorLines) {
  OpenWindow();
  EXPECT_EQ(SendText(WM_JOB_TEXT, L"Connected", 2), 0);
  EXPECT_EQ(EditText(IDC_SLOT_EDIT0 + 2), QStringLiteral("[  2  ] Connected\n"));
  EXPECT_EQ(CountLogged("[  2  ] Connected"), 1);
  EXPECT_EQ(SendText(WM_JOB_TEXT, L"lost", 8), 1);  // no such box
  // Ready-text records carry the line of their caller.
  LogReadyString(QStringLiteral("ready text"));
  const int line = __LINE__ - 1;
  EXPECT_EQ(CountLogged("Kelpa3MultiDlg(" + std::to_string(line) + ") ready text"), 1);

  EXPECT_EQ(SendText(WM_JOB_ERROR, L"e - first\nsecond", 5), 0);
  EXPECT_EQ(EditText(IDC_MAIN_EDIT), QStringLiteral("ERROR [  Device 5  ] e - first\nsecond\n"));
  EXPECT_EQ(EditText(IDC_SLOT_EDIT0 + 5), QStringLiteral("[  5  ] Error\n"));
  EXPECT_EQ(Send(WM_JOB_FILES, 3, 1), 0);
}

TEST_F(WindowDisplayTest, PassPaintsTheSlotGreen) {
  CKelpa3MultiDlg& window = OpenWindow();
  EXPECT_EQ(Send(WM_JOB_PASS, 6, 4), 0);
  EXPECT_EQ(CountLogged(">>> End Event : 6 Count 4"), 1);
  CTextProgressCtrl* bar = window.UpperBar(6);
  EXPECT_EQ(bar->WindowText(), QStringLiteral("PASS  "));
  EXPECT_EQ(bar->BarColor(), kGreen);
  EXPECT_EQ(bar->BarTextColor(), kNavy);
  EXPECT_EQ(bar->SendMessage(PBM_GETPOS, 0, 0), 100);
  EXPECT_EQ(window.LowerBar(6)->SendMessage(PBM_GETPOS, 0, 0), 100);
}

TEST_F(WindowDisplayTest, BatchCountsEachSlotOnceAndEndsAfterItsThreads) {
  CKelpa3MultiDlg& window = OpenWithTwoPorts();
  window.OnStart();
  ASSERT_TRUE(window.InBatch());
  ASSERT_EQ(window.Running(), 2);
  EXPECT_FALSE(window.Control(IDC_START)->isEnabled());

  // The jobs' own messages wait in the queue: nothing here runs the event
  // loop, so both job threads are alive until the wait at the end.
  // Slot 0 reports its own error and then the one that ends its job: one outcome.
  SendText(WM_JOB_ERROR, L"e - failed", 0);
  SendText(WM_JOB_ERROR, L"e - usb is disconnected!!", 0);
  EXPECT_EQ(window.Running(), 1);
  EXPECT_TRUE(window.InBatch());
  EXPECT_FALSE(window.Control(IDC_START)->isEnabled());
  Send(WM_JOB_PASS, 1, 1);
  EXPECT_EQ(window.Running(), 0);
  EXPECT_EQ(EditText(IDC_MAIN_EDIT), QStringLiteral("ERROR [  Device 0  ] e - failed\n"
                                                    "ERROR [  Device 0  ] e - usb is disconnected!!\n"));

  // Every outcome is in but the threads still run: START stays locked, and
  // a START that gets through anyway leaves the running engines alone.
  EXPECT_TRUE(window.InBatch());
  EXPECT_FALSE(window.Control(IDC_START)->isEnabled());
  const CKelpa3Engine& job = window.Engine(1).Context();
  ASSERT_TRUE(window.JobRunning(1));
  const std::shared_ptr<tarn::platform::CThread> thread = job.m_pThread;
  window.OnStart();
  EXPECT_EQ(job.m_pThread, thread);
  EXPECT_TRUE(EditText(IDC_MAIN_EDIT).endsWith(QStringLiteral("e - the jobs of the last START are still running\n")));

  EXPECT_TRUE(QTest::qWaitFor([&] { return !window.InBatch(); }, kThreadsEndMs));
  EXPECT_FALSE(window.JobRunning(0));
  EXPECT_FALSE(window.JobRunning(1));
  EXPECT_TRUE(window.Control(IDC_START)->isEnabled());
  EXPECT_FALSE(window.Control(IDC_STOP)->isEnabled());
  // The jobs' own final messages came in meanwhile and counted nothing.
  EXPECT_EQ(window.Running(), 0);
}

// A stopped slot shows STOPPED in amber, whether its job said so or was
// stopped at once without a word; the batch's end counts its outcomes, and
// each slot keeps its passes and failures over the batches.
TEST_F(WindowDisplayTest, StoppedSlotsLookStoppedAndEachSlotCountsItsDay) {
  CKelpa3MultiDlg& window = OpenWithTwoPorts();
  EXPECT_EQ(window.DayCount(0)->text(), QStringLiteral("P 0 / F 0"));

  // Slot 1 stops at a command boundary; slot 0 fails, as a port that is no
  // phone makes it, after its job reported an error as a text.
  window.OnStart();
  ASSERT_TRUE(window.InBatch());
  SendText(WM_JOB_TEXT, L"e - Command 0 Failed. result 255\n", 0);
  SendText(WM_JOB_ERROR, kJobStoppedText, 1);
  CTextProgressCtrl* bar = window.UpperBar(1);
  EXPECT_EQ(bar->WindowText(), QStringLiteral("STOPPED "));
  EXPECT_EQ(bar->BkColor(), kAmber);
  EXPECT_EQ(bar->TextColor(), kNavy);
  EXPECT_TRUE(EditText(IDC_MAIN_EDIT).startsWith(QStringLiteral("ERROR [  Device 1  ] e - stopped by the operator\n")));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.InBatch(); }, kThreadsEndMs));
  // The counts, then why the failed slot failed: its first error, not the
  // error that closed its job.
  EXPECT_TRUE(EditText(IDC_MAIN_EDIT)
                  .endsWith(QStringLiteral("\n2 phones: 0 passed, 1 failed, 1 stopped\n"
                                           "  Device 0: e - Command 0 Failed. result 255\n")))
      << EditText(IDC_MAIN_EDIT).toStdString();
  EXPECT_EQ(bar->WindowText(), QStringLiteral("STOPPED "));
  EXPECT_EQ(window.DayCount(0)->text(), QStringLiteral("P 0 / F 1"));
  EXPECT_EQ(window.DayCount(1)->text(), QStringLiteral("P 0 / F 0"));

  // Slot 0 passes; slot 1 is stopped at once before its job says anything.
  window.OnStart();
  ASSERT_TRUE(window.InBatch());
  Send(WM_JOB_PASS, 0, 1);
  window.StopJobsForExit();
  // No event loop runs here, so no message of the stopped jobs is handled.
  const auto threadsEnded = [&] { return !window.JobRunning(0) && !window.JobRunning(1); };
  for (int waited = 0; waited < kThreadsEndMs && !threadsEnded(); waited += 10) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(threadsEnded());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.InBatch(); }, kThreadsEndMs));
  EXPECT_EQ(EditText(IDC_MAIN_EDIT), QStringLiteral("2 phones: 1 passed, 0 failed, 1 stopped\n"));
  EXPECT_EQ(window.UpperBar(0)->WindowText(), QStringLiteral("PASS  "));
  EXPECT_EQ(bar->WindowText(), QStringLiteral("STOPPED "));
  EXPECT_EQ(bar->BkColor(), kAmber);
  EXPECT_EQ(window.DayCount(0)->text(), QStringLiteral("P 1 / F 1"));
  const QString tip = QStringLiteral("Since the window opened: 1 passed, 1 failed");
  EXPECT_EQ(window.DayCount(0)->toolTip(), tip);
  EXPECT_EQ(window.Control(IDC_PORT_LABEL0)->toolTip(), tip);
  EXPECT_EQ(window.DayCount(1)->text(), QStringLiteral("P 0 / F 0"));
  // The counter fits its corner beside the port label.
  EXPECT_LE(window.DayCount(0)->sizeHint().width(), window.DayCount(0)->width());
  EXPECT_LE(window.DayCount(0)->geometry().right(), window.Control(IDC_PORT_LABEL0)->geometry().left());
}

TEST_F(WindowDisplayTest, JobsReadTheNationAndFactoryModeThroughQueries) {
  CKelpa3MultiDlg& window = OpenWindow();
  window.List(IDC_NATION)->setCurrentIndex(6);
  using tarn::platform::ControlAnswer;
  using tarn::platform::WM_HOST_QUERY_CONTROL;
  EXPECT_EQ(Send(WM_HOST_QUERY_CONTROL, JOB_QUESTION_NATION, 0), ControlAnswer(6));
  EXPECT_EQ(Send(WM_HOST_QUERY_CONTROL, JOB_QUESTION_FACTORY_MODE, 0), ControlAnswer(1));
  window.CheckBox(IDC_FACTORY)->click();
  EXPECT_EQ(Send(WM_HOST_QUERY_CONTROL, JOB_QUESTION_FACTORY_MODE, 0), ControlAnswer(0));
  EXPECT_EQ(Send(WM_HOST_QUERY_CONTROL, 1234, 0), 0);
}

}  // namespace
}  // namespace tarn::test
