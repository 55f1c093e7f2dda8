// SPDX-License-Identifier: Apache-2.0
// The jobs' messages: each slot's bars and message box, the main message box
// and each slot's final outcome. Handlers run on the window's thread while the
// sending job waits, so none of them ever waits for a job.
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>

#include "controls/text_progress_ctrl.h"
#include "engine/events.h"
#include "host/job_event.h"
#include "window/dialog_units.h"
#include "window/kelpa3_multi_dlg.h"
#include "window/window_log.h"

using namespace tarn::window;
using tarn::host::JobEvent;
using tarn::host::JobEventKind;

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kNavy = RGB(0, 0, 128);
constexpr COLORREF kMaroon = RGB(128, 0, 0);
constexpr COLORREF kGreen = RGB(33, 255, 33);
// A stopped slot neither failed nor passed: neither maroon nor green, and
// navy text reads on it.
constexpr COLORREF kAmber = RGB(255, 176, 0);

struct StateLook {
  int code;
  const char* text;
  bool setsColours;  // false: colours stay as they are
  COLORREF text_colour;
  COLORREF background;
  int position;
};

constexpr StateLook kStateLooks[] = {
    {STATE_PDA_START, "PDA ", true, kNavy, kWhite, 0},
    {STATE_PDA_END, "PDA Done ", false, 0, 0, 100},
    {STATE_PHONE_START, "Phone ", false, 0, 0, 0},
    {STATE_PHONE_END, "Phone Done ", false, 0, 0, 100},
    {STATE_PHONE_UPDATE, "Phone update ", true, kWhite, kMaroon, 0},
    {STATE_REBOOT, "REBOOT ", true, kNavy, kWhite, 0},
    {STATE_FORMAT, "FORMAT!!! ", true, kWhite, kMaroon, 0},
    {STATE_WAIT, "Booting ", true, kNavy, kWhite, 0},
    {STATE_ERROR, "ERROR!!! ", true, kWhite, kMaroon, 0},
};

bool ValidSlot(int slot) { return slot >= 0 && slot < kSlotCount; }

// The free corner left of each slot's port label, in dialog units.
QRect DayCountPlace(int slot, const DialogBaseUnits& base) {
  return DluRectToPixels(10 + 66 * slot, 132, 27, 13, base);
}

// The words while they fit the counter's corner; a station's long day
// shortens them to passes/failures, and the tooltip keeps the words.
QString DayCountText(const QLabel& label, int passes, int failures) {
  const QString words = QStringLiteral("P %1 / F %2").arg(passes).arg(failures);
  if (label.fontMetrics().horizontalAdvance(words) <= label.contentsRect().width()) return words;
  return QStringLiteral("%1/%2").arg(passes).arg(failures);
}

}  // namespace

LRESULT CKelpa3MultiDlg::OnJobMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == tarn::platform::WM_HOST_QUERY_CONTROL) return tarn::host::AnswerJobQuestion(*this, wParam);
  const JobEvent event = tarn::host::DecodeJobMessage(message, wParam, lParam);
  switch (event.kind) {
    case JobEventKind::Progress: return OnJobProgress(event);
    case JobEventKind::Text: return OnJobText(event.text, event.slot);
    case JobEventKind::Error: return OnJobError(event.text, event.slot);
    case JobEventKind::State: return OnJobState(event.slot, event.state);
    case JobEventKind::Pass: return OnJobPass(event.slot, event.filesDone);
    default: return 0;
  }
}

std::optional<int> CKelpa3MultiDlg::Nation() const { return NationSelection(); }

std::optional<bool> CKelpa3MultiDlg::FactoryMode() const { return CheckBox(IDC_FACTORY)->isChecked(); }

