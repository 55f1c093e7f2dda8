// SPDX-License-Identifier: Apache-2.0
// Live per-slot progress on standard error: bars redrawn in place on a
// terminal that can move its cursor, else plain lines every few seconds.
// A finished slot shows PASS, FAIL or STOPPED (green, red or yellow bars).
// Below the slots, the batch's total with elapsed time, rate and time left.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/flash_report.h"
#include "platform/port_names.h"
#include "platform/win_types.h"

namespace tarn::cli {

class ProgressView {
 public:
  enum class Mode {
    Bars,   // redrawn in place with cursor movement
    Lines,  // whole lines only, for logs, pipes and dumb terminals
  };

  // `colour` false under NO_COLOR (bars only; lines never carry colour).
  ProgressView(std::FILE* terminal, bool colour, Mode mode = Mode::Bars);

  // True when `stream` is a terminal.
  static bool IsTerminal(std::FILE* stream);
  // Bars only on a terminal whose TERM is set and is not "dumb".
  static Mode ModeFor(bool isTerminal, const char* term);

  // Bytes one job sends, for the batch's rate and time left (0: unknown).
  void SetJobBytes(std::uint64_t bytes);

  void Attach(int slot, int port);
  void Progress(int slot, int overall, int file);
  void Status(int slot, const std::wstring& text);
  void Finish(int slot, SlotResult result);
  // The slot's job has sent everything and waits up to `seconds` for the
  // phone to finish (Factory Mode); its file percentage is that wait's.
  void Waiting(int slot, unsigned seconds);

  // Bars: redraws if anything changed and the last drawing is old enough
  // (about ten times a second). Lines: prints every few clock seconds.
  // `force` draws now.
  void Draw(bool force = false);
  // Removes the bars so that other output can go to the same terminal; the
  // next Draw puts them back. Lines need no removal.
  void Erase();

  // The lines as drawn `elapsedMs` clock milliseconds into the batch, each
  // cut to `width` columns (without colour).
  std::vector<std::string> Render(int width, DWORD elapsedMs) const;

 private:
  struct Slot {
    bool used = false;
    int port = 0;
    int overall = 0;
    int file = 0;
    std::string status;
    bool finished = false;
    unsigned waitSeconds = 0;              // in the completion wait of this many seconds
    SlotResult result = SlotResult::Fail;  // once finished
  };
  // Columns of the widest slot number and of the widest COM number shown,
  // so that every slot's bars start in the same column.
  struct Columns {
    int slot = 1;
    int port = 1;
  };
  int Width() const;
  bool Valid(int slot) const { return slot >= 0 && slot < static_cast<int>(slots_.size()); }
  Columns ColumnsOfSlots() const;
  std::string SlotLine(int index, Columns columns, int barWidth) const;
  // A bar of `barWidth` (bars only) and the percentage.
  std::string Gauge(int percent, int barWidth) const;
  std::string BatchLine(DWORD elapsedMs, int barWidth) const;
  // What the batch still waits for, once every unfinished slot only waits
  // for its phone: "waiting for the phones to finish, at most m:ss".
  std::string WaitTail() const;
  void DrawBars(const std::vector<std::string>& lines);

  std::FILE* terminal_;
  bool colour_;
  Mode mode_;
  std::uint64_t jobBytes_ = 0;
  DWORD startTick_;
  std::array<Slot, platform::kMostPhones> slots_{};
  int drawnLines_ = 0;
  bool dirty_ = true;
  DWORD lastTick_;  // when it last drew
};

}  // namespace tarn::cli
