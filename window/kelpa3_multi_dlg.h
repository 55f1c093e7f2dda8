// SPDX-License-Identifier: Apache-2.0
// The operator window: eight phone slots, the option boxes, the image lists
// and START / STOP / CLR. It owns one engine object per slot and receives the
// jobs' messages on its own thread.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QDialog>
#include <QString>
#include <QTimer>

#include "engine/options.h"
#include "engine/pell_linux_np.h"
#include "host/batch_controller.h"
#include "host/batch_recorder.h"
#include "host/job_questions.h"
#include "platform/messages.h"
#include "window/close_confirmer.h"
#include "window/control_ids.h"
#include "window/file_picker.h"

class CTextProgressCtrl;
class CXTipComboBox;
class QCheckBox;
class QLabel;
class QPlainTextEdit;

namespace tarn::host {
struct JobEvent;
class SleepInhibitor;
}  // namespace tarn::host
namespace tarn::window {
class CPortWatcher;
}  // namespace tarn::window

// The window answers the jobs' questions from its nation list and its
// Factory Mode box, and shows what its batch controller reports.
class CKelpa3MultiDlg : public QDialog, private tarn::host::JobQuestions, private tarn::host::BatchEvents {
  Q_OBJECT

 public:
  explicit CKelpa3MultiDlg(std::unique_ptr<tarn::window::IFilePicker> picker = nullptr,
                           std::unique_ptr<tarn::window::ICloseConfirmer> confirmer = nullptr,
                           QWidget* parent = nullptr);
  ~CKelpa3MultiDlg() override;

  // The control with this id, or nullptr.
  QWidget* Control(int id) const;
  CTextProgressCtrl* UpperBar(int slot) const;
  CTextProgressCtrl* LowerBar(int slot) const;
  CXTipComboBox* List(int id) const;
  QCheckBox* CheckBox(int id) const;
  QPlainTextEdit* Edit(int id) const;
  // The slot's passes and failures since the window opened, as "P n / F n".
  QLabel* DayCount(int slot) const { return m_dayCount[slot]; }

  CPellLinuxNp& Engine(int slot) { return m_batch.Engine(slot); }
  int Port(int slot) const { return m_nPort[slot]; }
  int PortCount() const { return m_nPortCount; }
  // Slots of the batch whose job has not reported its final outcome yet.
  int Running() const { return m_batch.Unfinished(); }
  bool InBatch() const { return m_bBatch != 0; }
  const ENGINE_OPTIONS& Options() const { return m_options; }
  std::uint8_t ImageMask() const { return m_imageMask; }
  std::uint32_t TotalSize() const { return m_nTotalSize; }
  std::int16_t Platform() const { return m_nPlatform; }
  int StratineMode() const { return m_nStratineMode; }
  int NationSelection() const;

  // Serial-port map and attach / detach.
  void ScanSerialPorts();
  bool IsPhoneModemPort(int n) const;
  int AddDevice(const QString& name);
  int RemoveDevice(const QString& name);
  void OnDeviceArrival(const QString& name);
  void OnDeviceRemoval(const QString& name);

  // Batch.
  void OnStart();
  void OnClear();
  void ResetDisplays(bool clearLists);
  void OnBatchEnd();
  // Whether the job thread of `slot` still runs.
  bool JobRunning(int slot) { return m_batch.JobRunning(slot); }

  // Job messages, as they arrive from the jobs (also callable directly).
  LRESULT OnJobMessage(UINT message, WPARAM wParam, LPARAM lParam);

  // Images.
  void AddImageFile(const QString& path, int kind);
  void OnImageButton(int buttonId);
  void OnDropFiles(const QStringList& paths);
  void OnImageCheck(int checkId);
  void OnCscSelChange();

  // Options and settings.
  void OnBootFormat();
  void OnMemoryGroup(int clickedId);
  void LoadSettings();
  void SaveSettings();

  // Asks every running job to end; used when the window closes mid-batch.
  void StopJobsForExit();
  // Asks every running job to stop at its next command boundary and waits,
  // handling the jobs' messages, until they have ended or the soft stop's
  // bound (host/soft_stop.h) has passed; used when the operator closes the
  // window mid-batch.
  void StopJobsAtBoundary();
  void OpenAboutBox();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  struct CheckBinding {
    int id;
    std::int32_t* member;
  };

