// SPDX-License-Identifier: Apache-2.0
// Option rules (Boot Format, memory group) and the settings kept between runs.
#include <QCheckBox>
#include <QFile>
#include <QSettings>

#include "window/settings_file_check.h"

#include "controls/xtip_combo_box.h"
#include "tests/testsupport/test_images.h"
#include "tests/window/window_fixture.h"

using namespace tarn::window;

namespace tarn::test {
namespace {

class WindowOptionsTest : public WindowTest {
 protected:
  // Ticked / enabled state of ALL, UMS, OPT, CSC as one string, e.g. "1e 0d 0d 0d".
  std::string Group() {
    std::string state;
    for (int id : {IDC_STRATINE_ALL, IDC_STRATINE_UMS, IDC_STRATINE_OPT, IDC_STRATINE_CSC}) {
      QCheckBox* box = Window().CheckBox(id);
      if (!state.empty()) state += ' ';
      state += box->isChecked() ? '1' : '0';
      state += box->isEnabled() ? 'e' : 'd';
    }
    return state;
  }
  QSettings Saved() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tarn"),
                     QStringLiteral("window_tests"));
  }
};

TEST_F(WindowOptionsTest, BootFormatForcesAndLocksBootUpdate) {
  CKelpa3MultiDlg& window = OpenWindow();
  window.CheckBox(IDC_BOOT_UPDATE)->click();  // untick first, so forcing shows
  ASSERT_FALSE(window.CheckBox(IDC_BOOT_UPDATE)->isChecked());
  window.CheckBox(IDC_BOOT_FORMAT)->click();
  EXPECT_TRUE(window.CheckBox(IDC_BOOT_UPDATE)->isChecked());
  EXPECT_FALSE(window.CheckBox(IDC_BOOT_UPDATE)->isEnabled());
  window.CheckBox(IDC_BOOT_FORMAT)->click();
  EXPECT_TRUE(window.CheckBox(IDC_BOOT_UPDATE)->isChecked());
  EXPECT_TRUE(window.CheckBox(IDC_BOOT_UPDATE)->isEnabled());
}

TEST_F(WindowOptionsTest, MemoryGroupKeepsExactlyOneTicked) {
  CKelpa3MultiDlg& window = OpenWindow();
  ASSERT_EQ(Group(), "1e 0d 0d 0d");
  window.CheckBox(IDC_STRATINE_ALL)->click();
  EXPECT_EQ(Group(), "0e 1e 0e 0e");
  window.CheckBox(IDC_STRATINE_OPT)->click();
  EXPECT_EQ(Group(), "0e 0e 1e 0e");
  window.CheckBox(IDC_STRATINE_OPT)->click();
  EXPECT_EQ(Group(), "1e 0d 0d 0d");
  window.CheckBox(IDC_STRATINE_ALL)->click();
  window.CheckBox(IDC_STRATINE_CSC)->click();
  EXPECT_EQ(Group(), "0e 0e 0e 1e");
  window.CheckBox(IDC_STRATINE_ALL)->click();
  EXPECT_EQ(Group(), "1e 0d 0d 0d");
}

TEST_F(WindowOptionsTest, ClosingWithoutStartKeepsTheListedPathsAndTheNation) {
  {
    QSettings settings = Saved();
    settings.setValue(QStringLiteral("Settings/PDA"), QStringLiteral("/images/mirlane_a.tar"));
  }
  CKelpa3MultiDlg& window = OpenWindow();
  EXPECT_EQ(window.List(IDC_PDA_LIST)->currentText(), QStringLiteral("/images/mirlane_a.tar"));
  EXPECT_TRUE(window.CheckBox(IDC_PDA_CHECK)->isChecked());
  window.AddImageFile(QStringLiteral("/images/modem.bin"), IMAGE_MASK_PHONE);
  window.List(IDC_NATION)->setCurrentIndex(4);
  CloseWindow();

  QSettings settings = Saved();
  EXPECT_EQ(settings.value(QStringLiteral("Settings/PDA")).toString(), QStringLiteral("/images/mirlane_a.tar"));
  EXPECT_EQ(settings.value(QStringLiteral("Settings/PHONE")).toString(), QStringLiteral("/images/modem.bin"));
  EXPECT_EQ(settings.value(QStringLiteral("Settings/CSC")).toString(), QString());
  EXPECT_EQ(settings.value(QStringLiteral("Settings/Nation")).toInt(), 4);

  // The next window shows them again; CLR before a close forgets them.
  CKelpa3MultiDlg& again = OpenWindow();
  EXPECT_EQ(again.List(IDC_PDA_LIST)->currentText(), QStringLiteral("/images/mirlane_a.tar"));
  EXPECT_EQ(again.List(IDC_PHONE_LIST)->currentText(), QStringLiteral("/images/modem.bin"));
  again.OnClear();
  CloseWindow();
  EXPECT_EQ(Saved().value(QStringLiteral("Settings/PDA")).toString(), QString());
}

