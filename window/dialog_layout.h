// SPDX-License-Identifier: Apache-2.0
// The main window's controls: kind, text and rectangle (in dialog units) of
// every control, and the builder that creates them as child widgets.
#pragma once

#include <map>

#include <QWidget>

#include "window/dialog_units.h"

namespace tarn::window {

enum class ControlKind {
  Banner,  // title banner
  GroupBox,
  ProgressBar,
  MultiLineEdit,
  MainEdit,  // multi-line with a vertical scroll bar
  EtchedLine,
  PortLabel,  // centred, sunken static
  CheckBox,
  DropList,  // sorted drop-down list
  PushButton,
  DefaultButton,  // the default push button
  HiddenStatic,
  HiddenButton,
  Static,
};

struct ControlSpec {
  int id;  // 0: the control has no id
  ControlKind kind;
  const char* text;
  int x, y, width, height;  // dialog units
};

// Size of the dialog in dialog units.
constexpr int kDialogWidthDlu = 551;
constexpr int kDialogHeightDlu = 337;

// Creates every control of the layout as a child of `dialog`, placed by
// `base`, and returns the controls that have an id, by id.
std::map<int, QWidget*> BuildLayout(QWidget* dialog, const DialogBaseUnits& base);

}  // namespace tarn::window
