// SPDX-License-Identifier: Apache-2.0
#include "platform/port_names.h"

#include <charconv>

namespace tarn::platform {
namespace {

constexpr std::string_view kDmStem = "qxcdmdm";
constexpr std::string_view kEmStem = "qxcemdm";
constexpr std::string_view kPortStem = "COM";

std::string_view StemOf(ValueKind kind) { return kind == ValueKind::Dm ? kDmStem : kEmStem; }

// The number `digits` spells as std::to_string spells it, or nullopt.
std::optional<int> CanonicalNumber(std::string_view digits) {
  unsigned value = 0;
  const char* end = digits.data() + digits.size();
  const auto [at, ec] = std::from_chars(digits.data(), end, value);
  if (ec != std::errc() || at != end || (digits.size() > 1 && digits[0] == '0')) return std::nullopt;
  return value < static_cast<unsigned>(kValueIndexCount) ? std::optional<int>(static_cast<int>(value)) : std::nullopt;
}

}  // namespace

std::string MakeValueName(ValueKind kind, int index) { return std::string(StemOf(kind)) + std::to_string(index); }

std::optional<ValueName> ParseValueName(std::string_view name) {
  for (ValueKind kind : {ValueKind::Dm, ValueKind::Em}) {
    const std::string_view stem = StemOf(kind);
    if (name.substr(0, stem.size()) != stem) continue;
    if (const auto index = CanonicalNumber(name.substr(stem.size()))) return ValueName{kind, *index};
    return std::nullopt;
  }
  return std::nullopt;
}

std::string MakePortName(int comNumber) { return std::string(kPortStem) + std::to_string(comNumber); }

int ParseComNumber(std::string_view portName) {
  if (portName.substr(0, kPortStem.size()) != kPortStem) return 0;
  unsigned value = 0;
  const char* end = portName.data() + portName.size();
  if (std::from_chars(portName.data() + kPortStem.size(), end, value).ec != std::errc()) return 0;
  if (value < 1 || value > static_cast<unsigned>(kHighestComNumber)) return 0;
  return static_cast<int>(value);
}

}  // namespace tarn::platform
