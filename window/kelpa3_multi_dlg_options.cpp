// SPDX-License-Identifier: Apache-2.0
// The option rules (Boot Format, the memory group) and the saved settings.
#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QSettings>

#include "controls/xtip_combo_box.h"
#include "engine/options.h"
#include "window/kelpa3_multi_dlg.h"
#include "window/saved_settings.h"
#include "window/settings_file_check.h"
#include "window/window_log.h"

using namespace tarn::window;

namespace {

// Kept in an INI file (written through a temporary file and a rename, so a
// crash never leaves half a file) under the organisation and the program's name.
QSettings OpenSettings() {
  return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tarn"),
                   QCoreApplication::applicationName());
}

constexpr const char* kSection = "Settings";

// The toolkit decodes a value written as @Variant(...) into any registered
// type from a binary stream, which a hand-edited file can make it allocate
// without bound. This window writes only text and numbers, so a file holding
// one was not written here and is not read.
bool HoldsEncodedObject(const QString& fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return false;
  return tarn::window::HoldsEncodedValue(file.readAll());
}

}  // namespace

namespace tarn::window {

SavedSettings ReadSavedSettings(QSettings& settings) {
  SavedSettings saved;
  if (HoldsEncodedObject(settings.fileName())) {
    TLOG_WINDOW(L"settings not loaded: the file holds an encoded object\n");
    return saved;
  }
  settings.beginGroup(QLatin1String(kSection));
  saved.pda = settings.value(QStringLiteral("PDA")).toString();
  saved.phone = settings.value(QStringLiteral("PHONE")).toString();
  saved.csc = settings.value(QStringLiteral("CSC")).toString();
  bool valid = false;
  saved.nation = settings.value(QStringLiteral("Nation"), 0).toInt(&valid);
  if (!valid) saved.nation = 0;
  saved.metricsFile = settings.value(QStringLiteral("MetricsFile")).toString();
  settings.endGroup();
  return saved;
}

int NationIndex(const SavedSettings& saved, int nationCount) {
  return saved.nation >= 0 && saved.nation < nationCount ? saved.nation : -1;
}

}  // namespace tarn::window

void CKelpa3MultiDlg::OnBootFormat() {
  UpdateData(true);
  if (m_bBootFormat) m_bBootUpdate = 1;
  Control(IDC_BOOT_UPDATE)->setEnabled(m_bBootFormat == 0);
  UpdateData(false);
}

void CKelpa3MultiDlg::OnMemoryGroup(int clickedId) {
  std::int32_t* const parts[] = {&m_bStratineUms, &m_bStratineOpt, &m_bStratineCsc};
  const int partIds[] = {IDC_STRATINE_UMS, IDC_STRATINE_OPT, IDC_STRATINE_CSC};
  int clickedPart = -1;
  for (int i = 0; i < 3; ++i) {
    if (partIds[i] == clickedId) clickedPart = i;
  }
  // The member still holds the state before the click.
  const bool wasTicked = (clickedPart < 0 ? m_bStratineAll : *parts[clickedPart]) != 0;
  bool partsEnabled = true;
  UpdateData(true);
  for (std::int32_t* part : parts) *part = 0;
  if (clickedPart < 0) {
    m_bStratineAll = wasTicked ? 0 : 1;
    if (wasTicked) m_bStratineUms = 1;
    partsEnabled = wasTicked;
  } else {
    m_bStratineAll = wasTicked ? 1 : 0;
    if (!wasTicked) *parts[clickedPart] = 1;
    partsEnabled = !wasTicked;
  }
  Control(IDC_STRATINE_ALL)->setEnabled(true);
  for (int id : partIds) Control(id)->setEnabled(partsEnabled);
  UpdateData(false);
}

void CKelpa3MultiDlg::ApplyStratineAll() {
  UpdateData(true);
  m_bStratineAll = 1;
  m_bStratineUms = m_bStratineOpt = m_bStratineCsc = 0;
  for (int id : {IDC_STRATINE_UMS, IDC_STRATINE_OPT, IDC_STRATINE_CSC}) Control(id)->setEnabled(false);
  UpdateData(false);
}

void CKelpa3MultiDlg::LoadSettings() {
  QSettings settings = OpenSettings();
  const SavedSettings saved = ReadSavedSettings(settings);
  const struct {
    const QString& path;
    int kind;
  } images[] = {{saved.pda, IMAGE_MASK_PDA}, {saved.phone, IMAGE_MASK_PHONE}, {saved.csc, IMAGE_MASK_CSC}};
  for (const auto& image : images) {
    if (!image.path.isEmpty()) AddImageFile(image.path, image.kind);
  }
  CXTipComboBox* nations = List(IDC_NATION);
  nations->setCurrentIndex(NationIndex(saved, nations->count()));
  m_records = std::make_unique<tarn::host::BatchRecorder>(QFile::encodeName(saved.metricsFile).toStdString());
}

void CKelpa3MultiDlg::SaveSettings() {
  QSettings settings = OpenSettings();
  settings.beginGroup(QLatin1String(kSection));
  settings.setValue(QStringLiteral("Nation"), NationSelection());
  // What the lists show now, not what the last START read: a window closed
  // before any START would otherwise lose the operator's choice.
  settings.setValue(QStringLiteral("PDA"), ListText(IDC_PDA_LIST));
  settings.setValue(QStringLiteral("PHONE"), ListText(IDC_PHONE_LIST));
  settings.setValue(QStringLiteral("CSC"), ListText(IDC_CSC_LIST));
  settings.endGroup();
  settings.sync();
}
