// SPDX-License-Identifier: Apache-2.0
#include "window/settings_file_check.h"

#include <cstring>

namespace tarn::window {
namespace {

// Walks one value from just after its "=" to the end of its line, producing
// the first two characters of every element as the INI reader would: quotes
// toggle, spaces before an element and after a closing quote are dropped, a
// backslash escape stands for one character (or none), and a comma outside
// quotes starts the next element. Characters are compared only with "@", so
// bytes of other characters count as "not @".
class ValueWalk {
 public:
  ValueWalk(const QByteArray& text, qsizetype at) : text_(text), at_(at) {}

  bool HoldsEncodedElement() {
    SkipSpaces();
    while (at_ < text_.size()) {
      const char c = text_.at(at_);
      if ((c == '\n' || c == '\r') && !quoted_) break;
      if (c == '"') {
        ++at_;
        quoted_ = !quoted_;
        if (!quoted_) SkipSpaces();
      } else if (c == ',' && !quoted_) {
        if (Encoded()) return true;
        ++at_;
        produced_ = 0;
        SkipSpaces();
      } else if (c == '\\') {
        Escape();
      } else {
        ++at_;
        Produce(c == '@');
      }
    }
    return Encoded();
  }

 private:
  void SkipSpaces() {
    while (at_ < text_.size() && (text_.at(at_) == ' ' || text_.at(at_) == '\t')) ++at_;
  }

  void Produce(bool at) {
    if (produced_ < 2) first_[produced_] = at;
    ++produced_;
  }

  bool Encoded() const { return produced_ >= 2 && first_[0] && !first_[1]; }

  static int DigitOf(char c, int base) {
    const char* digits = "0123456789abcdef";
    const char lower = static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
    const char* found = lower != 0 ? std::strchr(digits, lower) : nullptr;
    return found != nullptr && found - digits < base ? static_cast<int>(found - digits) : -1;
  }

  // A value of digits after "\x" (hex) or "\" (octal), kept in 16 bits.
  void Number(int base) {
    unsigned value = 0;
    while (at_ < text_.size() && DigitOf(text_.at(at_), base) >= 0) {
      value = (value * static_cast<unsigned>(base) + static_cast<unsigned>(DigitOf(text_.at(at_), base))) & 0xFFFF;
      ++at_;
    }
    Produce(value == '@');
  }

  void Escape() {
    ++at_;  // the backslash
    if (at_ >= text_.size()) return;
    const char c = text_.at(at_++);
    if (std::strchr("abfnrtv\"?'\\", c) != nullptr) {
      Produce(false);
    } else if (c == 'x') {
      if (at_ < text_.size() && DigitOf(text_.at(at_), 16) >= 0) Number(16);
    } else if (c >= '0' && c <= '7') {
      --at_;
      Number(8);
    } else if (c == '\n' || c == '\r') {
      // A line continued: the line break pair is skipped.
      if (at_ < text_.size() && (text_.at(at_) == '\n' || text_.at(at_) == '\r') && text_.at(at_) != c) ++at_;
    }
    // Any other escaped character stands for nothing.
  }

  const QByteArray& text_;
  qsizetype at_;
  bool quoted_ = false;
  int produced_ = 0;
  bool first_[2] = {false, false};
};

}  // namespace

bool HoldsEncodedValue(const QByteArray& text) {
  qsizetype line = 0;
  while (line < text.size()) {
    qsizetype end = line;
    while (end < text.size() && text.at(end) != '\n' && text.at(end) != '\r') ++end;
    const qsizetype equals = text.indexOf('=', line);
    const bool section = line < text.size() && text.at(line) == '[';
    if (!section && equals >= 0 && equals < end && ValueWalk(text, equals + 1).HoldsEncodedElement()) return true;
    line = end + 1;
  }
  return false;
}

}  // namespace tarn::window
