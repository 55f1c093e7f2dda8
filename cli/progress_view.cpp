// SPDX-License-Identifier: Apache-2.0
#include "cli/progress_view.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

#include "platform/text.h"

namespace tarn::cli {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kBarWidth = 20;
constexpr int kDefaultWidth = 80;

std::string Bar(int percent) {
  int filled = std::clamp(percent, 0, 100) * kBarWidth / 100;
  return "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "]";
}

std::string Percent(int percent) {
  // Right-aligned in five columns: " 100%", "  50%".
  std::string text = std::to_string(percent) + "%";
  return std::string(text.size() < 5 ? 5 - text.size() : 1, ' ') + text;
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

}  // namespace

ProgressView::ProgressView(std::FILE* terminal, bool colour) : terminal_(terminal), colour_(colour) {}

bool ProgressView::IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

void ProgressView::Attach(int slot, int port) {
  if (slot < 0 || slot >= 8) return;
  slots_[slot] = Slot{};
  slots_[slot].used = true;
  slots_[slot].port = port;
  dirty_ = true;
}

void ProgressView::Progress(int slot, int overall, int file) {
  if (slot < 0 || slot >= 8) return;
  slots_[slot].overall = overall;
  slots_[slot].file = file;
  dirty_ = true;
}

void ProgressView::Status(int slot, const std::wstring& text) {
  if (slot < 0 || slot >= 8) return;
  std::string status = platform::Narrow(text);
  std::replace(status.begin(), status.end(), '\n', ' ');
  std::replace(status.begin(), status.end(), '\r', ' ');
  slots_[slot].status = status;
  dirty_ = true;
}

void ProgressView::Finish(int slot, bool passed) {
  if (slot < 0 || slot >= 8) return;
  slots_[slot].result = passed ? 1 : -1;
  slots_[slot].status = passed ? "PASS" : "FAIL";
  dirty_ = true;
}

std::vector<std::string> ProgressView::Render(int width) const {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    const Slot& s = slots_[i];
    if (!s.used) continue;
    std::string line = "[  " + std::to_string(i) + "  ] COM" + std::to_string(s.port) + " file " + Bar(s.file) +
                       Percent(s.file) + " total " + Bar(s.overall) + Percent(s.overall) + "  " + s.status;
    lines.push_back(CutToWidth(line, width));
  }
  return lines;
}

int ProgressView::Width() const {
  winsize size{};
  if (ioctl(fileno(terminal_), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return kDefaultWidth;
}

void ProgressView::Draw(bool force) {
  auto now = std::chrono::steady_clock::now();
  if (!force && (!dirty_ || now - lastDraw_ < kRedrawInterval)) return;
  // One column less than the terminal so that no line wraps.
  std::vector<std::string> lines = Render(std::max(1, Width() - 1));
  std::string out;
  if (drawnLines_ > 0) out += "\x1b[" + std::to_string(drawnLines_) + "A";
  for (std::size_t i = 0; i < lines.size(); ++i) {
    out += "\r\x1b[2K";
    int result = 0;
    for (std::size_t k = 0, used = 0; k < slots_.size(); ++k) {
      if (slots_[k].used && used++ == i) result = slots_[k].result;
    }
    if (colour_ && result != 0) out += result > 0 ? "\x1b[32m" : "\x1b[31m";
    out += lines[i];
    if (colour_ && result != 0) out += "\x1b[0m";
    out += "\n";
  }
  std::fwrite(out.data(), 1, out.size(), terminal_);
  std::fflush(terminal_);
  drawnLines_ = static_cast<int>(lines.size());
  dirty_ = false;
  lastDraw_ = now;
}

void ProgressView::Erase() {
  if (drawnLines_ == 0) return;
  std::string out = "\x1b[" + std::to_string(drawnLines_) + "A\r\x1b[J";
  std::fwrite(out.data(), 1, out.size(), terminal_);
  std::fflush(terminal_);
  drawnLines_ = 0;
  dirty_ = true;
}

}  // namespace tarn::cli
