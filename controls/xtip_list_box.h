// SPDX-License-Identifier: Apache-2.0
// A list box that shows the full text of an entry in a tip laid exactly over
// the entry when the entry is too wide for the box. The tip appears as soon as
// the mouse rests on such an entry and goes when the mouse leaves the box or
// the box is hidden. A combo box uses it as its drop-down list.
#pragma once

#include <QBasicTimer>
#include <QListView>

class CTipWindow;

class CXTipListBox : public QListView {
  Q_OBJECT

 public:
  explicit CXTipListBox(QWidget* parent = nullptr);
  ~CXTipListBox() override;

  // The tip, for whoever needs to look at it (tests, accessibility).
  const CTipWindow& Tip() const;

  // Re-evaluates the tip for the mouse at p (viewport coordinates).
  void TipAt(const QPoint& p);
  // The periodic check: hides the tip once the cursor (viewport
  // coordinates) has left the box or the box is hidden.
  void CheckTip(const QPoint& cursor);

  // How much narrower than the entry a text must be to fit without a tip.
  static constexpr int kTipMargin = 3;
  // Interval of the check that hides the tip after the mouse has left.
  static constexpr int kCheckIntervalMs = 80;

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  void HideTip();

  CTipWindow* m_tip;
  QBasicTimer m_checkTimer;
};
