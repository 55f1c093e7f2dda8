// SPDX-License-Identifier: Apache-2.0
#include "window/dialog_layout.h"

#include <algorithm>
#include <vector>

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "controls/tarn_color_st.h"
#include "controls/text_progress_ctrl.h"
#include "controls/xtip_combo_box.h"
#include "window/control_ids.h"

namespace tarn::window {

namespace {

using K = ControlKind;

std::vector<ControlSpec> FixedControls() {
  return {
      {IDC_TITLE, K::Banner, "Tarn Multi Downloader (K+/TF)", 6, 8, 536, 33},
      {0, K::GroupBox, "", 6, 41, 536, 108},
      {0, K::EtchedLine, "", 10, 128, 526, 1},
      {0, K::GroupBox, "Option", 6, 151, 213, 177},
      {IDC_BOOT_UPDATE, K::CheckBox, " Boot Update", 17, 165, 58, 10},
      {IDC_AUTO_REBOOT, K::CheckBox, " Auto Reboot", 83, 165, 59, 10},
      {IDC_AUTO_DOWNLOAD, K::CheckBox, " Auto Download", 149, 165, 67, 10},
      {IDC_BOOT_FORMAT, K::CheckBox, " Boot Format", 17, 181, 57, 10},
      {IDC_CSA_CLEAR, K::CheckBox, " CSA Clear", 83, 181, 50, 10},
      {IDC_FACTORY, K::CheckBox, " Factory Mode", 149, 181, 62, 10},
      {0, K::GroupBox, "Phone", 17, 196, 194, 30},
      {IDC_PHONE_BOOT_UPDATE, K::CheckBox, " Boot Update", 30, 210, 58, 10},
      {IDC_PHONE_EFS_CLEAR, K::CheckBox, " EFS Clear", 109, 210, 49, 10},
      {0, K::GroupBox, "Stratine", 17, 231, 194, 51},
      {IDC_STRATINE_ALL, K::CheckBox, "Stratine ALL", 30, 245, 60, 10},
      {IDC_STRATINE_UMS, K::CheckBox, "Stratine [ UMS ]", 109, 245, 72, 10},
      {IDC_STRATINE_OPT, K::CheckBox, "Stratine [ OPT ]", 30, 261, 71, 10},
      {IDC_STRATINE_CSC, K::CheckBox, "Stratine [ CSC ]", 109, 261, 71, 10},
      {0, K::GroupBox, "", 17, 286, 194, 34},
      {0, K::Static, "Select nation -----", 31, 298, 58, 12},
      {IDC_NATION, K::DropList, "", 110, 298, 94, 30},
      {0, K::GroupBox, "Control panel", 224, 151, 318, 36},
      {IDC_HIDDEN_STATIC, K::HiddenStatic, "Static", 232, 166, 8, 12},
      {IDC_HIDDEN_BUTTON, K::HiddenButton, "&H", 243, 166, 15, 12},
      {IDC_START, K::DefaultButton, "START", 280, 163, 131, 17},
      {IDC_STOP, K::PushButton, "STOP", 415, 163, 74, 17},
      {IDC_CLR, K::PushButton, "CLR", 495, 163, 41, 17},
      {0, K::GroupBox, "Select images to download", 224, 189, 318, 75},
      {IDC_PDA_CHECK, K::CheckBox, "Check1", 233, 203, 8, 12},
      {IDC_PDA_LIST, K::DropList, "", 249, 203, 219, 15},
      {IDC_PDA_BUTTON, K::PushButton, "PDA", 476, 201, 60, 17},
      {IDC_PHONE_CHECK, K::CheckBox, "Check1", 233, 223, 8, 12},
      {IDC_PHONE_LIST, K::DropList, "", 249, 223, 219, 15},
      {IDC_PHONE_BUTTON, K::PushButton, "PHONE", 476, 221, 60, 17},
      {IDC_CSC_CHECK, K::CheckBox, "Check1", 234, 243, 8, 12},
      {IDC_CSC_LIST, K::DropList, "", 249, 243, 219, 15},
      {IDC_CSC_BUTTON, K::PushButton, "CSC", 476, 241, 60, 17},
      {0, K::GroupBox, "Message", 224, 266, 318, 62},
      {IDC_MAIN_EDIT, K::MainEdit, "", 234, 279, 302, 41},
  };
}

std::vector<ControlSpec> SlotControls() {
  std::vector<ControlSpec> specs;
  for (int i = 0; i < kSlotCount; ++i) {
    const int x = 10 + 66 * i;
    specs.push_back({IDC_UPPER_BAR0 + i, K::ProgressBar, "", x, 49, 64, 13});
    specs.push_back({IDC_LOWER_BAR0 + i, K::ProgressBar, "", x, 66, 64, 13});
    specs.push_back({IDC_SLOT_EDIT0 + i, K::MultiLineEdit, "", x, 83, 64, 42});
    specs.push_back({IDC_PORT_LABEL0 + i, K::PortLabel, "", 38 + 66 * i, 132, 36, 13});
  }
  return specs;
}

QPlainTextEdit* MakeEdit(QWidget* parent, bool verticalScrollBar) {
  auto* edit = new QPlainTextEdit(parent);
  edit->setVerticalScrollBarPolicy(verticalScrollBar ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  return edit;
}

QWidget* MakeFrame(QWidget* parent, QFrame::Shape shape, QFrame::Shadow shadow) {
  auto* frame = new QFrame(parent);
  frame->setFrameShape(shape);
  frame->setFrameShadow(shadow);
  return frame;
}

QWidget* MakeWidget(const ControlSpec& spec, QWidget* parent) {
  const QString text = QString::fromUtf8(spec.text);
  switch (spec.kind) {
    case K::Banner: {
      auto* banner = new CTarnColorST(text, parent);
      banner->setAlignment(Qt::AlignCenter);
      return banner;
    }
    case K::GroupBox: return new QGroupBox(text, parent);
    case K::ProgressBar: return new CTextProgressCtrl(parent);
    case K::MultiLineEdit: return MakeEdit(parent, false);
    case K::MainEdit: return MakeEdit(parent, true);
    case K::EtchedLine: return MakeFrame(parent, QFrame::HLine, QFrame::Sunken);
    case K::PortLabel: {
      auto* label = new QLabel(parent);
      label->setAlignment(Qt::AlignCenter);
      label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      return label;
    }
    case K::CheckBox: return new QCheckBox(text, parent);
    case K::DropList: return new CXTipComboBox(parent);
    case K::PushButton:
    case K::DefaultButton:
    case K::HiddenButton: {
      // Framed push buttons in the platform's style: a pressed look and a
      // focus mark, which flat buttons do not draw.
      auto* button = new QPushButton(text, parent);
      button->setDefault(spec.kind == K::DefaultButton);
      button->setAutoDefault(false);
      if (spec.kind == K::HiddenButton) button->hide();
      return button;
    }
    case K::HiddenStatic: {
      auto* label = new QLabel(text, parent);
      label->hide();
      return label;
    }
    case K::Static: return new QLabel(text, parent);
  }
  return nullptr;
}

// A drop-down list's rectangle includes its opened list; closed, it is only
// as tall as its text needs.
QRect PlaceOf(const ControlSpec& spec, QWidget* widget, const DialogBaseUnits& base) {
  QRect rect = DluRectToPixels(spec.x, spec.y, spec.width, spec.height, base);
  if (spec.kind == K::DropList) rect.setHeight(std::min(rect.height(), widget->sizeHint().height()));
  return rect;
}

}  // namespace

std::map<int, QWidget*> BuildLayout(QWidget* dialog, const DialogBaseUnits& base) {
  std::map<int, QWidget*> controls;
  std::vector<ControlSpec> specs = FixedControls();
  const std::vector<ControlSpec> perSlot = SlotControls();
  specs.insert(specs.begin() + 2, perSlot.begin(), perSlot.end());
  for (const ControlSpec& spec : specs) {
    QWidget* widget = MakeWidget(spec, dialog);
    widget->setGeometry(PlaceOf(spec, widget, base));
    if (spec.id != 0) {
      widget->setObjectName(QString::number(spec.id));
      controls[spec.id] = widget;
    }
  }
  // Group boxes are drawn below the controls they frame.
  for (QGroupBox* group : dialog->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly)) group->lower();
  return controls;
}

}  // namespace tarn::window
