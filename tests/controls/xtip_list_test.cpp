// SPDX-License-Identifier: Apache-2.0
#include "controls/tip_window.h"
#include "controls/xtip_list_box.h"
#include "tests/controls/qt_app.h"

#include <QStringListModel>
#include <QTest>

namespace {

const QString kLong = QStringLiteral("Zudarida_NETHERLANDS_with_a_much_longer_suffix");

class XTipList : public QtTest {
 protected:
  void SetUp() override {
    model.setStringList({QStringLiteral("a"), kLong, QStringLiteral("b")});
    list = new CXTipListBox(&window);
    list->setModel(&model);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->move(10, 10);
    list->resize(200, 150);
    window.resize(800, 300);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    textWidth = list->fontMetrics().horizontalAdvance(kLong);
  }

  // Makes the box show exactly `width` pixels of each entry.
  void SetVisibleWidth(int width) {
    list->resize(list->width() + width - list->viewport()->width(), list->height());
    QCoreApplication::processEvents();
    ASSERT_EQ(list->viewport()->width(), width);
    ASSERT_GE(list->visualRect(model.index(1)).right(), list->viewport()->rect().right());
  }

  QPoint LongEntry() const { return list->visualRect(model.index(1)).topLeft() + QPoint(4, 2); }
  const CTipWindow& Tip() const { return list->Tip(); }

  QWidget window;
  QStringListModel model;
  CXTipListBox* list = nullptr;
  int textWidth = 0;
};

}  // namespace

TEST_F(XTipList, TipOnlyForEntriesWiderThanTheBoxLessThreePixels) {
  SetVisibleWidth(textWidth + 3);
  list->TipAt(LongEntry());
  EXPECT_FALSE(Tip().isVisible());

  SetVisibleWidth(textWidth + 3 - 1);
  list->TipAt(LongEntry());
  ASSERT_TRUE(Tip().isVisible());
  EXPECT_EQ(Tip().text(), kLong);
  EXPECT_EQ(Tip().pos(), list->viewport()->mapToGlobal(list->visualRect(model.index(1)).topLeft()));
  // Laid over the entry in the highlight colours.
  EXPECT_EQ(Tip().BackgroundColor(), list->palette().color(QPalette::Highlight));
  EXPECT_EQ(Tip().frameStyle(), int(QFrame::NoFrame));

  // A short entry hides it again.
  list->TipAt(list->visualRect(model.index(0)).center());
  EXPECT_FALSE(Tip().isVisible());
}

TEST_F(XTipList, EmptySpaceBelowTheEntriesKeepsTheTipUntilTheMouseLeaves) {
  SetVisibleWidth(textWidth / 2);
  list->TipAt(LongEntry());
  ASSERT_TRUE(Tip().isVisible());
  const QPoint below(5, list->visualRect(model.index(2)).bottom() + 20);
  ASSERT_LT(below.y(), list->viewport()->height());
  list->TipAt(below);
  EXPECT_TRUE(Tip().isVisible());
  list->CheckTip(below);
  EXPECT_TRUE(Tip().isVisible());

  list->TipAt(QPoint(-1, 5));
  EXPECT_FALSE(Tip().isVisible());
}

TEST_F(XTipList, HiddenBoxLosesItsTipAtTheNextCheck) {
  SetVisibleWidth(textWidth / 2);
  QTest::mouseMove(list->viewport(), LongEntry());
  ASSERT_TRUE(Tip().isVisible());
  list->hide();
  list->CheckTip(LongEntry());
  EXPECT_FALSE(Tip().isVisible());
}
