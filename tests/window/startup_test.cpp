// SPDX-License-Identifier: Apache-2.0
// The window as it comes up: caption, controls by id with their texts and
// places, bars, buttons and the memory group.
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QTimer>
#include <QPushButton>

#include "controls/text_progress_ctrl.h"
#include "controls/xtip_combo_box.h"
#include "tarn/version.h"
#include "tests/window/window_fixture.h"
#include "window/dialog_units.h"

using namespace tarn::window;

namespace tarn::test {
namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kNavy = RGB(0, 0, 128);

class WindowStartupTest : public WindowTest {};

TEST_F(WindowStartupTest, CaptionSizeAndControlsFoundByTheirIds) {
  CKelpa3MultiDlg& window = OpenWindow();
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Tarn2  [Oct 23 2009]"));

  const DialogBaseUnits base = BaseUnitsOf(window.font());
  EXPECT_EQ(window.size(), QSize(DluToPixelsX(551, base), DluToPixelsY(337, base)));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_EQ(window.Control(IDC_START)->geometry(), DluRectToPixels(280, 163, 131, 17, base));
  EXPECT_EQ(window.Control(IDC_PORT_LABEL0 + 7)->geometry(), DluRectToPixels(38 + 66 * 7, 132, 36, 13, base));

  for (int id : {1000, 1007, 1008, 1015, 1016, 1023, 1024, 1028, 1039, 1046, 1053, 1064}) {
    QWidget* control = window.findChild<QWidget*>(QString::number(id));
    ASSERT_NE(control, nullptr) << id;
    EXPECT_EQ(control, window.Control(id));
  }
  const struct {
    int id;
    const char* text;
  } texts[] = {{IDC_BOOT_UPDATE, " Boot Update"},
               {IDC_AUTO_DOWNLOAD, " Auto Download"},
               {IDC_FACTORY, " Factory Mode"},
               {IDC_PHONE_EFS_CLEAR, " EFS Clear"},
               {IDC_STRATINE_UMS, "Stratine [ UMS ]"},
               {IDC_START, "START"},
               {IDC_CLR, "CLR"},
               {IDC_PHONE_BUTTON, "PHONE"}};
  for (const auto& [id, text] : texts) {
    EXPECT_EQ(static_cast<QAbstractButton*>(window.Control(id))->text(), QString::fromLatin1(text)) << id;
  }
}

TEST_F(WindowStartupTest, IdleStateWithNoPhone) {
  CKelpa3MultiDlg& window = OpenWindow();
  for (int slot = 0; slot < kSlotCount; ++slot) {
    EXPECT_TRUE(PortLabel(slot).isEmpty());
    for (CTextProgressCtrl* bar : {window.UpperBar(slot), window.LowerBar(slot)}) {
      EXPECT_EQ(bar->SendMessage(PBM_GETPOS, 0, 0), 0);
      EXPECT_EQ(bar->TextColor(), kNavy);
      EXPECT_EQ(bar->BkColor(), kWhite);
      EXPECT_EQ(bar->BarColor(), kNavy);
      EXPECT_EQ(bar->BarTextColor(), kWhite);
    }
  }
  EXPECT_FALSE(window.Control(IDC_STOP)->isEnabled());
  EXPECT_TRUE(window.Control(IDC_START)->isEnabled());
  EXPECT_FALSE(window.Control(IDC_PHONE_EFS_CLEAR)->isEnabled());
  EXPECT_FALSE(window.Control(IDC_HIDDEN_BUTTON)->isVisibleTo(&window));
  // The buttons are framed push buttons that take the focus.
  for (int id : {IDC_START, IDC_CLR, IDC_PDA_BUTTON, IDC_PHONE_BUTTON, IDC_CSC_BUTTON}) {
    auto* button = qobject_cast<QPushButton*>(window.Control(id));
    ASSERT_NE(button, nullptr) << id;
    EXPECT_FALSE(button->isFlat()) << id;
    EXPECT_TRUE(button->focusPolicy() & Qt::TabFocus) << id;
  }
  EXPECT_EQ(window.PortCount(), 0);
  EXPECT_FALSE(window.InBatch());

  // Option defaults, and the memory group showing ALL with the parts locked.
  EXPECT_TRUE(window.CheckBox(IDC_BOOT_UPDATE)->isChecked());
  EXPECT_TRUE(window.CheckBox(IDC_AUTO_REBOOT)->isChecked());
  EXPECT_TRUE(window.CheckBox(IDC_FACTORY)->isChecked());
  EXPECT_FALSE(window.CheckBox(IDC_BOOT_FORMAT)->isChecked());
  EXPECT_TRUE(window.CheckBox(IDC_STRATINE_ALL)->isChecked());
  for (int id : {IDC_STRATINE_UMS, IDC_STRATINE_OPT, IDC_STRATINE_CSC}) {
    EXPECT_FALSE(window.CheckBox(id)->isChecked());
    EXPECT_FALSE(window.CheckBox(id)->isEnabled());
  }
}

TEST_F(WindowStartupTest, NationListInTableOrderWithTheFirstSelected) {
  CKelpa3MultiDlg& window = OpenWindow();
  CXTipComboBox* nations = window.List(IDC_NATION);
  ASSERT_EQ(nations->count(), 10);
  EXPECT_EQ(nations->itemText(0), QStringLiteral("Zudarida"));
  EXPECT_EQ(nations->itemText(2), QStringLiteral("Zudarida_GERMANY"));
  EXPECT_EQ(nations->itemText(9), QStringLiteral("Zudarida_UK"));
  EXPECT_EQ(window.NationSelection(), 0);
}

TEST_F(WindowStartupTest, AboutBoxOpensAndTheWindowGoesOn) {
  CKelpa3MultiDlg& window = OpenWindow();
  window.show();
  QString aboutText;
  QTimer closer;  // keeps trying until the box is up, then answers it
  closer.setInterval(10);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!modal) return;
    if (auto* text = modal->findChild<QLabel*>(QStringLiteral("aboutText"))) aboutText = text->text();
    closer.stop();
    modal->accept();
  });
  closer.start();
  window.OpenAboutBox();
  EXPECT_EQ(aboutText, QStringLiteral("Tarn Multi Downloader, Version " TARN_VERSION));
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(window.Control(IDC_START)->isEnabled());
}

}  // namespace
}  // namespace tarn::test
