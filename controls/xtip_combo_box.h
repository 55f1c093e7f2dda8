// SPDX-License-Identifier: Apache-2.0
// A drop-down list whose current text shows in full in a tip laid over the
// text area when it is too wide for the box; its drop-down list is a
// CXTipListBox, so long entries there get the same tip.
#pragma once

#include <QBasicTimer>
#include <QComboBox>
#include <QRect>

class CTipWindow;
class CXTipListBox;

class CXTipComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit CXTipComboBox(QWidget* parent = nullptr);
  ~CXTipComboBox() override;

  const CTipWindow& Tip() const;
  CXTipListBox* DropDownList() const;

  // The client area left of the drop-down button (widget coordinates).
  QRect TextArea() const;

  // Re-evaluates the tip for the mouse at p (widget coordinates).
  void TipAt(const QPoint& p);
  // The periodic check: hides the tip once the cursor has left the text area.
  void CheckTip(const QPoint& cursor);

  // How much narrower than the text area a text must be to fit without a tip.
  static constexpr int kTipMargin = 6;
  static constexpr int kCheckIntervalMs = 80;

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  void HideTip();

  CXTipListBox* m_list;
  CTipWindow* m_tip;
  QBasicTimer m_checkTimer;
};
