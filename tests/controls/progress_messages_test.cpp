// SPDX-License-Identifier: Apache-2.0
#include "controls/colorref.h"
#include "controls/text_progress_ctrl.h"
#include "tests/controls/qt_app.h"

#include <QPalette>
#include <QTest>

namespace {

class ProgressMessages : public QtTest {
 protected:
  LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) { return bar.SendMessage(message, wParam, lParam); }
  int Pos() { return static_cast<int>(Send(PBM_GETPOS)); }
  static WPARAM Signed(int value) { return static_cast<WPARAM>(static_cast<LPARAM>(value)); }

  CTextProgressCtrl bar;
};

LPARAM MakeRange(int low, int high) {
  return static_cast<LPARAM>((static_cast<DWORD>(low) & 0xFFFF) | (static_cast<DWORD>(high) << 16));
}

}  // namespace

TEST_F(ProgressMessages, RangeMessagesAnswerTheOldRangePackedIn16Bits) {
  EXPECT_EQ(Send(PBM_SETRANGE, 0, MakeRange(10, 65535)), MakeRange(0, 100));
  EXPECT_EQ(Send(PBM_GETRANGE, 1, 0), 10);
  EXPECT_EQ(Send(PBM_GETRANGE, 0, 0), 65535);

  EXPECT_EQ(Send(PBM_SETRANGE32, Signed(-5), 70000), MakeRange(10, 65535));
  PBRANGE pair{0, 0};
  EXPECT_EQ(Send(PBM_GETRANGE, 0, reinterpret_cast<LPARAM>(&pair)), 70000);
  EXPECT_EQ(pair.iLow, -5);
  EXPECT_EQ(pair.iHigh, 70000);
  // The old 32-bit values are cut to 16 bits each in the answer.
  EXPECT_EQ(Send(PBM_SETRANGE, 0, MakeRange(0, 100)), MakeRange(0xFFFB, 70000 & 0xFFFF));
}

TEST_F(ProgressMessages, PositionIsClampedAndTheOldOneAnswered) {
  EXPECT_EQ(Send(PBM_SETPOS, 50), 0);
  EXPECT_EQ(Send(PBM_SETPOS, Signed(-7)), 50);
  EXPECT_EQ(Pos(), 0);
  EXPECT_EQ(Send(PBM_SETPOS, 250), 0);
  EXPECT_EQ(Pos(), 100);
  EXPECT_EQ(Send(PBM_DELTAPOS, Signed(-30)), 100);
  EXPECT_EQ(Pos(), 70);
  EXPECT_EQ(Send(PBM_DELTAPOS, 45), 70);
  EXPECT_EQ(Pos(), 100);
  // A range change leaves the position alone.
  Send(PBM_SETRANGE32, 0, 50);
  EXPECT_EQ(Pos(), 100);
}

TEST_F(ProgressMessages, StepWrapsPastEitherEndByTheOvershoot) {
  EXPECT_EQ(Send(PBM_SETSTEP, 7), 10);
  EXPECT_EQ(Send(PBM_SETSTEP, 10), 7);
  Send(PBM_SETPOS, 95);
  EXPECT_EQ(Send(PBM_STEPIT), 95);
  EXPECT_EQ(Pos(), 5);
  EXPECT_EQ(Send(PBM_STEPIT), 5);
  EXPECT_EQ(Pos(), 15);

  Send(PBM_SETSTEP, Signed(-10));
  Send(PBM_SETPOS, 3);
  EXPECT_EQ(Send(PBM_STEPIT), 3);
  EXPECT_EQ(Pos(), 93);

  // Exactly onto an end is not past it.
  Send(PBM_SETSTEP, 7);
  EXPECT_EQ(Send(PBM_STEPIT), 93);
  EXPECT_EQ(Pos(), 100);
}

TEST_F(ProgressMessages, ColoursAnswerTheStoredValueAndReadBackResolved) {
  const QPalette& palette = bar.palette();
  const COLORREF navy = RGB(0, 0, 128);
  EXPECT_EQ(Send(PBM_SETBARCOLOR, 0, navy), static_cast<LRESULT>(CLR_DEFAULT));
  EXPECT_EQ(Send(PBM_GETBARCOLOR), static_cast<LRESULT>(navy));
  EXPECT_EQ(Send(PBM_SETBARCOLOR, 0, CLR_DEFAULT), static_cast<LRESULT>(navy));
  EXPECT_EQ(Send(PBM_GETBARCOLOR), static_cast<LRESULT>(ToColorRef(palette.color(QPalette::Highlight))));

  EXPECT_EQ(Send(PBM_GETBKCOLOR), static_cast<LRESULT>(ToColorRef(palette.color(QPalette::Button))));
  EXPECT_EQ(Send(TPBM_GETTEXTCOLOR), static_cast<LRESULT>(ToColorRef(palette.color(QPalette::WindowText))));
  EXPECT_EQ(Send(TPBM_GETBARTEXTCOLOR), static_cast<LRESULT>(ToColorRef(palette.color(QPalette::Window))));

  EXPECT_EQ(Send(PBM_SETBKCOLOR, 0, 0xFFFFFF), static_cast<LRESULT>(CLR_DEFAULT));
  EXPECT_EQ(Send(PBM_SETBKCOLOR, 0, 0x80), 0xFFFFFF);
  EXPECT_EQ(Send(PBM_GETBKCOLOR), 0x80);
  EXPECT_EQ(Send(TPBM_SETTEXTCOLOR, 0, 0x21FF21), static_cast<LRESULT>(CLR_DEFAULT));
  EXPECT_EQ(Send(TPBM_GETTEXTCOLOR), 0x21FF21);
  EXPECT_EQ(Send(TPBM_SETBARTEXTCOLOR, 0, 0x010203), static_cast<LRESULT>(CLR_DEFAULT));
  EXPECT_EQ(Send(TPBM_GETBARTEXTCOLOR), 0x010203);
}

