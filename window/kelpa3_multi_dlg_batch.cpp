// SPDX-License-Identifier: Apache-2.0
// START, CLR and the end of a batch.
#include <string>
#include <vector>

#include <QPlainTextEdit>

#include "controls/text_progress_ctrl.h"
#include "controls/xtip_combo_box.h"
#include "host/batch_controller.h"
#include "host/sleep_inhibitor.h"
#include "host/start_plan.h"
#include "window/desktop_notice.h"
#include "window/kelpa3_multi_dlg.h"
#include "window/window_log.h"

using namespace tarn::window;

namespace {

// The image lists hold paths of at most this many characters: what the
// engine's path fields take.
constexpr int kMaxPathChars = 1039;

std::wstring PathOfList(const QString& text) { return text.left(kMaxPathChars).toStdWString(); }

}  // namespace

void CKelpa3MultiDlg::OnStart() {
  // An engine is never given a new job while its thread still runs.
  if (m_bBatch == 1 || m_batch.AnyJobRunning()) {
    RefuseStart(QStringLiteral("e - the jobs of the last START are still running"));
    return;
  }
  if (m_nPortCount == 0) {
    TLOG_WINDOW(L"No Device attached\n");
    RefuseStart(QStringLiteral("e - no phone is attached"));
    return;
  }
  m_szPda = PathOfList(ListText(IDC_PDA_LIST));
  m_szCsc = PathOfList(ListText(IDC_CSC_LIST));
  m_szPhone = PathOfList(ListText(IDC_PHONE_LIST));

  StartInputs inputs;
  inputs.pda = m_szPda;
  inputs.csc = m_szCsc;
  inputs.phone = m_szPhone;
  inputs.pdaTicked = m_bPdaImage == 1;
  inputs.cscTicked = m_bCscImage == 1;
  inputs.phoneTicked = m_bPhoneImage == 1;
  inputs.selectedNation = NationSelection();
  inputs.previousPlatform = m_nPlatform;
  const StartPlan plan = PlanStart(inputs);
  if (plan.refusal != StartRefusal::None) {
    RefuseStart(plan.refusalText.empty() ? QStringLiteral("e - START was refused")
                                         : QString::fromStdWString(plan.refusalText));
    return;
  }
  tarn::host::SlotJob job;
  job.pda = m_szPda;
  job.csc = m_szCsc;
  job.phone = m_szPhone;
  // The window keeps its mask in a byte and widens it with its sign.
  job.imageMask = static_cast<std::uint16_t>(static_cast<std::int8_t>(plan.imageMask));
  job.totalSize = plan.totalSize;
  const std::vector<std::wstring> refusals = tarn::host::BatchController::ImageRefusals(job);
  for (const std::wstring& line : refusals) RefuseStart(QString::fromStdWString(line));
  if (!refusals.empty()) return;
  m_nPlatform = plan.platform;
  m_imageMask = static_cast<std::uint8_t>(plan.imageMask);
  m_nTotalSize = plan.totalSize;

  ResetDisplays(false);
  SetLockListEnabled(false);
  Control(IDC_STOP)->setEnabled(false);
  UpdateData(true);

  StartChoices choices;
  choices.bootUpdate = m_bBootUpdate != 0;
  choices.bootFormat = m_bBootFormat != 0;
  choices.csaClear = m_bCsaClear != 0;
  choices.autoReboot = m_bAutoReboot != 0;
  choices.phoneBootUpdate = m_bPhoneBootUpdate != 0;
  choices.phoneEfsClear = m_bPhoneEfsClear != 0;
  choices.stratineAll = m_bStratineAll != 0;
  choices.stratineUms = m_bStratineUms != 0;
  choices.stratineOpt = m_bStratineOpt != 0;
  choices.stratineCsc = m_bStratineCsc != 0;
  choices.platform = m_nPlatform;
  m_options = BuildEngineOptions(choices);
  m_nStratineMode = m_options.nStratineParts;

  job.options = m_options;
  m_bBatch = 1;
  // Every job of the batch, restarted ones too, marks its slot as it starts.
  m_slotInBatch.fill(false);
  m_awake = std::make_unique<tarn::host::SleepInhibitor>(m_nPortCount);
  if (m_records) m_records->Start(tarn::host::FactsOf(job, "tarn-multi-downloader"));
  m_batch.Start(job, m_nPort);
  SchedulePoll();
}

void CKelpa3MultiDlg::RefuseStart(const QString& line) {
  QPlainTextEdit* main = Edit(IDC_MAIN_EDIT);
  if (main) AppendLine(main, line);
  LogReadyString(line);
}

void CKelpa3MultiDlg::OnClear() { ResetDisplays(true); }

void CKelpa3MultiDlg::ResetDisplays(bool clearLists) {
  QPlainTextEdit* main = Edit(IDC_MAIN_EDIT);
  if (!main) {
    TLOG_WINDOW(L"Edit %d is null.\n", IDC_MAIN_EDIT);
    return;
  }
  UpdateData(true);
  main->clear();
  for (int slot = 0; slot < kSlotCount; ++slot) {
    QPlainTextEdit* edit = Edit(IDC_SLOT_EDIT0 + slot);
    if (!edit) {
      TLOG_WINDOW(L"Edit %d is null.\n", IDC_SLOT_EDIT0 + slot);
      return;
    }
    edit->clear();
    for (CTextProgressCtrl* bar : {UpperBar(slot), LowerBar(slot)}) {
      bar->SetWindowText(QString());
      ResetBar(bar);
    }
  }
  if (clearLists) {
    for (int id : {IDC_PDA_LIST, IDC_CSC_LIST, IDC_PHONE_LIST}) {
      CXTipComboBox* list = List(id);
      for (int i = list->count() - 1; i >= 0; --i) list->removeItem(i);
      list->setCurrentIndex(-1);
    }
    m_bPdaImage = m_bCscImage = m_bPhoneImage = 0;
  }
  UpdateData(false);
}

void CKelpa3MultiDlg::OnBatchEnd() {
  m_bBatch = 0;
  m_batchPoll.stop();
  m_awake.reset();
  ApplyIdleState();
  // Unlocking enabled " Boot Update" with the rest; it stays locked while
  // " Boot Format" is ticked.
  OnBootFormat();
  NoticeBatchEnd(*this, m_batch);
}

void CKelpa3MultiDlg::ApplyIdleState() {
  SetLockListEnabled(true);
  UpdateData(true);
  ApplyMemoryGroupFromMode(m_nStratineMode);
  UpdateData(false);
  Control(IDC_STOP)->setEnabled(false);
  ShowDayCounts();
}

void CKelpa3MultiDlg::ApplyMemoryGroupFromMode(int mode) {
  struct Group {
    int all, ums, opt, csc;
  };
  const bool known = mode == 0 || mode == 1 || mode == 2 || mode == 4;
  if (known) {
    const Group ticks{mode == 0, mode == 1, mode == 2, mode == 4};
    m_bStratineAll = ticks.all;
    m_bStratineUms = ticks.ums;
    m_bStratineOpt = ticks.opt;
    m_bStratineCsc = ticks.csc;
  }
  const bool partsEnabled = mode != 0;
  Control(IDC_STRATINE_ALL)->setEnabled(true);
  for (int id : {IDC_STRATINE_UMS, IDC_STRATINE_OPT, IDC_STRATINE_CSC}) Control(id)->setEnabled(partsEnabled);
}