LRESULT CKelpa3MultiDlg::OnJobProgress(const JobEvent& progress) {
  const int slot = progress.slot;
  if (!ValidSlot(slot)) return 0;  // a slot byte from no job of ours
  m_overall[slot] = progress.overall;
  const struct {
    CTextProgressCtrl* bar;
    int percent;
  } bars[] = {{UpperBar(slot), progress.file}, {LowerBar(slot), progress.overall}};
  for (const auto& [bar, percent] : bars) {
    bar->SendMessage(PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    bar->SendMessage(TPBM_SETBARTEXTCOLOR, 0, kWhite);
    bar->SendMessage(PBM_SETBARCOLOR, 0, kNavy);
  }
  return 0;
}

LRESULT CKelpa3MultiDlg::OnJobText(const wchar_t* text, int slot) {
  // An error a job reports as a text may be the slot's reason.
  if (ValidSlot(slot)) m_batch.JobText(slot, text);
  const QString line = QStringLiteral("[  %1  ] ").arg(slot) + QString::fromWCharArray(text);
  QPlainTextEdit* edit = ValidSlot(slot) ? Edit(IDC_SLOT_EDIT0 + slot) : nullptr;
  if (!edit) {
    TLOG_WINDOW(L"Edit %d is null.\n", IDC_SLOT_EDIT0 + slot);
    return 1;
  }
  AppendLine(edit, line);
  LogReadyString(line);
  return 0;
}

LRESULT CKelpa3MultiDlg::OnJobError(const wchar_t* text, int slot) {
  FinishSlot(slot, text ? text : L"");
  if (ValidSlot(slot) && m_batch.Result(slot) == tarn::host::SlotResult::Stopped) ShowStopped(slot);
  const QString line = QStringLiteral("ERROR [  Device %1  ] ").arg(slot) + QString::fromWCharArray(text);
  QPlainTextEdit* main = Edit(IDC_MAIN_EDIT);
  if (!main) {
    TLOG_WINDOW(L"Edit %d is null.\n", IDC_MAIN_EDIT);
    return 1;
  }
  AppendLine(main, line);
  LogReadyString(line);
  QPlainTextEdit* edit = ValidSlot(slot) ? Edit(IDC_SLOT_EDIT0 + slot) : nullptr;
  if (!edit) {
    TLOG_WINDOW(L"Edit %d is null.\n", IDC_SLOT_EDIT0 + slot);
    return 1;
  }
  AppendLine(edit, QStringLiteral("[  %1  ] Error").arg(slot));
  return 0;
}

LRESULT CKelpa3MultiDlg::OnJobState(int slot, int code) {
  CTextProgressCtrl* bar = ValidSlot(slot) ? UpperBar(slot) : nullptr;
  if (!bar) {
    TLOG_WINDOW(L"Progress bar %d Error\n", slot);
    return 0;
  }
  for (const StateLook& look : kStateLooks) {
    if (look.code != code) continue;
    bar->SetWindowText(QString::fromLatin1(look.text));
    if (look.setsColours) {
      bar->SendMessage(TPBM_SETTEXTCOLOR, 0, look.text_colour);
      bar->SendMessage(PBM_SETBKCOLOR, 0, look.background);
    }
    bar->SendMessage(PBM_SETPOS, static_cast<WPARAM>(look.position), 0);
    break;
  }
  return 0;
}

LRESULT CKelpa3MultiDlg::OnJobPass(int slot, int filesDone) {
  TLOG_WINDOW(L">>> End Event : %d Count %d\n", slot, filesDone);
  FinishSlot(slot, nullptr);
  CTextProgressCtrl* bar = ValidSlot(slot) ? UpperBar(slot) : nullptr;
  if (!bar) {
    TLOG_WINDOW(L"Progress bar %d Error\n", slot);
    return 0;
  }
  bar->SetWindowText(QStringLiteral("PASS  "));
  bar->SendMessage(PBM_SETBARCOLOR, 0, kGreen);
  bar->SendMessage(TPBM_SETBARTEXTCOLOR, 0, kNavy);
  bar->SendMessage(PBM_SETPOS, 100, 0);
  LowerBar(slot)->SendMessage(PBM_SETPOS, 100, 0);
  return 0;
}

void CKelpa3MultiDlg::ShowStopped(int slot) {
  CTextProgressCtrl* bar = UpperBar(slot);
  bar->SetWindowText(QStringLiteral("STOPPED "));
  bar->SendMessage(TPBM_SETTEXTCOLOR, 0, kNavy);
  bar->SendMessage(PBM_SETBKCOLOR, 0, kAmber);
  bar->SendMessage(PBM_SETPOS, 0, 0);
}

void CKelpa3MultiDlg::ShowDayCounts() {
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (!m_dayCount[slot]) {
      m_dayCount[slot] = new QLabel(this);
      m_dayCount[slot]->setGeometry(DayCountPlace(slot, BaseUnitsOf(font())));
      m_dayCount[slot]->setAlignment(Qt::AlignCenter);
    }
    const QString tip =
        QStringLiteral("Since the window opened: %1 passed, %2 failed").arg(m_dayPasses[slot]).arg(m_dayFailures[slot]);
    m_dayCount[slot]->setText(DayCountText(*m_dayCount[slot], m_dayPasses[slot], m_dayFailures[slot]));
    m_dayCount[slot]->setToolTip(tip);
    Control(IDC_PORT_LABEL0 + slot)->setToolTip(tip);
  }
}