TEST_F(ProgressMessages, LabelIsWindowTextAndRoundedPercentage) {
  Send(PBM_SETPOS, 50);
  EXPECT_EQ(bar.Label(), QStringLiteral("50%"));
  bar.SetWindowText(QStringLiteral("PASS  "));
  EXPECT_EQ(bar.WindowText(), QStringLiteral("PASS  "));
  EXPECT_EQ(bar.Label(), QStringLiteral("PASS  50%"));

  Send(PBM_SETRANGE, 0, MakeRange(0, 3));
  Send(PBM_SETPOS, 1);
  EXPECT_EQ(bar.Label(), QStringLiteral("PASS  33%"));
  Send(PBM_SETPOS, 2);
  EXPECT_EQ(bar.Label(), QStringLiteral("PASS  67%"));

  EXPECT_EQ(Send(TPBM_SHOWPERCENT, 0), 1);
  EXPECT_EQ(bar.Label(), QStringLiteral("PASS  "));
  EXPECT_EQ(Send(TPBM_SHOWPERCENT, 5), 0);
  EXPECT_EQ(Send(TPBM_SETTEXTALIGN, 2), PROGRESS_ALIGN_CENTRE);
  EXPECT_EQ(Send(TPBM_SETTEXTALIGN, 0), 2);
}

TEST_F(ProgressMessages, MarqueeHidesThePercentageForGoodAndExtendsTheClampLimit) {
  EXPECT_EQ(Send(PBM_SETMARQUEE, 1, 100000), 1);
  EXPECT_TRUE(bar.GetStyle() & PBS_MARQUEE);
  EXPECT_EQ(bar.Label(), QString());
  // (20 + 100) × 100 / 100: the block can run fully off the end.
  Send(PBM_SETPOS, 1000);
  EXPECT_EQ(Pos(), 120);
  EXPECT_EQ(Send(TPBM_SETMARQUEELENGTH, 50), 50);
  Send(PBM_SETPOS, 1000);
  EXPECT_EQ(Pos(), 150);

  EXPECT_EQ(Send(PBM_SETMARQUEE, 0, 0), 0);
  EXPECT_FALSE(bar.GetStyle() & PBS_MARQUEE);
  EXPECT_EQ(bar.Label(), QString());
  Send(PBM_SETPOS, 1000);
  EXPECT_EQ(Pos(), 100);
}

TEST_F(ProgressMessages, MarqueeTimerSweepsAndTurnsInOneSharedDirection) {
  CTextProgressCtrl other;
  for (CTextProgressCtrl* each : {&bar, &other}) {
    each->SendMessage(PBM_SETMARQUEE, 1, 100000);
    each->SendMessage(TPBM_SETMARQUEELENGTH, 10, 0);
  }
  // A tick at the minimum always leaves the direction forwards.
  Send(WM_TIMER, PROGRESS_MARQUEE_TIMER_ID);
  EXPECT_EQ(CTextProgressCtrl::MarqueeDirection(), 1);
  EXPECT_EQ(Pos(), 1);

  // Other timer ids do nothing.
  EXPECT_EQ(Send(WM_TIMER, 2), 0);
  EXPECT_EQ(Pos(), 1);

  // The other bar reaches its limit (110) and turns the sweep for both.
  other.SendMessage(PBM_SETPOS, 110, 0);
  other.SendMessage(WM_TIMER, PROGRESS_MARQUEE_TIMER_ID, 0);
  EXPECT_EQ(CTextProgressCtrl::MarqueeDirection(), -1);
  EXPECT_EQ(other.SendMessage(PBM_GETPOS, 0, 0), 109);
  Send(PBM_SETPOS, 50);
  Send(WM_TIMER, PROGRESS_MARQUEE_TIMER_ID);
  EXPECT_EQ(Pos(), 49);

  Send(PBM_SETPOS, 0);
  Send(WM_TIMER, PROGRESS_MARQUEE_TIMER_ID);
  EXPECT_EQ(CTextProgressCtrl::MarqueeDirection(), 1);
  EXPECT_EQ(Pos(), 1);
}

TEST_F(ProgressMessages, PaintMessagesAnswerTheirFixedResults) {
  EXPECT_EQ(Send(WM_ERASEBKGND), 1);
  EXPECT_EQ(Send(WM_PAINT), 0);
  EXPECT_EQ(Send(0x7FFF), 0);
}

TEST_F(ProgressMessages, MarqueeTimerRunsUntilTurnedOff) {
  Send(PBM_SETMARQUEE, 1, 100000);
  Send(WM_TIMER, PROGRESS_MARQUEE_TIMER_ID);  // sweep forwards from the minimum
  Send(PBM_SETMARQUEE, 1, 10);
  QTRY_VERIFY(Pos() >= 4);
  Send(PBM_SETMARQUEE, 0, 0);
  const int stopped = Pos();
  QTest::qWait(50);
  EXPECT_EQ(Pos(), stopped);
}
