// SPDX-License-Identifier: Apache-2.0
// Live per-slot progress bars on a terminal (standard error), redrawn in place.
#pragma once

#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace tarn::cli {

class ProgressView {
 public:
  // `colour` false under NO_COLOR.
  ProgressView(std::FILE* terminal, bool colour);

  // True when `stream` is a terminal, the only place the bars make sense.
  static bool IsTerminal(std::FILE* stream);

  void Attach(int slot, int port);
  void Progress(int slot, int overall, int file);
  void Status(int slot, const std::wstring& text);
  void Finish(int slot, bool passed);

  // Redraws if anything changed and the last drawing is old enough (about
  // ten times a second); `force` draws now.
  void Draw(bool force = false);
  // Removes the bars so that other output can go to the same terminal; the
  // next Draw puts them back.
  void Erase();

  // The lines as drawn, each cut to `width` columns (without colour).
  std::vector<std::string> Render(int width) const;

 private:
  struct Slot {
    bool used = false;
    int port = 0;
    int overall = 0;
    int file = 0;
    std::string status;
    int result = 0;  // 0 running, 1 passed, -1 failed
  };
  int Width() const;

  std::FILE* terminal_;
  bool colour_;
  std::array<Slot, 8> slots_{};
  int drawnLines_ = 0;
  bool dirty_ = true;
  std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace tarn::cli
