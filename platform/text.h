// SPDX-License-Identifier: Apache-2.0
// Wide and narrow text.
//
// Text inside the system is wide (wchar_t). Narrow text converts with the
// process locale's multibyte encoding, which hosts set from the user's locale
// at start-up (InitProcessLocale). Bytes that the encoding cannot convert are
// kept one for one, so a name never vanishes in conversion.
//
// Wide formats in this code base use "%ls" for a wide string argument, which
// is what glibc's wide printf wants.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>

namespace tarn::platform {

void InitProcessLocale();

std::wstring Widen(std::string_view narrow);
std::string Narrow(std::wstring_view wide);
// UTF-8 whatever the locale, for records read elsewhere (JSON, the journal);
// what is no character becomes U+FFFD.
std::string Utf8Of(std::wstring_view wide);

// Formats into a buffer of `capacity` characters: at most capacity - 1
// characters come out, longer output is cut (never dropped).
std::wstring VFormatW(std::size_t capacity, const wchar_t* format, va_list args);
std::wstring FormatW(std::size_t capacity, const wchar_t* format, ...);
std::string VFormatA(std::size_t capacity, const char* format, va_list args);
std::string FormatA(std::size_t capacity, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Copies `source` into a fixed field of `capacity` characters, cutting it to
// capacity - 1 and terminating it.
void CopyCut(wchar_t* field, std::size_t capacity, std::wstring_view source);

// Case folding of the ASCII letters only. File, member, nation and platform
// names are matched this way: the C library's folding follows the locale, and
// under a Turkish one 'i' and 'I' are not each other's case.
constexpr wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; }
constexpr wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; }
constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
bool EqualsAsciiNoCase(std::wstring_view a, std::wstring_view b);
std::wstring AsciiLowered(std::wstring_view text);

}  // namespace tarn::platform
