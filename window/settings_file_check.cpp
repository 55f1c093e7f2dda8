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
  ValueWalk(const QByteArray& text, qsizetype at, qsizetype end) : text_(text), at_(at), end_(end) {}

  bool HoldsEncodedElement() {
    SkipSpaces();
    while (at_ < end_) {
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
    while (at_ < end_ && (text_.at(at_) == ' ' || text_.at(at_) == '\t')) ++at_;
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
    while (at_ < end_ && DigitOf(text_.at(at_), base) >= 0) {
      value = (value * static_cast<unsigned>(base) + static_cast<unsigned>(DigitOf(text_.at(at_), base))) & 0xFFFF;
      ++at_;
    }
    Produce(value == '@');
  }

  void Escape() {
    ++at_;  // the backslash
    if (at_ >= end_) return;
    const char c = text_.at(at_++);
    if (std::strchr("abfnrtv\"?'\\", c) != nullptr) {
      Produce(false);
    } else if (c == 'x') {
      if (at_ < end_ && DigitOf(text_.at(at_), 16) >= 0) Number(16);
    } else if (c >= '0' && c <= '7') {
      --at_;
      Number(8);
    } else if (c == '\n' || c == '\r') {
      // A line continued: the line break pair is skipped.
      if (at_ < end_ && (text_.at(at_) == '\n' || text_.at(at_) == '\r') && text_.at(at_) != c) ++at_;
    }
    // Any other escaped character stands for nothing.
  }

  const QByteArray& text_;
  qsizetype at_;
  const qsizetype end_;
  bool quoted_ = false;
  int produced_ = 0;
  bool first_[2] = {false, false};
};

bool IsLineBreak(char c) { return c == '\n' || c == '\r'; }

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v' || IsLineBreak(c); }

// One line as the INI reader splits the text: from its first non-space
// character to a line break or ";" outside quotes. Quotes carry on over line
// breaks, and a backslash takes the next character (and a line break pair)
// with it. "=" is the first one outside quotes, or -1.
struct LogicalLine {
  qsizetype start = 0;
  qsizetype end = 0;
  qsizetype equals = -1;
};

LogicalLine ReadLogicalLine(const QByteArray& text, qsizetype at) {
  LogicalLine line;
  while (at < text.size() && IsSpace(text.at(at))) ++at;
  line.start = at;
  bool quoted = false;
  while (at < text.size()) {
    const char c = text.at(at++);
    if (c == '=') {
      if (!quoted && line.equals < 0) line.equals = at - 1;
    } else if (IsLineBreak(c) || c == ';') {
      if (c == ';' && at == line.start + 1) {
        // A comment: up to the end of its physical line, then the next line.
        while (at < text.size() && !IsLineBreak(text.at(at))) ++at;
        while (at < text.size() && IsSpace(text.at(at))) ++at;
        line.start = at;
      } else if (!quoted) {
        --at;
        break;
      }
    } else if (c == '\\' && at < text.size()) {
      const char escaped = text.at(at++);
      if (at < text.size() && IsLineBreak(escaped) && IsLineBreak(text.at(at)) && text.at(at) != escaped) ++at;
    } else if (c == '"') {
      quoted = !quoted;
    }
  }
  line.end = at;
  return line;
}

bool ValueHoldsEncodedElement(const QByteArray& text, qsizetype equals, qsizetype end) {
  return equals >= 0 && equals < end && ValueWalk(text, equals + 1, end).HoldsEncodedElement();
}

// Every logical line's value as the reader sees it. Logical lines share no
// character, so the whole walk is linear in the text.
bool AnyLogicalValueEncoded(const QByteArray& text) {
  qsizetype at = 0;
  while (at < text.size()) {
    const LogicalLine line = ReadLogicalLine(text, at);
    const bool section = line.start < line.end && text.at(line.start) == '[';
    if (!section && ValueHoldsEncodedElement(text, line.equals, line.end)) return true;
    at = line.end > at ? line.end : at + 1;
  }
  return false;
}

// Each physical line's value too, bounded by that line, in case a reader
// splits lines differently (a stray quote above a key must not hide it).
bool AnyPhysicalValueEncoded(const QByteArray& text) {
  qsizetype line = 0;
  while (line < text.size()) {
    qsizetype end = line;
    qsizetype equals = -1;
    for (; end < text.size() && !IsLineBreak(text.at(end)); ++end) {
      if (equals < 0 && text.at(end) == '=') equals = end;
    }
    const bool section = line < end && text.at(line) == '[';
    if (!section && ValueHoldsEncodedElement(text, equals, end)) return true;
    line = end + 1;
  }
  return false;
}

}  // namespace

bool HoldsEncodedValue(const QByteArray& text) { return AnyLogicalValueEncoded(text) || AnyPhysicalValueEncoded(text); }

}  // namespace tarn::window
