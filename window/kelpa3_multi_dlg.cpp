// SPDX-License-Identifier: Apache-2.0
// Construction, initialisation, the job message target and closing.
#include "window/kelpa3_multi_dlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QEventLoop>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStyle>

#include <algorithm>
#include <climits>

#include "controls/text_progress_ctrl.h"
#include "controls/xtip_combo_box.h"
#include "host/sleep_inhibitor.h"
#include "platform/text.h"
#include "window/about_dialog.h"
#include "window/app_icon.h"
#include "window/dialog_layout.h"
#include "window/file_picker.h"
#include "window/port_watcher.h"
#include "window/window_log.h"

using namespace tarn::window;

namespace {

// The dialog font: the desktop's own face at the dialog's 8 points.
constexpr int kDialogFontPoints = 8;
constexpr const char* kCaption = "Tarn2  [Oct 23 2009]";

const char* const kNations[] = {"Zudarida",         "Zudarida_FRANCE", "Zudarida_GERMANY",     "Zudarida_GREECE",
                                "Zudarida_IRELAND", "Zudarida_ITALY",  "Zudarida_NETHERLANDS", "Zudarida_PORTUGAL",
                                "Zudarida_SPAIN",   "Zudarida_UK"};

// The free area of the screen the window opens on: a dialog without a parent
// opens on the screen under the pointer. Its title bar needs room too.
QSize RoomOnScreen() {
  QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return QSize(INT_MAX, INT_MAX);
  const QSize free = screen->availableGeometry().size();
  return QSize(free.width(), free.height() - QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight));
}

// The share of its laid-out size the window can have on the screen: 1 when
// it fits as it is.
double FitScale(const QSize& laidOut, const QSize& room) {
  return std::min({1.0, static_cast<double>(room.width()) / laidOut.width(),
                   static_cast<double>(room.height()) / laidOut.height()});
}

QFont ScaledFont(QFont font, double scale) {
  if (font.pixelSize() > 0) {
    font.setPixelSize(std::max(1, static_cast<int>(font.pixelSize() * scale)));
  } else {
    font.setPointSizeF(font.pointSizeF() * scale);
  }
  return font;
}

// Shrinks every control's rectangle and font by `scale`: the layout keeps its
// proportions, which a smaller dialog font alone would not (dialog units are
// whole pixels of it, so they shrink in coarse and uneven steps).
void ScaleLayout(QWidget* dialog, double scale) {
  const auto at = [scale](int pixels) { return static_cast<int>(pixels * scale + 0.5); };
  dialog->setFont(ScaledFont(dialog->font(), scale));
  for (QWidget* control : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    const QRect place = control->geometry();
    const QPoint topLeft(at(place.left()), at(place.top()));
    control->setGeometry(
        QRect(topLeft, QPoint(at(place.left() + place.width()), at(place.top() + place.height())) - QPoint(1, 1)));
    // The banner has a font of its own; the others follow the dialog's.
    if (control->testAttribute(Qt::WA_SetFont)) control->setFont(ScaledFont(control->font(), scale));
  }
}

}  // namespace

CKelpa3MultiDlg::CKelpa3MultiDlg(std::unique_ptr<IFilePicker> picker, std::unique_ptr<ICloseConfirmer> confirmer,
                                 QWidget* parent)
    : QDialog(parent),
      m_picker(picker ? std::move(picker) : std::make_unique<CDialogFilePicker>()),
      m_confirmer(confirmer ? std::move(confirmer) : std::make_unique<CMessageBoxCloseConfirmer>()) {
  m_nPort.fill(-1);
  BuildWindow();
  ConnectHandlers();
  InitDialog();
}

CKelpa3MultiDlg::~CKelpa3MultiDlg() { CloseDown(); }

void CKelpa3MultiDlg::BuildWindow() {
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  QFont dialogFont = font();
  dialogFont.setPointSize(kDialogFontPoints);
  setFont(dialogFont);
  const DialogBaseUnits base = BaseUnitsOf(dialogFont);
  m_controls = BuildLayout(this, base);
  const QSize laidOut(DluToPixelsX(kDialogWidthDlu, base), DluToPixelsY(kDialogHeightDlu, base));
  // At a high font resolution on a small screen the window would reach past the screen's edge.
  const double scale = FitScale(laidOut, RoomOnScreen());
  if (scale < 1.0) ScaleLayout(this, scale);
  setFixedSize(static_cast<int>(laidOut.width() * scale), static_cast<int>(laidOut.height() * scale));
  setWindowTitle(QStringLiteral("Tarn Multi Downloader"));

  m_bindings = {{IDC_BOOT_UPDATE, &m_bBootUpdate},
                {IDC_BOOT_FORMAT, &m_bBootFormat},
                {IDC_CSA_CLEAR, &m_bCsaClear},
                {IDC_AUTO_REBOOT, &m_bAutoReboot},
                {IDC_AUTO_DOWNLOAD, &m_bAutoDownload},
                {IDC_FACTORY, &m_bFactoryMode},
                {IDC_PHONE_BOOT_UPDATE, &m_bPhoneBootUpdate},
                {IDC_PHONE_EFS_CLEAR, &m_bPhoneEfsClear},
                {IDC_STRATINE_ALL, &m_bStratineAll},
                {IDC_STRATINE_UMS, &m_bStratineUms},
                {IDC_STRATINE_OPT, &m_bStratineOpt},
                {IDC_STRATINE_CSC, &m_bStratineCsc},
                {IDC_PDA_CHECK, &m_bPdaImage},
                {IDC_CSC_CHECK, &m_bCscImage},
                {IDC_PHONE_CHECK, &m_bPhoneImage}};
}

