// SPDX-License-Identifier: Apache-2.0
#include "platform/text.h"

#include <climits>
#include <clocale>
#include <cstdio>
#include <cwchar>
#include <vector>

namespace tarn::platform {

void InitProcessLocale() { std::setlocale(LC_ALL, ""); }

std::wstring Widen(std::string_view narrow) {
  std::wstring out;
  out.reserve(narrow.size());
  std::mbstate_t state{};
  std::size_t i = 0;
  while (i < narrow.size()) {
    wchar_t wc = 0;
    const std::size_t n = std::mbrtowc(&wc, narrow.data() + i, narrow.size() - i, &state);
    if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) {
      // Not valid in this encoding: keep the byte as its own code point.
      out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(narrow[i])));
      state = std::mbstate_t{};
      ++i;
    } else if (n == 0) {
      out.push_back(L'\0');
      ++i;
    } else {
      out.push_back(wc);
      i += n;
    }
  }
  return out;
}

std::string Narrow(std::wstring_view wide) {
  std::string out;
  out.reserve(wide.size());
  std::mbstate_t state{};
  char buffer[MB_LEN_MAX];
  for (wchar_t wc : wide) {
    const std::size_t n = std::wcrtomb(buffer, wc, &state);
    if (n == static_cast<std::size_t>(-1)) {
      out.push_back(wc >= 0 && wc < 256 ? static_cast<char>(wc) : '?');
      state = std::mbstate_t{};
    } else {
      out.append(buffer, n);
    }
  }
  return out;
}

std::wstring VFormatW(std::size_t capacity, const wchar_t* format, va_list args) {
  if (capacity == 0) return {};
  // vswprintf reports -1 instead of cutting, so grow until the text fits and
  // cut it ourselves.
  std::size_t size = capacity;
  for (int attempt = 0; attempt < 12; ++attempt) {
    std::vector<wchar_t> buffer(size, L'\0');
    va_list copy;
    va_copy(copy, args);
    const int n = std::vswprintf(buffer.data(), buffer.size(), format, copy);
    va_end(copy);
    if (n >= 0) {
      std::wstring text(buffer.data(), static_cast<std::size_t>(n));
      if (text.size() > capacity - 1) text.resize(capacity - 1);
      return text;
    }
    size *= 4;
  }
  return {};
}

std::wstring FormatW(std::size_t capacity, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring text = VFormatW(capacity, format, args);
  va_end(args);
  return text;
}

std::string VFormatA(std::size_t capacity, const char* format, va_list args) {
  if (capacity == 0) return {};
  std::vector<char> buffer(capacity, '\0');
  const int n = std::vsnprintf(buffer.data(), buffer.size(), format, args);
  if (n < 0) return {};
  const std::size_t len = static_cast<std::size_t>(n) < capacity ? static_cast<std::size_t>(n) : capacity - 1;
  return std::string(buffer.data(), len);
}

std::string FormatA(std::size_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = VFormatA(capacity, format, args);
  va_end(args);
  return text;
}

void CopyCut(wchar_t* field, std::size_t capacity, std::wstring_view source) {
  if (capacity == 0) return;
  std::size_t n = 0;
  for (; n < source.size() && n < capacity - 1 && source[n] != L'\0'; ++n) field[n] = source[n];
  field[n] = L'\0';
}

}  // namespace tarn::platform

namespace tarn::platform {

bool EqualsAsciiNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

std::wstring AsciiLowered(std::wstring_view text) {
  std::wstring lowered(text);
  for (auto& c : lowered) c = AsciiLower(c);
  return lowered;
}

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string Utf8Of(std::wstring_view wide) {
  std::string out;
  for (wchar_t c : wide) AppendUtf8(out, static_cast<char32_t>(c));
  return out;
}

}  // namespace tarn::platform
