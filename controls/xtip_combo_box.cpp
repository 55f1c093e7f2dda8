// SPDX-License-Identifier: Apache-2.0
#include "controls/xtip_combo_box.h"

#include "controls/tip_window.h"
#include "controls/xtip_list_box.h"

#include <QCursor>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTimerEvent>

namespace {

// The tip's text lines up with the text inside the box.
const QPoint kTipOffset(1, 3);

// Gap kept between the text area and the drop-down button.
constexpr int kButtonGap = 2;

}  // namespace

CXTipComboBox::CXTipComboBox(QWidget* parent)
    : QComboBox(parent), m_list(new CXTipListBox), m_tip(new CTipWindow(this, true)) {
  // The drop-down list exists from the start here, so it is attached at
  // once rather than when it first asks for its colours.
  setView(m_list);
  m_tip->SetColors(palette().color(QPalette::HighlightedText), palette().color(QPalette::Highlight));
  setMouseTracking(true);
}

CXTipComboBox::~CXTipComboBox() = default;

const CTipWindow& CXTipComboBox::Tip() const { return *m_tip; }

CXTipListBox* CXTipComboBox::DropDownList() const { return m_list; }

QRect CXTipComboBox::TextArea() const {
  QStyleOptionComboBox option;
  initStyleOption(&option);
  const QRect button = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, this);
  QRect area = rect();
  area.setRight(area.right() - (button.width() + kButtonGap));
  return area;
}

void CXTipComboBox::TipAt(const QPoint& p) {
  const QRect area = TextArea();
  if (!area.contains(p)) {
    HideTip();
    return;
  }
  const QPalette& colors = palette();
  if (hasFocus()) m_tip->SetColors(colors.color(QPalette::HighlightedText), colors.color(QPalette::Highlight));
  else m_tip->SetColors(colors.color(QPalette::WindowText), colors.color(QPalette::Window));
  if (m_tip->ShowIfClipped(currentText(), area.width() - kTipMargin, mapToGlobal(area.topLeft()) + kTipOffset))
    m_checkTimer.start(kCheckIntervalMs, this);
}

void CXTipComboBox::CheckTip(const QPoint& cursor) {
  if (TextArea().contains(cursor)) return;
  m_checkTimer.stop();
  HideTip();
}

void CXTipComboBox::mouseMoveEvent(QMouseEvent* event) {
  TipAt(event->position().toPoint());
  QComboBox::mouseMoveEvent(event);
}

void CXTipComboBox::timerEvent(QTimerEvent* event) {
  if (event->timerId() == m_checkTimer.timerId()) CheckTip(mapFromGlobal(QCursor::pos()));
  else QComboBox::timerEvent(event);
}

void CXTipComboBox::HideTip() { m_tip->Deactivate(); }