void CKelpa3MultiDlg::ConnectHandlers() {
  auto onClick = [this](int id, auto handler) {
    connect(static_cast<QAbstractButton*>(Control(id)), &QAbstractButton::clicked, this, handler);
  };
  onClick(IDC_START, [this] { OnStart(); });
  onClick(IDC_CLR, [this] { OnClear(); });
  onClick(IDC_BOOT_FORMAT, [this] { OnBootFormat(); });
  for (int id : {IDC_PDA_BUTTON, IDC_PHONE_BUTTON, IDC_CSC_BUTTON}) onClick(id, [this, id] { OnImageButton(id); });
  for (int id : {IDC_PDA_CHECK, IDC_PHONE_CHECK, IDC_CSC_CHECK}) onClick(id, [this, id] { OnImageCheck(id); });
  for (int id : {IDC_STRATINE_ALL, IDC_STRATINE_UMS, IDC_STRATINE_OPT, IDC_STRATINE_CSC}) {
    onClick(id, [this, id] { OnMemoryGroup(id); });
  }
  connect(List(IDC_CSC_LIST), QOverload<int>::of(&QComboBox::activated), this, [this] { OnCscSelChange(); });
  connect(&m_batchPoll, &QTimer::timeout, this, &CKelpa3MultiDlg::OnBatchPoll);
  auto* about = new QShortcut(QKeySequence::HelpContents, this);
  connect(about, &QShortcut::activated, this, &CKelpa3MultiDlg::OpenAboutBox);
}

void CKelpa3MultiDlg::InitDialog() {
  UpdateData(false);  // the boxes start from their members' defaults
  setWindowIcon(AppIcon());
  setAcceptDrops(true);
  AttachMessageTarget();
  for (int slot = 0; slot < kSlotCount; ++slot) {
    ResetBar(UpperBar(slot));
    ResetBar(LowerBar(slot));
  }
  tarn::platform::InitProcessLocale();
  CXTipComboBox* nations = List(IDC_NATION);
  for (const char* nation : kNations) nations->addItem(QString::fromLatin1(nation));
  LoadSettings();
  static_cast<QLabel*>(Control(IDC_HIDDEN_STATIC))->setText(QStringLiteral("Tarn"));
  setWindowTitle(QString::fromLatin1(kCaption));
  Control(IDC_PHONE_EFS_CLEAR)->setEnabled(false);
  // The watch starts before the scan, so a port that appears in between is
  // reported (and refused as already added) rather than missed.
  m_portWatcher = new CPortWatcher(this);
  connect(m_portWatcher, &CPortWatcher::PortArrived, this, &CKelpa3MultiDlg::OnDeviceArrival);
  connect(m_portWatcher, &CPortWatcher::PortRemoved, this, &CKelpa3MultiDlg::OnDeviceRemoval);
  ScanSerialPorts();
  ApplyIdleState();
  ApplyStratineAll();
}

void CKelpa3MultiDlg::AttachMessageTarget() {
  // The waker runs on job threads. It posts to the application object, which
  // outlives the window, and reaches the target only through a weak pointer,
  // so a message that arrives while the window closes finds nothing to run.
  auto weak = std::make_shared<std::weak_ptr<tarn::platform::CMessageTarget>>();
  m_target = tarn::platform::CMessageTarget::Create(
      [this](UINT message, WPARAM wParam, LPARAM lParam) { return OnJobMessage(message, wParam, lParam); },
      [weak] {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return;
        QMetaObject::invokeMethod(
            app,
            [weak] {
              if (auto target = weak->lock()) target->DispatchPending();
            },
            Qt::QueuedConnection);
      });
  *weak = m_target;
  tarn::platform::SetMainWindow(m_target);
}

void CKelpa3MultiDlg::ResetBar(CTextProgressCtrl* bar) {
  bar->SendMessage(PBM_SETRANGE, 0, static_cast<LPARAM>(100) << 16);
  bar->SendMessage(PBM_SETPOS, 0, 0);
  bar->SendMessage(TPBM_SETBARTEXTCOLOR, 0, RGB(255, 255, 255));
  bar->SendMessage(PBM_SETBKCOLOR, 0, RGB(255, 255, 255));
  bar->SendMessage(PBM_SETBARCOLOR, 0, RGB(0, 0, 128));
  bar->SendMessage(TPBM_SETTEXTCOLOR, 0, RGB(0, 0, 128));
}

