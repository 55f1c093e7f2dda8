// SPDX-License-Identifier: Apache-2.0
// Image selection: the three image lists, their file buttons and check
// boxes, files dropped on the window, and the nation a CSC archive implies.
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "controls/xtip_combo_box.h"
#include "engine/options.h"
#include "host/start_plan.h"
#include "window/file_picker.h"
#include "window/kelpa3_multi_dlg.h"
#include "window/window_log.h"

using namespace tarn::window;

namespace {

// A tar image goes to the CSC list when its path says so (upper case only).
int TarKindOfPath(const QString& path) {
  return path.contains(QStringLiteral("CSC"), Qt::CaseSensitive) ? IMAGE_MASK_CSC : IMAGE_MASK_PDA;
}

int ListOfKind(int kind) {
  switch (kind) {
    case IMAGE_MASK_PDA: return IDC_PDA_LIST;
    case IMAGE_MASK_PHONE: return IDC_PHONE_LIST;
    case IMAGE_MASK_CSC: return IDC_CSC_LIST;
    default: return 0;
  }
}

// The list keeps its entries sorted without regard to case; entries that
// differ only in case are different files and both stay.
int SortedPosition(const QComboBox* list, const QString& path) {
  int i = 0;
  while (i < list->count() && QString::compare(list->itemText(i), path, Qt::CaseInsensitive) <= 0) ++i;
  return i;
}

}  // namespace

std::int32_t* CKelpa3MultiDlg::ImageFlagOfKind(int kind) {
  switch (kind) {
    case IMAGE_MASK_PDA: return &m_bPdaImage;
    case IMAGE_MASK_PHONE: return &m_bPhoneImage;
    case IMAGE_MASK_CSC: return &m_bCscImage;
    default: return nullptr;
  }
}

void CKelpa3MultiDlg::AddImageFile(const QString& path, int kind) {
  UpdateData(true);
  if (const int listId = ListOfKind(kind)) {
    CXTipComboBox* list = List(listId);
    int index = list->findText(path, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (index < 0) {
      LogReadyString(path);
      index = SortedPosition(list, path);
      list->insertItem(index, path);
    }
    list->setCurrentIndex(index);
    *ImageFlagOfKind(kind) = 1;
    if (kind == IMAGE_MASK_CSC) {
      const NationChoice choice = SelectNationFromCsc(path.toStdWString(), List(IDC_NATION)->count());
      if (choice.result == kStartOk && choice.nation >= 0) List(IDC_NATION)->setCurrentIndex(choice.nation);
    }
  }
  UpdateData(false);
}

void CKelpa3MultiDlg::OnImageButton(int buttonId) {
  const bool phone = buttonId == IDC_PHONE_BUTTON;
  const int listId = phone ? IDC_PHONE_LIST : (buttonId == IDC_CSC_BUTTON ? IDC_CSC_LIST : IDC_PDA_LIST);
  const QString filter = phone ? QStringLiteral("Phone Image (*.bin)")
                               : (buttonId == IDC_CSC_BUTTON ? QStringLiteral("CSC Image (*.tar)")
                                                             : QStringLiteral("PDA Image (*.tar)"));
  const std::optional<QString> path = m_picker->PickFile(this, ListText(listId), filter);
  if (!path) return;
  AddImageFile(*path, phone ? IMAGE_MASK_PHONE : TarKindOfPath(*path));
}

void CKelpa3MultiDlg::OnDropFiles(const QStringList& paths) {
  TLOG_WINDOW(L"Drag and Drop Number : %d\n", static_cast<int>(paths.size()));
  for (const QString& path : paths) {
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? path : path.mid(dot + 1);
    if (extension.compare(QStringLiteral("tar"), Qt::CaseInsensitive) == 0) {
      AddImageFile(path, TarKindOfPath(path));
    } else if (extension.compare(QStringLiteral("bin"), Qt::CaseInsensitive) == 0) {
      AddImageFile(path, IMAGE_MASK_PHONE);
    } else {
      TLOG_WINDOW(L"Unknown file.\n");
    }
  }
}

void CKelpa3MultiDlg::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CKelpa3MultiDlg::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  OnDropFiles(paths);
  event->acceptProposedAction();
}

void CKelpa3MultiDlg::OnImageCheck(int checkId) {
  UpdateData(true);
  const int kind = checkId == IDC_PDA_CHECK ? IMAGE_MASK_PDA
                                            : (checkId == IDC_CSC_CHECK ? IMAGE_MASK_CSC : IMAGE_MASK_PHONE);
  if (ListText(ListOfKind(kind)).isEmpty()) *ImageFlagOfKind(kind) = 0;
  UpdateData(false);
}

void CKelpa3MultiDlg::OnCscSelChange() {
  UpdateData(true);
  const NationChoice choice = SelectNationFromCsc(ListText(IDC_CSC_LIST).toStdWString(), List(IDC_NATION)->count());
  if (choice.result == kStartOk && choice.nation >= 0) List(IDC_NATION)->setCurrentIndex(choice.nation);
  UpdateData(false);
}