TEST_F(WindowOptionsTest, SettingsRoundTripThroughStart) {
  const auto phone = dir_->Path() / "modem.bin";
  WriteBytes(phone, std::vector<unsigned char>(1000, 0x5A));
  RegisterPort("qxcdmdm0", 3);
  CKelpa3MultiDlg& window = OpenWindow();
  window.AddImageFile(QString::fromStdString(phone.string()), IMAGE_MASK_PHONE);
  window.List(IDC_NATION)->setCurrentIndex(9);
  window.OnStart();
  ASSERT_TRUE(window.InBatch());
  EXPECT_EQ(window.TotalSize(), 1000u);
  CloseWindow();

  CKelpa3MultiDlg& again = OpenWindow();
  EXPECT_EQ(again.List(IDC_PHONE_LIST)->currentText(), QString::fromStdString(phone.string()));
  EXPECT_TRUE(again.CheckBox(IDC_PHONE_CHECK)->isChecked());
  EXPECT_EQ(again.List(IDC_PDA_LIST)->count(), 0);
  EXPECT_EQ(again.NationSelection(), 9);
}

TEST_F(WindowOptionsTest, SavedNationOverridesTheSavedCscArchive) {
  const auto csc = dir_->Path() / "CSC_de.tar";
  WriteBytes(csc, TarBytes({{"de.csc", 100, ""}}));
  {
    QSettings settings = Saved();
    settings.setValue(QStringLiteral("Settings/CSC"), QString::fromStdString(csc.string()));
    settings.setValue(QStringLiteral("Settings/Nation"), 7);
  }
  CKelpa3MultiDlg& window = OpenWindow();
  EXPECT_EQ(window.List(IDC_CSC_LIST)->currentText(), QString::fromStdString(csc.string()));
  EXPECT_EQ(window.List(IDC_NATION)->currentText(), QStringLiteral("Zudarida_PORTUGAL"));
}

// A value the toolkit would decode into an object is found however its
// quotes and escapes spell it; what the toolkit writes itself never is.
TEST_F(WindowOptionsTest, EncodedValuesAreFoundInEverySpellingAndWrittenTextNever) {
  const char* encoded[] = {"PDA=@Variant(\\0)",   "PDA=@Var\"\"iant(x)",        "PDA=\"@Variant(x)\"",
                           "PDA=\\x40Variant(x)", "PDA=\\100Variant(x)",        "PDA=a, @Variant(x)",
                           "PDA=\\\n@Variant(x)", "PDA= \"\" \t@Rect(1 2 3 4)", "K=\"x\n\",@Variant(x)",
                           "\"\nPDA=@Variant(x)"};
  for (const char* text : encoded) {
    EXPECT_TRUE(HoldsEncodedValue(QByteArray("[Settings]\n") + text)) << text;
  }
  // Millions of lines without "=", under a quote never closed, are read in
  // one pass: a search per line to the end of the file would not finish.
  const QByteArray lines = QByteArray("[Settings]\n\"") + QByteArray("x\n").repeated(2'000'000);
  EXPECT_FALSE(HoldsEncodedValue(lines));
  EXPECT_TRUE(HoldsEncodedValue(lines + "PDA=@Variant(x)"));
  {
    QSettings settings = Saved();
    const QString values[] = {QStringLiteral("@Variant(x)"),
                              QStringLiteral("a, @b"),
                              QStringLiteral(" \"@x\" "),
                              QStringLiteral("@@"),
                              QString::fromUtf8("/t\u00fcr/\\x40,;=.tar"),
                              QStringLiteral("\n@y")};
    int key = 0;
    for (const QString& value : values) settings.setValue(QStringLiteral("Settings/Key%1").arg(++key), value);
    settings.setValue(QStringLiteral("Settings/List"), QStringList{QStringLiteral("@a"), QStringLiteral("@@b")});
  }
  QFile file(Saved().fileName());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray written = file.readAll();
  EXPECT_FALSE(HoldsEncodedValue(written)) << written.toStdString();
}

}  // namespace
}  // namespace tarn::test
