// SPDX-License-Identifier: Apache-2.0
// A progress bar that paints itself: bar, remainder and a label (by default the
// percentage) drawn across both in two colours, so the part of the label over
// the bar and the part over the background both stay readable.
//
// It is driven like a standard progress bar, through SendMessage with the
// messages of progress_messages.h, and answers each with its documented result.
//
// There is no hand-made off-screen surface: Qt composes every widget paint in
// its backing store and puts it on screen in one go, so a repaint never
// flickers. WA_OpaquePaintEvent stands for "nothing is erased first".
#pragma once

#include "controls/progress_messages.h"

#include <QBasicTimer>
#include <QString>
#include <QWidget>

class CTextProgressCtrl : public QWidget {
  Q_OBJECT

 public:
  explicit CTextProgressCtrl(QWidget* parent = nullptr);
  ~CTextProgressCtrl() override;

  // Answers every message of progress_messages.h (and WM_PAINT,
  // WM_ERASEBKGND, WM_TIMER); any other message answers 0.
  LRESULT SendMessage(UINT message, WPARAM wParam, LPARAM lParam);

  // The label's base text; the percentage follows it when shown.
  void SetWindowText(const QString& text);
  QString WindowText() const;

  // Style bits PBS_VERTICAL and PBS_MARQUEE.
  DWORD GetStyle() const;
  void ModifyStyle(DWORD remove, DWORD add);

  // Colours after CLR_DEFAULT has been resolved against the palette.
  COLORREF BarColor() const;
  COLORREF BkColor() const;
  COLORREF TextColor() const;
  COLORREF BarTextColor() const;

  // The label as it would be painted now (window text + percentage).
  QString Label() const;

  // The sweep direction of the marquee, shared by every bar (+1 or -1).
  static int MarqueeDirection();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  LRESULT SetRange(int minimum, int maximum);
  LRESULT SetPos(int position);
  LRESULT StepIt();
  LRESULT GetRange(WPARAM askMinimum, LPARAM pair) const;
  void SetMarquee(bool on, int intervalMs);
  LRESULT SetColor(COLORREF& field, LPARAM value);
  void MarqueeStep();
  int ClampLimit() const;
  double Fraction() const;
  void Redraw();

  BOOL m_showPercent = 1;
  COLORREF m_barColor = CLR_DEFAULT;
  COLORREF m_backgroundColor = CLR_DEFAULT;
  COLORREF m_textColor = CLR_DEFAULT;
  COLORREF m_barTextColor = CLR_DEFAULT;
  int m_textAlign = PROGRESS_ALIGN_CENTRE;
  int m_position = 0;
  int m_step = 10;
  int m_min = 0;
  int m_max = 100;
  int m_marqueeLength = 20;
  DWORD m_style = 0;
  QString m_text;
  QBasicTimer m_marqueeTimer;

  static int s_marqueeDirection;
};
