// SPDX-License-Identifier: Apache-2.0
#include "cli/progress_view.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "cli/output_streams.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace tarn::cli {

namespace {

constexpr DWORD kRedrawIntervalMs = 100;
// Often enough to show that a long batch lives, rarely enough for a log file.
constexpr DWORD kLinesIntervalMs = 5000;
constexpr int kBarWidth = 20;
constexpr int kMinBarWidth = 4;
// A slot line without its two bars and without its slot and COM numbers, at
// its longest: "[    ] COM file [] 100% total [] 100%  STOPPED".
constexpr int kSlotLineWithoutBarsOrNumbers = 46;
constexpr int kDefaultWidth = 80;
constexpr double kMiB = 1024.0 * 1024.0;

std::string Bar(int percent, int width) {
  int filled = std::clamp(percent, 0, 100) * width / 100;
  return "[" + std::string(filled, '#') + std::string(width - filled, '.') + "]";
}

int Digits(int number) { return static_cast<int>(std::to_string(number).size()); }

// `text` padded with spaces to `width` columns, on the left or the right.
std::string Padded(const std::string& text, int width, bool right) {
  const std::string pad(text.size() < static_cast<std::size_t>(width) ? width - text.size() : 0, ' ');
  return right ? pad + text : text + pad;
}

std::string Percent(int percent) {
  // Right-aligned in five columns: " 100%", "  50%".
  std::string text = std::to_string(percent) + "%";
  return std::string(text.size() < 5 ? 5 - text.size() : 1, ' ') + text;
}

// m:ss, or h:mm:ss from an hour on.
std::string Duration(std::uint64_t ms) {
  const std::uint64_t seconds = ms / 1000;
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned long long>(seconds / 60 % 60), static_cast<unsigned long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
  }
  return text;
}

// Cuts at `width` display columns; the bytes of a multibyte character are
// never split because continuation bytes do not count as columns.
std::string CutToWidth(const std::string& line, int width) {
  int columns = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if ((static_cast<unsigned char>(line[i]) & 0xC0) == 0x80) continue;
    if (columns == width) return line.substr(0, i);
    ++columns;
  }
  return line;
}

// Green, red and yellow, as a finished slot's line is drawn.
const char* ColourOf(SlotResult result) {
  switch (result) {
    case SlotResult::Pass: return "\x1b[32m";
    case SlotResult::Stopped: return "\x1b[33m";
    case SlotResult::Fail: break;
  }
  return "\x1b[31m";
}

}  // namespace

ProgressView::ProgressView(std::FILE* terminal, bool colour, Mode mode)
    : terminal_(terminal), colour_(colour), mode_(mode), startTick_(GetTickCount()), lastTick_(startTick_) {}

bool ProgressView::IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

ProgressView::Mode ProgressView::ModeFor(bool isTerminal, const char* term) {
  const bool canMoveCursor = term != nullptr && *term != '\0' && std::strcmp(term, "dumb") != 0;
  return isTerminal && canMoveCursor ? Mode::Bars : Mode::Lines;
}

void ProgressView::SetJobBytes(std::uint64_t bytes) { jobBytes_ = bytes; }

void ProgressView::Attach(int slot, int port) {
  if (!Valid(slot)) return;
  slots_[slot] = Slot{};
  slots_[slot].used = true;
  slots_[slot].port = port;
  dirty_ = true;
}

void ProgressView::Progress(int slot, int overall, int file) {
  if (!Valid(slot)) return;
  slots_[slot].overall = overall;
  slots_[slot].file = file;
  dirty_ = true;
}

void ProgressView::Status(int slot, const std::wstring& text) {
  if (!Valid(slot)) return;
  std::string status = platform::Narrow(text);
  std::replace(status.begin(), status.end(), '\n', ' ');
  std::replace(status.begin(), status.end(), '\r', ' ');
  slots_[slot].status = status;
  dirty_ = true;
}

void ProgressView::Finish(int slot, SlotResult result) {
  if (!Valid(slot)) return;
  slots_[slot].finished = true;
  slots_[slot].result = result;
  // The job's last percentages are rounded down; a passed job sent everything.
  if (result == SlotResult::Pass) slots_[slot].overall = slots_[slot].file = 100;
  slots_[slot].status = ResultName(result);
  slots_[slot].waitSeconds = 0;
  dirty_ = true;
}

void ProgressView::Waiting(int slot, unsigned seconds) {
  if (!Valid(slot)) return;
  slots_[slot].waitSeconds = seconds;
  dirty_ = true;
}

ProgressView::Columns ProgressView::ColumnsOfSlots() const {
  Columns columns;
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    if (!slots_[i].used) continue;
    columns.slot = std::max(columns.slot, Digits(static_cast<int>(i)));
    columns.port = std::max(columns.port, Digits(slots_[i].port));
  }
  return columns;
}

std::string ProgressView::SlotLine(int index, Columns columns, int barWidth) const {
  const Slot& s = slots_[index];
  return "[  " + Padded(std::to_string(index), columns.slot, true) + "  ] " +
         Padded("COM" + std::to_string(s.port), 3 + columns.port, false) + " file" + Gauge(s.file, barWidth) +
         " total" + Gauge(s.overall, barWidth) + "  " + s.status;
}

