// SPDX-License-Identifier: Apache-2.0
// The jobs' messages: each slot's bars and message box, the main message box
// and each slot's final outcome. Handlers run on the window's thread while the
// sending job waits, so none of them ever waits for a job.
#include <QCheckBox>
#include <QPlainTextEdit>

#include "controls/text_progress_ctrl.h"
#include "engine/events.h"
#include "window/kelpa3_multi_dlg.h"
#include "window/window_log.h"

using namespace tarn::window;

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kNavy = RGB(0, 0, 128);
constexpr COLORREF kMaroon = RGB(128, 0, 0);
constexpr COLORREF kGreen = RGB(33, 255, 33);

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

}  // namespace

LRESULT CKelpa3MultiDlg::OnJobMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_JOB_PROGRESS: return OnJobProgress(wParam);
    case WM_JOB_TEXT: return OnJobText(reinterpret_cast<const wchar_t*>(wParam), static_cast<int>(lParam));
    case WM_JOB_FILES: return 0;
    case WM_JOB_ERROR: return OnJobError(reinterpret_cast<const wchar_t*>(wParam), static_cast<int>(lParam));
    case WM_JOB_STATE: return OnJobState(static_cast<int>(wParam), static_cast<int>(lParam));
    case WM_JOB_PASS: return OnJobPass(static_cast<int>(wParam), static_cast<int>(lParam));
    case tarn::platform::WM_HOST_QUERY_CONTROL: return OnHostQuery(static_cast<int>(wParam));
    default: return 0;
  }
}

LRESULT CKelpa3MultiDlg::OnHostQuery(int controlId) {
  if (controlId == IDC_NATION_LIST) return tarn::platform::ControlAnswer(NationSelection());
  if (controlId == IDC_FACTORY_MODE) return tarn::platform::ControlAnswer(CheckBox(IDC_FACTORY)->isChecked() ? 1 : 0);
  return 0;
}

LRESULT CKelpa3MultiDlg::OnJobProgress(WPARAM packed) {
  const int slot = static_cast<int>((packed >> 24) & 0xFF);
  if (!ValidSlot(slot)) return 0;  // a slot byte from no job of ours
  const struct {
    CTextProgressCtrl* bar;
    int percent;
  } bars[] = {{UpperBar(slot), static_cast<int>((packed >> 8) & 0xFF)},
              {LowerBar(slot), static_cast<int>(packed & 0xFF)}};
  for (const auto& [bar, percent] : bars) {
    bar->SendMessage(PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    bar->SendMessage(TPBM_SETBARTEXTCOLOR, 0, kWhite);
    bar->SendMessage(PBM_SETBARCOLOR, 0, kNavy);
  }
  return 0;
}

LRESULT CKelpa3MultiDlg::OnJobText(const wchar_t* text, int slot) {
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
  FinishSlot(slot);
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
  FinishSlot(slot);
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
