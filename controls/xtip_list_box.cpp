// SPDX-License-Identifier: Apache-2.0
#include "controls/xtip_list_box.h"

#include "controls/tip_window.h"

#include <QCursor>
#include <QMouseEvent>
#include <QTimerEvent>

#include <algorithm>

CXTipListBox::CXTipListBox(QWidget* parent) : QListView(parent), m_tip(new CTipWindow(this, false)) {
  m_tip->SetColors(palette().color(QPalette::HighlightedText), palette().color(QPalette::Highlight));
  // Item views get mouse moves on their viewport only while tracking.
  setMouseTracking(true);
}

CXTipListBox::~CXTipListBox() = default;

const CTipWindow& CXTipListBox::Tip() const { return *m_tip; }

void CXTipListBox::TipAt(const QPoint& p) {
  if (!viewport()->rect().contains(p)) {
    HideTip();
    return;
  }
  // Below the last entry nothing changes: a tip already shown stays until
  // the mouse leaves the box.
  const QModelIndex entry = indexAt(p);
  if (!entry.isValid()) return;
  const QString text = entry.data(Qt::DisplayRole).toString();
  // An entry wider than the box makes the view's content wider too; what
  // counts is the part of the entry the box shows.
  QRect area = visualRect(entry);
  area.setRight(std::min(area.right(), viewport()->rect().right()));
  if (m_tip->ShowIfClipped(text, area.width() - kTipMargin, viewport()->mapToGlobal(area.topLeft())))
    m_checkTimer.start(kCheckIntervalMs, this);
}

void CXTipListBox::CheckTip(const QPoint& cursor) {
  if (viewport()->rect().contains(cursor) && isVisible()) return;
  m_checkTimer.stop();
  HideTip();
}

void CXTipListBox::mouseMoveEvent(QMouseEvent* event) {
  TipAt(event->position().toPoint());
  QListView::mouseMoveEvent(event);
}

void CXTipListBox::timerEvent(QTimerEvent* event) {
  if (event->timerId() == m_checkTimer.timerId()) CheckTip(viewport()->mapFromGlobal(QCursor::pos()));
  else QListView::timerEvent(event);
}

void CXTipListBox::HideTip() { m_tip->Deactivate(); }
