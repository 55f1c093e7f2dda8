// The option rules (Boot Format, the memory group) and the saved settings.
#include <QCheckBox>
#include <QCoreApplication>
#include <QSettings>

#include "controls/xtip_combo_box.h"
#include "window/kelpa3_multi_dlg.h"

using namespace tarn::window;

namespace {

// Kept in an INI file (written through a temporary file and a rename, so a
// crash never leaves half a file) under the organisation and the program's name.
QSettings OpenSettings() {
  return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tarn"),
                   QCoreApplication::applicationName());
}

constexpr const char* kSection = "Settings";

}  // namespace

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
  settings.beginGroup(QLatin1String(kSection));
  const struct {
    const char* key;
    int kind;
  } images[] = {{"PDA", kListKindPda}, {"PHONE", kListKindPhone}, {"CSC", kListKindCsc}};
  for (const auto& image : images) {
    const QString path = settings.value(QLatin1String(image.key)).toString();
    if (!path.isEmpty()) AddImageFile(path, image.kind);
  }
  bool valid = false;
  int nation = settings.value(QStringLiteral("Nation"), 0).toInt(&valid);
  if (!valid) nation = 0;
  CXTipComboBox* nations = List(IDC_NATION);
  nations->setCurrentIndex(nation >= 0 && nation < nations->count() ? nation : -1);
}

void CKelpa3MultiDlg::SaveSettings() {
  QSettings settings = OpenSettings();
  settings.beginGroup(QLatin1String(kSection));
  settings.setValue(QStringLiteral("Nation"), NationSelection());
  settings.setValue(QStringLiteral("PDA"), QString::fromStdWString(m_szPda));
  settings.setValue(QStringLiteral("PHONE"), QString::fromStdWString(m_szPhone));
  settings.setValue(QStringLiteral("CSC"), QString::fromStdWString(m_szCsc));
  settings.endGroup();
  settings.sync();
}
