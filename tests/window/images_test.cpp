// SPDX-License-Identifier: Apache-2.0
// Getting image paths into the lists: dropped files, the file buttons, the
// check boxes beside the lists and the nation a CSC archive implies.
#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "controls/xtip_combo_box.h"
#include "tests/testsupport/test_images.h"
#include "tests/window/window_fixture.h"

using namespace tarn::window;

namespace tarn::test {
namespace {

class WindowImagesTest : public WindowTest {
 protected:
  void Drop(const QStringList& paths) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&Window(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&Window(), &drop);
  }
  QStringList Entries(int listId) {
    QStringList entries;
    CXTipComboBox* list = Window().List(listId);
    for (int i = 0; i < list->count(); ++i) entries << list->itemText(i);
    return entries;
  }
};

TEST_F(WindowImagesTest, DroppedFilesGoToTheListOfTheirKind) {
  OpenWindow();
  Drop({"/img/a.TAR", "/img/b.bin", "/img/c.txt", "/img/CSC_x.tar", "/img/csc_lower.tar"});
  EXPECT_EQ(CountLogged("Drag and Drop Number : 5"), 1);
  EXPECT_EQ(CountLogged("Unknown file."), 1);
  EXPECT_EQ(Entries(IDC_PDA_LIST), QStringList({"/img/a.TAR", "/img/csc_lower.tar"}));
  EXPECT_EQ(Entries(IDC_PHONE_LIST), QStringList({"/img/b.bin"}));
  EXPECT_EQ(Entries(IDC_CSC_LIST), QStringList({"/img/CSC_x.tar"}));
  EXPECT_TRUE(Window().CheckBox(IDC_PDA_CHECK)->isChecked());
  EXPECT_TRUE(Window().CheckBox(IDC_PHONE_CHECK)->isChecked());
  EXPECT_TRUE(Window().CheckBox(IDC_CSC_CHECK)->isChecked());
}

TEST_F(WindowImagesTest, ListsStaySortedWithoutDuplicates) {
  CKelpa3MultiDlg& window = OpenWindow();
  window.AddImageFile("/img/b.tar", IMAGE_MASK_PDA);
  window.AddImageFile("/img/C.tar", IMAGE_MASK_PDA);
  window.AddImageFile("/img/a.tar", IMAGE_MASK_PDA);
  window.AddImageFile("/img/b.tar", IMAGE_MASK_PDA);  // the same entry
  EXPECT_EQ(Entries(IDC_PDA_LIST), QStringList({"/img/a.tar", "/img/b.tar", "/img/C.tar"}));
  EXPECT_EQ(window.List(IDC_PDA_LIST)->currentText(), QStringLiteral("/img/b.tar"));
  // File names differ by case: another file, which gets its own entry and is chosen.
  window.AddImageFile("/img/B.tar", IMAGE_MASK_PDA);
  EXPECT_EQ(Entries(IDC_PDA_LIST), QStringList({"/img/a.tar", "/img/b.tar", "/img/B.tar", "/img/C.tar"}));
  EXPECT_EQ(window.List(IDC_PDA_LIST)->currentText(), QStringLiteral("/img/B.tar"));
}

TEST_F(WindowImagesTest, FileButtonsAskThePickerAndSortByPath) {
  CKelpa3MultiDlg& window = OpenWindow();
  Picker().answers = {QString("/img/CSC_from_pda_button.tar"), std::nullopt, QString("/img/modem.bin")};
  static_cast<QAbstractButton*>(window.Control(IDC_PDA_BUTTON))->click();
  EXPECT_EQ(Picker().lastFilter, QStringLiteral("PDA Image (*.tar)"));
  EXPECT_EQ(Entries(IDC_CSC_LIST), QStringList({"/img/CSC_from_pda_button.tar"}));
  EXPECT_EQ(Entries(IDC_PDA_LIST), QStringList());

  static_cast<QAbstractButton*>(window.Control(IDC_CSC_BUTTON))->click();  // cancelled
  EXPECT_EQ(Picker().lastFilter, QStringLiteral("CSC Image (*.tar)"));
  EXPECT_EQ(Picker().lastInitialFile, QStringLiteral("/img/CSC_from_pda_button.tar"));
  EXPECT_EQ(Entries(IDC_CSC_LIST).size(), 1);

  static_cast<QAbstractButton*>(window.Control(IDC_PHONE_BUTTON))->click();
  EXPECT_EQ(Picker().lastFilter, QStringLiteral("Phone Image (*.bin)"));
  EXPECT_EQ(Entries(IDC_PHONE_LIST), QStringList({"/img/modem.bin"}));
}

TEST_F(WindowImagesTest, ImageBoxCannotBeTickedWithAnEmptyList) {
  CKelpa3MultiDlg& window = OpenWindow();
  QCheckBox* pda = window.CheckBox(IDC_PDA_CHECK);
  pda->click();
  EXPECT_FALSE(pda->isChecked());
  window.AddImageFile("/img/a.tar", IMAGE_MASK_PDA);
  pda->click();
  EXPECT_FALSE(pda->isChecked());
  pda->click();
  EXPECT_TRUE(pda->isChecked());
}

TEST_F(WindowImagesTest, CscArchiveSelectsTheNationOfItsLastPerNationMember) {
  CKelpa3MultiDlg& window = OpenWindow();
  const auto germany = dir_->Path() / "CSC_de.tar";
  WriteBytes(germany, TarBytes({{"FRANCE.csc", 10, ""}, {"DE.csc", 20, ""}, {"logo.bin", 30, ""}}));
  const auto uk = dir_->Path() / "CSC_uk.tar";
  WriteBytes(uk, TarBytes({{"uk.csc", 10, ""}}));

  window.AddImageFile(QString::fromStdString(germany.string()), IMAGE_MASK_CSC);
  EXPECT_EQ(window.List(IDC_NATION)->currentText(), QStringLiteral("Zudarida_GERMANY"));
  window.AddImageFile(QString::fromStdString(uk.string()), IMAGE_MASK_CSC);
  EXPECT_EQ(window.NationSelection(), 9);

  // Choosing the other archive in the list moves the nation back.
  CXTipComboBox* list = window.List(IDC_CSC_LIST);
  list->setCurrentIndex(list->findText(QString::fromStdString(germany.string())));
  window.OnCscSelChange();
  EXPECT_EQ(window.NationSelection(), 2);
}

}  // namespace
}  // namespace tarn::test
