// SPDX-License-Identifier: Apache-2.0
// A real operator window on the offscreen platform, with its serial-port map,
// its settings and its log records kept in a temporary folder of the test.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QScreen>
#include <QString>

#include "tests/testsupport/temp_dir.h"
#include "window/close_confirmer.h"
#include "window/file_picker.h"
#include "window/kelpa3_multi_dlg.h"

namespace tarn::test {

constexpr double kWindowTestClockScale = 0.01;

// Answers the window's file dialogs from a queue; records what it was asked.
class FakeFilePicker : public tarn::window::IFilePicker {
 public:
  std::optional<QString> PickFile(QWidget* parent, const QString& initialFile, const QString& filter) override;
  std::deque<std::optional<QString>> answers;
  QString lastInitialFile;
  QString lastFilter;
};

// Answers the window's question on closing during a batch; counts the questions.
class FakeCloseConfirmer : public tarn::window::ICloseConfirmer {
 public:
  bool ConfirmCloseDuringBatch(QWidget*) override {
    ++asked;
    return answer;
  }
  bool answer = true;
  int asked = 0;
};

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;
  void TearDown() override;

  // Creates the window (once per test unless closed with CloseWindow).
  CKelpa3MultiDlg& OpenWindow();
  // COM3 and COM4 in slots 0 and 1, ports that are no phones (their jobs
  // give up), and a phone binary chosen.
  CKelpa3MultiDlg& OpenWithTwoPorts();
  // Closes the window as the operator does: settings are saved.
  void CloseWindow();
  CKelpa3MultiDlg& Window() { return *window_; }
  FakeFilePicker& Picker() { return *picker_; }
  FakeCloseConfirmer& Confirmer() { return *confirmer_; }

  // Publishes COM<com> in the serial-port map under `name`.
  void RegisterPort(const std::string& name, int com);
  void UnregisterPort(const std::string& name, int com);

  // Log records seen so far that contain `fragment`.
  int CountLogged(const std::string& fragment) const;
  void ClearLog();

  QString PortLabel(int slot) const;
  // The test screens: "desk" (where windows open unless the pointer is
  // moved) and "small", which the window's layout does not fit.
  static QScreen* Screen(const char* name);

  std::unique_ptr<TempDir> dir_;

 private:
  std::unique_ptr<CKelpa3MultiDlg> window_;
  FakeFilePicker* picker_ = nullptr;
  FakeCloseConfirmer* confirmer_ = nullptr;
  mutable std::mutex logLock_;
  std::vector<std::string> log_;
};

}  // namespace tarn::test
