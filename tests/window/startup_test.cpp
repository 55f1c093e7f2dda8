// SPDX-License-Identifier: Apache-2.0
// The window as it comes up: caption, controls by id with their texts and
// places, its fit to a small screen, bars, buttons and the memory group; the
// program's command line; the about box.
#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <cstdlib>

#include "controls/text_progress_ctrl.h"
#include "controls/xtip_combo_box.h"
#include "tarn/version.h"
#include "tests/cli/run_tool.h"
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

TEST_F(WindowStartupTest, FitsTheScreenItOpensOnWithItsProportions) {
  QScreen* small = Screen("small");
  ASSERT_NE(small, nullptr);
  CKelpa3MultiDlg& onDesk = OpenWindow();
  const QSize laidOut = onDesk.size();
  const QRect start = onDesk.Control(IDC_START)->geometry();
  const int banner = onDesk.Control(IDC_TITLE)->font().pixelSize();
  EXPECT_EQ(onDesk.font().pointSize(), 8) << "a screen with room changes nothing";
  CloseWindow();

  // A dialog without a parent opens on the screen under the pointer.
  QCursor::setPos(small->geometry().center());
  CKelpa3MultiDlg& window = OpenWindow();
  QCursor::setPos(Screen("desk")->geometry().center());
  const QSize room = small->availableGeometry().size();
  ASSERT_GT(laidOut.width(), room.width());
  EXPECT_LE(window.width(), room.width());
  EXPECT_LE(window.height(), room.height());
  // Shrunk no more than needed, and alike in both directions.
  const double scale = static_cast<double>(window.width()) / laidOut.width();
  EXPECT_GT(scale, 0.9 * room.width() / laidOut.width());
  EXPECT_NEAR(window.height(), laidOut.height() * scale, 1.0);
  const QRect shrunk = window.Control(IDC_START)->geometry();
  EXPECT_NEAR(shrunk.left(), start.left() * scale, 1.0);
  EXPECT_NEAR(shrunk.top(), start.top() * scale, 1.0);
  EXPECT_NEAR(shrunk.width(), start.width() * scale, 1.0);
  EXPECT_NEAR(shrunk.height(), start.height() * scale, 1.0);
  EXPECT_LT(window.font().pointSizeF(), 8.0);
  EXPECT_LT(window.Control(IDC_TITLE)->font().pixelSize(), banner);
}

TEST_F(WindowStartupTest, CommandLineAnswersWithoutOpeningTheWindow) {
  // Without a display, as on a server: the toolkit would abort the program.
  const std::string platform = std::getenv("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "";
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(variable);
  const ToolRun help = RunTool(TARN_WINDOW_PATH, {"--help"});
  const ToolRun version = RunTool(TARN_WINDOW_PATH, {"--version"});
  const ToolRun unknown = RunTool(TARN_WINDOW_PATH, {"--bogus"});
  const ToolRun missing = RunTool(TARN_WINDOW_PATH, {"-platform"});
  const ToolRun noDisplay = RunTool(TARN_WINDOW_PATH, {});
  if (!platform.empty()) setenv("QT_QPA_PLATFORM", platform.c_str(), 1);

  EXPECT_EQ(help.exitCode, 0) << help.err;
  EXPECT_TRUE(help.out.starts_with("Usage: tarn-multi-downloader")) << help.out;
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "tarn-multi-downloader " TARN_VERSION "\n");
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_EQ(unknown.err, "e - tarn-multi-downloader: unknown option '--bogus' (see --help)\n");
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_EQ(missing.err, "e - tarn-multi-downloader: option '-platform' needs a value (see --help)\n");
  EXPECT_EQ(noDisplay.exitCode, 1);
  EXPECT_TRUE(noDisplay.err.starts_with("e - no display: neither DISPLAY nor WAYLAND_DISPLAY")) << noDisplay.err;
  EXPECT_NE(noDisplay.err.find("offscreen"), std::string::npos) << noDisplay.err;
  EXPECT_EQ(std::count(noDisplay.err.begin(), noDisplay.err.end(), '\n'), 1) << noDisplay.err;
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
  QString aboutText, licence, home;
  int width = 0, titleRoom = 0;
  QTimer closer;  // keeps trying until the box is up, then answers it
  closer.setInterval(10);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!modal) return;
    const auto textOf = [modal](const char* name) {
      auto* label = modal->findChild<QLabel*>(QString::fromLatin1(name));
      return label ? label->text() : QString();
    };
    aboutText = textOf("aboutText");
    licence = textOf("aboutLicence");
    home = textOf("aboutHome");
    // A title bar holds the title in a bold face beside the icon and three
    // buttons, each about as wide as the bar is high.
    QFont bold = modal->font();
    bold.setBold(true);
    const int bar = modal->style()->pixelMetric(QStyle::PM_TitleBarHeight);
    titleRoom = QFontMetrics(bold).horizontalAdvance(modal->windowTitle()) + 4 * bar;
    width = modal->width();
    closer.stop();
    modal->accept();
  });
  closer.start();
  window.OpenAboutBox();
  EXPECT_EQ(aboutText, QStringLiteral("Tarn Multi Downloader, Version " TARN_VERSION));
  EXPECT_EQ(licence, QStringLiteral("Apache License 2.0"));
  EXPECT_TRUE(home.contains(QStringLiteral(TARN_HOMEPAGE))) << home.toStdString();
  EXPECT_GE(width, titleRoom) << "the title would be cut short";
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(window.Control(IDC_START)->isEnabled());
}

}  // namespace
}  // namespace tarn::test