std::string ProgressView::Gauge(int percent, int barWidth) const {
  return (mode_ == Mode::Bars ? " " + Bar(percent, barWidth) : std::string()) + Percent(percent);
}

std::string ProgressView::WaitTail() const {
  unsigned longest = 0;
  for (const Slot& s : slots_) {
    if (!s.used || s.finished) continue;
    if (s.waitSeconds == 0) return {};  // a slot still sends: the time left says more
    const unsigned left = s.waitSeconds * static_cast<unsigned>(100 - std::clamp(s.file, 0, 100)) / 100;
    longest = std::max(longest, left);
  }
  return longest == 0 ? std::string() : "waiting for the phones to finish, at most " + Duration(longest * 1000ULL);
}

std::string ProgressView::BatchLine(DWORD elapsedMs, int barWidth) const {
  // In percent points of one job: what the slots have sent and what the
  // running ones still have to send. A finished slot has nothing left.
  std::uint64_t done = 0, left = 0;
  for (const Slot& s : slots_) {
    if (!s.used) continue;
    const int overall = std::clamp(s.overall, 0, 100);
    done += static_cast<std::uint64_t>(overall);
    if (!s.finished) left += static_cast<std::uint64_t>(100 - overall);
  }
  const int percent = done + left == 0 ? 0 : static_cast<int>(done * 100 / (done + left));
  std::string rate = "-";
  if (jobBytes_ > 0 && elapsedMs > 0) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f",
                  static_cast<double>(done) / 100.0 * static_cast<double>(jobBytes_) / kMiB / (elapsedMs / 1000.0));
    rate = text;
  }
  // At the batch's average pace so far.
  const std::string head = "batch" + Gauge(percent, barWidth) + "  elapsed " + Duration(elapsedMs) + "  ";
  if (const std::string wait = WaitTail(); !wait.empty()) return head + wait;
  const std::string remaining = left == 0 ? Duration(0) : done == 0 ? "-:--" : Duration(elapsedMs * left / done);
  return head + rate + " MiB/s  left " + remaining;
}

std::vector<std::string> ProgressView::Render(int width, DWORD elapsedMs) const {
  std::vector<std::string> lines;
  const Columns columns = ColumnsOfSlots();
  // Narrower bars on a narrow terminal, so that a finished slot's PASS, FAIL
  // or STOPPED still shows at the end of its line.
  const int fixed = kSlotLineWithoutBarsOrNumbers + columns.slot + columns.port;
  const int bar = std::clamp((width - fixed) / 2, kMinBarWidth, kBarWidth);
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    if (slots_[i].used) lines.push_back(CutToWidth(SlotLine(static_cast<int>(i), columns, bar), width));
  }
  if (!lines.empty()) lines.push_back(CutToWidth(BatchLine(elapsedMs, bar), width));
  return lines;
}

int ProgressView::Width() const {
  winsize size{};
  if (ioctl(fileno(terminal_), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return kDefaultWidth;
}

void ProgressView::Draw(bool force) {
  const DWORD now = GetTickCount();
  const DWORD elapsed = now - startTick_;
  if (mode_ == Mode::Lines) {
    if (!force && now - lastTick_ < kLinesIntervalMs) return;
    std::string out;
    for (const auto& line : Render(INT_MAX, elapsed)) out += line + "\n";
    WriteStream(terminal_, out);
  } else {
    // The elapsed time moves on while the phones are silent: redraw each second too.
    const bool changed = dirty_ || elapsed / 1000 != (lastTick_ - startTick_) / 1000;
    if (!force && (!changed || now - lastTick_ < kRedrawIntervalMs)) return;
    // One column less than the terminal so that no line wraps.
    DrawBars(Render(std::max(1, Width() - 1), elapsed));
  }
  dirty_ = false;
  lastTick_ = now;
}

void ProgressView::DrawBars(const std::vector<std::string>& lines) {
  std::string out;
  if (drawnLines_ > 0) out += "\x1b[" + std::to_string(drawnLines_) + "A";
  for (std::size_t i = 0; i < lines.size(); ++i) {
    out += "\r\x1b[2K";
    const char* colour = nullptr;
    for (std::size_t k = 0, used = 0; k < slots_.size(); ++k) {
      if (slots_[k].used && used++ == i && slots_[k].finished) colour = ColourOf(slots_[k].result);
    }
    if (colour_ && colour) out += colour;
    out += lines[i];
    if (colour_ && colour) out += "\x1b[0m";
    out += "\n";
  }
  WriteStream(terminal_, out);
  drawnLines_ = static_cast<int>(lines.size());
}

void ProgressView::Erase() {
  if (drawnLines_ == 0) return;
  std::string out = "\x1b[" + std::to_string(drawnLines_) + "A\r\x1b[J";
  WriteStream(terminal_, out);
  drawnLines_ = 0;
  dirty_ = true;
}

}  // namespace tarn::cli
