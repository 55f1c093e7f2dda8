// SPDX-License-Identifier: Apache-2.0
#include "controls/tip_window.h"
#include "controls/xtip_combo_box.h"
#include "controls/xtip_list_box.h"
#include "tests/controls/qt_app.h"

#include <QCursor>
#include <QTest>

namespace {

const QString kLongPath = QStringLiteral("/srv/images/release/PDA_full_build_with_a_rather_long_name.tar");

class XTipCombo : public QtTest {
 protected:
  void SetUp() override {
    combo = new CXTipComboBox(&window);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(1);
    combo->addItem(kLongPath);
    combo->move(10, 10);
    window.resize(800, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    textWidth = combo->fontMetrics().horizontalAdvance(kLongPath);
  }

  // Resizes the box so its text area is exactly `width` wide.
  void SetTextAreaWidth(int width) {
    combo->resize(combo->width() + width - combo->TextArea().width(), combo->height());
    ASSERT_EQ(combo->TextArea().width(), width);
  }

  const CTipWindow& Tip() const { return combo->Tip(); }

  QWidget window;
  CXTipComboBox* combo = nullptr;
  int textWidth = 0;
};

}  // namespace

TEST_F(XTipCombo, TipOnlyForTextWiderThanTheAreaLessSixPixels) {
  SetTextAreaWidth(textWidth + 6);
  combo->TipAt(QPoint(5, 5));
  EXPECT_FALSE(Tip().isVisible());

  SetTextAreaWidth(textWidth + 6 - 1);
  combo->TipAt(QPoint(5, 5));
  ASSERT_TRUE(Tip().isVisible());
  EXPECT_EQ(Tip().text(), kLongPath);
  EXPECT_EQ(Tip().pos(), combo->mapToGlobal(combo->TextArea().topLeft()) + QPoint(1, 3));

  // Wide enough again: the next move hides it.
  SetTextAreaWidth(textWidth + 40);
  combo->TipAt(QPoint(5, 5));
  EXPECT_FALSE(Tip().isVisible());
}

TEST_F(XTipCombo, DropDownButtonNeverShowsATipAndHidesAShownOne) {
  SetTextAreaWidth(textWidth / 2);
  const QRect area = combo->TextArea();
  const QPoint overButton(area.right() + 3, combo->height() / 2);
  combo->TipAt(overButton);
  EXPECT_FALSE(Tip().isVisible());
  combo->TipAt(QPoint(area.right(), 2));
  ASSERT_TRUE(Tip().isVisible());
  combo->TipAt(overButton);
  EXPECT_FALSE(Tip().isVisible());
}

TEST_F(XTipCombo, ColoursFollowTheKeyboardFocus) {
  SetTextAreaWidth(textWidth / 2);
  const QPalette& palette = combo->palette();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  combo->setFocus();
  ASSERT_TRUE(combo->hasFocus());
  combo->TipAt(QPoint(5, 5));
  EXPECT_EQ(Tip().TextColor(), palette.color(QPalette::HighlightedText));
  EXPECT_EQ(Tip().BackgroundColor(), palette.color(QPalette::Highlight));

  combo->clearFocus();
  ASSERT_FALSE(combo->hasFocus());
  combo->TipAt(QPoint(5, 5));
  EXPECT_EQ(Tip().TextColor(), palette.color(QPalette::WindowText));
  EXPECT_EQ(Tip().BackgroundColor(), palette.color(QPalette::Window));
}

TEST_F(XTipCombo, RealMouseMoveShowsTheTipAndTheCheckHidesItOnceTheCursorLeft) {
  SetTextAreaWidth(textWidth / 2);
  QTest::mouseMove(combo, QPoint(8, 8));
  ASSERT_TRUE(Tip().isVisible());

  combo->CheckTip(QPoint(8, 8));
  EXPECT_TRUE(Tip().isVisible());
  combo->CheckTip(QPoint(8, -4));
  EXPECT_FALSE(Tip().isVisible());

  // The periodic check looks at the real cursor.
  QTest::mouseMove(combo, QPoint(9, 9));
  ASSERT_TRUE(Tip().isVisible());
  QCursor::setPos(combo->mapToGlobal(QPoint(combo->width() + 50, 60)));
  QTRY_VERIFY(!Tip().isVisible());
}

TEST_F(XTipCombo, DropDownListIsATipListBox) {
  EXPECT_EQ(combo->view(), combo->DropDownList());
  EXPECT_NE(qobject_cast<CXTipListBox*>(combo->view()), nullptr);
}