  void BuildWindow();
  void ConnectHandlers();
  void InitDialog();
  void AttachMessageTarget();
  void ResetBar(CTextProgressCtrl* bar);
  void UpdateData(bool fromControls);
  void SetLockListEnabled(bool enabled);
  // The controls of the idle window: the end of a batch without its flag.
  void ApplyIdleState();
  void ApplyMemoryGroupFromMode(int mode);
  void ApplyStratineAll();
  void AppendLine(QPlainTextEdit* edit, const QString& line);
  void RefuseStart(const QString& line);
  // A job's final message: PASS when `error` is null. Only the slot's first
  // outcome counts (the controller's rule).
  void FinishSlot(int slot, const wchar_t* error);
  void ShowStopped(int slot);
  // Counts the ended batch's outcomes into the slots' day and says them in
  // the main box.
  void TallyBatch();
  void ShowDayCounts();
  // The real milliseconds between two looks at the job threads.
  static int BatchPollInterval();
  // Runs the batch poll while the controller waits for a thread or a deadline.
  void SchedulePoll();
  void OnBatchPoll();
  // True when the window may close: no batch, or the operator agrees.
  bool MayClose();
  void CloseDown();

  LRESULT OnJobProgress(const tarn::host::JobEvent& progress);
  LRESULT OnJobText(const wchar_t* text, int slot);
  LRESULT OnJobError(const wchar_t* text, int slot);
  LRESULT OnJobState(int slot, int code);
  LRESULT OnJobPass(int slot, int filesDone);
  std::optional<int> Nation() const override;
  std::optional<bool> FactoryMode() const override;
  void JobStarting(int slot, int port, bool restart) override;
  void SlotError(int slot, const std::wstring& text) override;
  void RestartWaits(int slot) override;
  void Stopping(tarn::host::StopLevel level, bool overdue) override;
  void SlotEnded(int slot) override;
  void BatchEnded() override;

  QString ListText(int id) const;
  std::int32_t* ImageFlagOfKind(int kind);

  // Slots and batch.
  std::array<int, tarn::window::kSlotCount> m_nPort;
  int m_nPortCount = 0;
  // Owns the slots' engines.
  tarn::host::BatchController m_batch{*this, tarn::window::kSlotCount};
  // Runs while a start waits for a slot's previous job or the batch waits
  // for its last threads to end.
  QTimer m_batchPoll;
  ENGINE_OPTIONS m_options{};
  std::uint8_t m_imageMask = 0;
  std::int32_t m_bBatch = 0;
  // Holds off system sleep from START until the batch has its outcome.
  std::unique_ptr<tarn::host::SleepInhibitor> m_awake;
  std::wstring m_szPda, m_szCsc, m_szPhone;
  std::uint32_t m_nTotalSize = 0;
  std::int16_t m_nPlatform = -1;
  std::int32_t m_nStratineMode = 0;
  // Slots of the running or last batch, restarted jobs' slots included.
  std::array<bool, tarn::window::kSlotCount> m_slotInBatch{};
  // Each slot's passes and failures since the window opened.
  std::array<int, tarn::window::kSlotCount> m_dayPasses{}, m_dayFailures{};
  std::array<QLabel*, tarn::window::kSlotCount> m_dayCount{};
  // Each phone's result and each batch for the journal and the metrics file:
  // the port each slot's last job ran on and its last overall percentage.
  std::unique_ptr<tarn::host::BatchRecorder> m_records;
  std::array<int, tarn::window::kSlotCount> m_jobPort{}, m_overall{};

  // Option members, exchanged with their boxes by UpdateData.
  std::int32_t m_bBootUpdate = 1;
  std::int32_t m_bBootFormat = 0;
  std::int32_t m_bCsaClear = 0;
  std::int32_t m_bAutoReboot = 1;
  std::int32_t m_bAutoDownload = 1;
  std::int32_t m_bFactoryMode = 1;
  std::int32_t m_bPhoneBootUpdate = 0;
  std::int32_t m_bPhoneEfsClear = 0;
  std::int32_t m_bStratineAll = 1;
  std::int32_t m_bStratineUms = 1;
  std::int32_t m_bStratineOpt = 1;
  std::int32_t m_bStratineCsc = 1;
  // Image flags: the check boxes beside the image lists.
  std::int32_t m_bPdaImage = 0;
  std::int32_t m_bCscImage = 0;
  std::int32_t m_bPhoneImage = 0;
  std::vector<CheckBinding> m_bindings;

  std::map<int, QWidget*> m_controls;
  std::unique_ptr<tarn::window::IFilePicker> m_picker;
  std::unique_ptr<tarn::window::ICloseConfirmer> m_confirmer;
  tarn::window::CPortWatcher* m_portWatcher = nullptr;
  tarn::platform::HWND m_target;
  bool m_closed = false;
};
