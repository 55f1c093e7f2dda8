// SPDX-License-Identifier: Apache-2.0
#include "controls/text_progress_ctrl.h"

#include "controls/colorref.h"
#include "controls/progress_geometry.h"

#include <QPainter>
#include <QTimerEvent>

#include <algorithm>
#include <limits>

using tarn::controls::BarLayout;
using tarn::controls::BarParts;
using tarn::controls::EdgeRect;

int CTextProgressCtrl::s_marqueeDirection = 1;

namespace {

// A zero interval would make the marquee spin on every idle pass; the
// platform's timers never fire faster than this.
constexpr int kMinimumTimerMs = 10;

int Saturate(long long value) {
  return static_cast<int>(
      std::clamp<long long>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// Old range packed into one value: minimum low 16 bits, maximum high 16 bits.
LRESULT PackRange(int minimum, int maximum) {
  return static_cast<LRESULT>((static_cast<DWORD>(minimum) & 0xFFFF) | ((static_cast<DWORD>(maximum) & 0xFFFF) << 16));
}

QColor Resolve(COLORREF stored, const QPalette& palette, QPalette::ColorRole role) {
  return stored == CLR_DEFAULT ? palette.color(role) : ToQColor(stored);
}

// A flat sunken edge: a shadow ring outside a button-face ring. Returns the
// interior left inside the two rings.
EdgeRect DrawFlatSunkenEdge(QPainter& painter, const QRect& client, const QPalette& palette) {
  painter.setBrush(Qt::NoBrush);
  painter.setPen(palette.color(QPalette::Dark));
  painter.drawRect(client.adjusted(0, 0, -1, -1));
  painter.setPen(palette.color(QPalette::Button));
  painter.drawRect(client.adjusted(1, 1, -2, -2));
  return {client.left() + 2, client.top() + 2, client.left() + client.width() - 2, client.top() + client.height() - 2};
}

void FillPart(QPainter& painter, const EdgeRect& part, const QColor& color) {
  if (!part.IsEmpty()) painter.fillRect(part.ToQRect(), color);
}

// One of the three passes of the label, clipped to one part. The label cell's
// top-left is at `at`; a vertical label is turned to read upwards.
void DrawLabelPass(QPainter& painter, const EdgeRect& part, const QPoint& at, bool vertical, const QString& label,
                   const QColor& color) {
  if (part.IsEmpty()) return;
  painter.save();
  painter.setClipRect(part.ToQRect());
  painter.setPen(color);
  const int ascent = painter.fontMetrics().ascent();
  if (vertical) {
    painter.translate(at);
    painter.rotate(-90);
    painter.drawText(QPoint(0, ascent), label);
  } else {
    painter.drawText(at + QPoint(0, ascent), label);
  }
  painter.restore();
}

}  // namespace

CTextProgressCtrl::CTextProgressCtrl(QWidget* parent) : QWidget(parent) {
  // The picture covers every pixel, so nothing is erased before a paint.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

CTextProgressCtrl::~CTextProgressCtrl() = default;

LRESULT CTextProgressCtrl::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: repaint(); return 0;
    case WM_TIMER:
      if (wParam == PROGRESS_MARQUEE_TIMER_ID) MarqueeStep();
      return 0;
    case PBM_SETRANGE: return SetRange(static_cast<int>(lParam & 0xFFFF), static_cast<int>((lParam >> 16) & 0xFFFF));
    case PBM_SETPOS: return SetPos(static_cast<int>(wParam));
    case PBM_DELTAPOS: return SetPos(Saturate(static_cast<long long>(m_position) + static_cast<int>(wParam)));
    case PBM_SETSTEP: {
      const int old = m_step;
      m_step = static_cast<int>(wParam);
      return old;
    }
    case PBM_STEPIT: return StepIt();
    case PBM_SETRANGE32: return SetRange(static_cast<int>(wParam), static_cast<int>(lParam));
    case PBM_GETRANGE: return GetRange(wParam, lParam);
    case PBM_GETPOS: return m_position;
    case PBM_SETBARCOLOR: return SetColor(m_barColor, lParam);
    case PBM_SETBKCOLOR: return SetColor(m_backgroundColor, lParam);
    case PBM_GETBARCOLOR: return BarColor();
    case PBM_GETBKCOLOR: return BkColor();
    case PBM_SETMARQUEE: SetMarquee(wParam != 0, static_cast<int>(lParam)); return static_cast<LRESULT>(wParam);
    case TPBM_SETTEXTCOLOR: return SetColor(m_textColor, lParam);
    case TPBM_GETTEXTCOLOR: return TextColor();
    case TPBM_SETBARTEXTCOLOR: return SetColor(m_barTextColor, lParam);
    case TPBM_GETBARTEXTCOLOR: return BarTextColor();
    case TPBM_SHOWPERCENT: {
      const BOOL old = m_showPercent;
      m_showPercent = wParam != 0;
      Redraw();
      return old;
    }
    case TPBM_SETTEXTALIGN: {
      const int old = m_textAlign;
      m_textAlign = static_cast<int>(wParam);
      Redraw();
      return old;
    }
    case TPBM_SETMARQUEELENGTH:
      m_marqueeLength = static_cast<int>(wParam);
      Redraw();
      return static_cast<LRESULT>(wParam);
    default: return 0;
  }
}

void CTextProgressCtrl::SetWindowText(const QString& text) {
  m_text = text;
  update();
}

QString CTextProgressCtrl::WindowText() const { return m_text; }

DWORD CTextProgressCtrl::GetStyle() const { return m_style; }

void CTextProgressCtrl::ModifyStyle(DWORD remove, DWORD add) {
  m_style = (m_style & ~remove) | add;
  update();
}

COLORREF CTextProgressCtrl::BarColor() const { return ToColorRef(Resolve(m_barColor, palette(), QPalette::Highlight)); }

COLORREF CTextProgressCtrl::BkColor() const {
  return ToColorRef(Resolve(m_backgroundColor, palette(), QPalette::Button));
}

COLORREF CTextProgressCtrl::TextColor() const {
  return ToColorRef(Resolve(m_textColor, palette(), QPalette::WindowText));
}

COLORREF CTextProgressCtrl::BarTextColor() const {
  return ToColorRef(Resolve(m_barTextColor, palette(), QPalette::Window));
}

QString CTextProgressCtrl::Label() const {
  QString label = m_text;
  if (m_showPercent) label += QString::number(tarn::controls::PercentOf(Fraction())) + QLatin1Char('%');
  return label;
}

int CTextProgressCtrl::MarqueeDirection() { return s_marqueeDirection; }

LRESULT CTextProgressCtrl::SetRange(int minimum, int maximum) {
  const LRESULT old = PackRange(m_min, m_max);
  m_min = minimum;
  m_max = maximum;
  return old;
}

LRESULT CTextProgressCtrl::SetPos(int position) {
  const int old = m_position;
  m_position = std::max(position, m_min);
  m_position = std::min(m_position, ClampLimit());
  Redraw();
  return old;
}

// A step past either end re-enters from the other end by the overshoot.
LRESULT CTextProgressCtrl::StepIt() {
  const long long next = static_cast<long long>(m_position) + m_step;
  if (next < m_min) return SetPos(Saturate(m_max - (m_min - next)));
  if (next > m_max) return SetPos(Saturate(m_min + (next - m_max)));
  return SetPos(static_cast<int>(next));
}

LRESULT CTextProgressCtrl::GetRange(WPARAM askMinimum, LPARAM pair) const {
  if (auto* range = reinterpret_cast<PBRANGE*>(pair)) {
    range->iLow = m_min;
    range->iHigh = m_max;
  }
  return askMinimum ? m_min : m_max;
}

void CTextProgressCtrl::SetMarquee(bool on, int intervalMs) {
  m_showPercent = 0;
  if (on) {
    m_style |= PBS_MARQUEE;
    m_marqueeTimer.start(std::max(intervalMs, kMinimumTimerMs), this);
  } else {
    m_marqueeTimer.stop();
    m_style &= ~PBS_MARQUEE;
  }
  Redraw();
}

LRESULT CTextProgressCtrl::SetColor(COLORREF& field, LPARAM value) {
  const COLORREF old = field;
  field = static_cast<COLORREF>(value);
  Redraw();
  return old;
}

// The direction is shared by every bar, so bars sweeping together turn
// together.
void CTextProgressCtrl::MarqueeStep() {
  const int position = m_position;
  if (s_marqueeDirection == 1 && position >= ClampLimit()) s_marqueeDirection = -1;
  else if (s_marqueeDirection == -1 && position <= m_min) s_marqueeDirection = 1;
  SetPos(position + s_marqueeDirection);
}

int CTextProgressCtrl::ClampLimit() const {
  return tarn::controls::ClampLimit(m_max, (m_style & PBS_MARQUEE) != 0, m_marqueeLength);
}

double CTextProgressCtrl::Fraction() const {
  return (static_cast<double>(m_position) - m_min) / (static_cast<double>(m_max) - m_min);
}

void CTextProgressCtrl::Redraw() { repaint(); }

void CTextProgressCtrl::timerEvent(QTimerEvent* event) {
  if (event->timerId() == m_marqueeTimer.timerId()) SendMessage(WM_TIMER, PROGRESS_MARQUEE_TIMER_ID, 0);
  else QWidget::timerEvent(event);
}

void CTextProgressCtrl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (m_min >= m_max) {
    // An empty or inverted range shows nothing but the background.
    painter.fillRect(rect(), palette().color(QPalette::Window));
    return;
  }
  const QColor text = ToQColor(TextColor());
  const QColor barText = ToQColor(BarTextColor());
  painter.setFont(font());
  const EdgeRect interior = DrawFlatSunkenEdge(painter, rect(), palette());
  const bool vertical = (m_style & PBS_VERTICAL) != 0;
  const BarLayout layout{vertical, (m_style & PBS_MARQUEE) != 0, m_marqueeLength};
  const BarParts parts = tarn::controls::SplitInterior(interior, Fraction(), layout);

  const QColor background = ToQColor(BkColor());
  if (parts.hasBefore) FillPart(painter, parts.before, background);
  FillPart(painter, parts.bar, ToQColor(BarColor()));
  if (parts.hasAfter) FillPart(painter, parts.after, background);

  const QString label = Label();
  if (label.isEmpty()) return;
  const QSize extent(painter.fontMetrics().horizontalAdvance(label), painter.fontMetrics().height());
  const QPoint at = tarn::controls::PlaceLabel(interior, extent, vertical, m_textAlign);
  if (parts.hasBefore) DrawLabelPass(painter, parts.before, at, vertical, label, text);
  DrawLabelPass(painter, parts.bar, at, vertical, label, barText);
  if (parts.hasAfter) DrawLabelPass(painter, parts.after, at, vertical, label, text);
}
