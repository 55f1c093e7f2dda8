// SPDX-License-Identifier: Apache-2.0
// The window's saved settings as read from their INI file: the three image
// paths, the nation and the station's metrics file, which is checked only once the nation list is known
// (a CSC image loaded from the settings may change it).
#pragma once

#include <QString>

class QSettings;

namespace tarn::window {

struct SavedSettings {
  QString pda;
  QString phone;
  QString csc;
  int nation = 0;  // as saved; a value that is not a number reads as the first entry
  // The station's metrics file, set by hand (the window never writes it);
  // empty for none.
  QString metricsFile;
};

// Reads the "Settings" group of `settings`.
SavedSettings ReadSavedSettings(QSettings& settings);

// The entry to select in a nation list of `nationCount` entries: the saved
// one when it lies in the list, otherwise -1 (nothing selected).
int NationIndex(const SavedSettings& saved, int nationCount);

}  // namespace tarn::window