QWidget* CKelpa3MultiDlg::Control(int id) const {
  auto it = m_controls.find(id);
  return it == m_controls.end() ? nullptr : it->second;
}

CTextProgressCtrl* CKelpa3MultiDlg::UpperBar(int slot) const {
  return static_cast<CTextProgressCtrl*>(Control(IDC_UPPER_BAR0 + slot));
}
CTextProgressCtrl* CKelpa3MultiDlg::LowerBar(int slot) const {
  return static_cast<CTextProgressCtrl*>(Control(IDC_LOWER_BAR0 + slot));
}
CXTipComboBox* CKelpa3MultiDlg::List(int id) const { return static_cast<CXTipComboBox*>(Control(id)); }
QCheckBox* CKelpa3MultiDlg::CheckBox(int id) const { return static_cast<QCheckBox*>(Control(id)); }
QPlainTextEdit* CKelpa3MultiDlg::Edit(int id) const { return qobject_cast<QPlainTextEdit*>(Control(id)); }

int CKelpa3MultiDlg::NationSelection() const { return List(IDC_NATION)->currentIndex(); }

void CKelpa3MultiDlg::UpdateData(bool fromControls) {
  for (const CheckBinding& binding : m_bindings) {
    QCheckBox* box = CheckBox(binding.id);
    if (fromControls) {
      *binding.member = box->isChecked() ? 1 : 0;
    } else {
      box->setChecked(*binding.member != 0);
    }
  }
}

void CKelpa3MultiDlg::SetLockListEnabled(bool enabled) {
  for (int id : kControlLockList) Control(id)->setEnabled(enabled);
}

QString CKelpa3MultiDlg::ListText(int id) const { return List(id)->currentText(); }

void CKelpa3MultiDlg::AppendLine(QPlainTextEdit* edit, const QString& line) {
  // The box's own line break is "\n"; the newest line is scrolled into view.
  edit->setPlainText(edit->toPlainText() + line + QLatin1Char('\n'));
  edit->moveCursor(QTextCursor::End);
  edit->ensureCursorVisible();
}

void CKelpa3MultiDlg::OpenAboutBox() {
  CAboutDlg about(this);
  about.setWindowIcon(windowIcon());
  about.exec();
}

void CKelpa3MultiDlg::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addAction(QStringLiteral("&About Tarn Multi Downloader..."), this, &CKelpa3MultiDlg::OpenAboutBox);
  menu.exec(event->globalPos());
}

void CKelpa3MultiDlg::CloseDown() {
  if (m_closed) return;
  m_closed = true;
  SaveSettings();
  m_batchPoll.stop();
  // From here on every job's message returns at once: no job waits for a
  // window that is going away.
  if (m_target) m_target->Detach();
  if (tarn::platform::GetMainWindow() == m_target) tarn::platform::SetMainWindow(nullptr);
  // The engines' destructors wait for the threads; asking them to stop now
  // lets that wait be short. No job starts from here on: a start that waited
  // for its slot is dropped.
  StopJobsForExit();
  m_awake.reset();
}

void CKelpa3MultiDlg::StopJobsAtBoundary() {
  // The controller bounds the stop (host/soft_stop.h): once the bound has
  // passed, its poll stops the jobs that still run at once.
  m_batch.Stop(tarn::host::StopLevel::AtBoundary);
  QEventLoop wait;
  connect(&m_batchPoll, &QTimer::timeout, &wait, [&] {
    if (!m_batch.AnyJobRunning() || m_batch.Stopping() == tarn::host::StopLevel::AtOnce) wait.quit();
  });
  SchedulePoll();
  // The jobs' last messages still reach the window; the operator's clicks do not.
  if (m_batch.AnyJobRunning()) wait.exec(QEventLoop::ExcludeUserInputEvents);
  TLOG_WINDOW(m_batch.AnyJobRunning() ? L"Jobs still running after the stop at a command boundary: stopped at once\n"
                                      : L"Every job stopped at a command boundary\n");
}

void CKelpa3MultiDlg::StopJobsForExit() { m_batch.Stop(tarn::host::StopLevel::AtOnce); }

bool CKelpa3MultiDlg::MayClose() {
  if (m_closed || m_bBatch == 0) return true;
  // The close under way ends once the jobs have stopped.
  if (m_batch.Stopping() != tarn::host::StopLevel::None) return false;
  if (m_confirmer->ConfirmCloseDuringBatch(this)) {
    TLOG_WINDOW(L"Closed during a batch: the jobs are stopped\n");
    StopJobsAtBoundary();
    return true;
  }
  TLOG_WINDOW(L"Close cancelled: the batch goes on\n");
  return false;
}

void CKelpa3MultiDlg::closeEvent(QCloseEvent* event) {
  if (!MayClose()) {
    event->ignore();
    return;
  }
  CloseDown();
  QDialog::closeEvent(event);
}

void CKelpa3MultiDlg::reject() {
  if (!MayClose()) return;
  CloseDown();
  QDialog::reject();
}
