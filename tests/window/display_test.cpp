// The jobs' messages as the window shows them: bars, state texts and
// colours, message boxes, the batch count-down and the control queries.
#include <QCheckBox>
#include <QPlainTextEdit>

#include "controls/text_progress_ctrl.h"
#include "controls/xtip_combo_box.h"
#include "engine/events.h"
#include "tests/window/window_fixture.h"

using namespace tarn::window;

namespace tarn::test {
namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kNavy = RGB(0, 0, 128);
constexpr COLORREF kMaroon = RGB(128, 0, 0);
constexpr COLORREF kGreen = RGB(33, 255, 33);

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

TEST_F(WindowDisplayTest, BatchEndsWhenEveryJobHasReported) {
  RegisterPort("qxcdmdm0", 3);
  RegisterPort("qxcdmdm1", 4);
  CKelpa3MultiDlg& window = OpenWindow();
  window.AddImageFile("/img/no_such_modem.bin", kListKindPhone);
  window.OnStart();
  ASSERT_TRUE(window.InBatch());
  ASSERT_EQ(window.Running(), 2);
  EXPECT_FALSE(window.Control(IDC_START)->isEnabled());

  // The jobs' own messages wait in the queue: nothing here runs the event loop.
  SendText(WM_JOB_ERROR, L"e - failed", 0);
  EXPECT_TRUE(window.InBatch());
  EXPECT_FALSE(window.Control(IDC_START)->isEnabled());
  Send(WM_JOB_PASS, 1, 1);
  EXPECT_FALSE(window.InBatch());
  EXPECT_TRUE(window.Control(IDC_START)->isEnabled());
  EXPECT_FALSE(window.Control(IDC_STOP)->isEnabled());
  EXPECT_EQ(EditText(IDC_MAIN_EDIT), QStringLiteral("ERROR [  Device 0  ] e - failed\n"));

  // A count below zero ends nothing more.
  Send(WM_JOB_PASS, 1, 1);
  EXPECT_EQ(window.Running(), -1);
  EXPECT_FALSE(window.InBatch());
}

TEST_F(WindowDisplayTest, JobsReadTheNationAndFactoryModeThroughQueries) {
  CKelpa3MultiDlg& window = OpenWindow();
  window.List(IDC_NATION)->setCurrentIndex(6);
  EXPECT_EQ(Send(tarn::platform::WM_HOST_QUERY_CONTROL, IDC_NATION_LIST, 0), tarn::platform::ControlAnswer(6));
  EXPECT_EQ(Send(tarn::platform::WM_HOST_QUERY_CONTROL, IDC_FACTORY_MODE, 0), tarn::platform::ControlAnswer(1));
  window.CheckBox(IDC_FACTORY)->click();
  EXPECT_EQ(Send(tarn::platform::WM_HOST_QUERY_CONTROL, IDC_FACTORY_MODE, 0), tarn::platform::ControlAnswer(0));
  EXPECT_EQ(Send(tarn::platform::WM_HOST_QUERY_CONTROL, 1234, 0), 0);
}

}  // namespace
}  // namespace tarn::test
