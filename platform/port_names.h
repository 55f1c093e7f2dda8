// SPDX-License-Identifier: Apache-2.0
// The names of the serial-port map, made and read in this one place: the
// value names the phone modem driver publishes (qxcdmdm<n>, qxcemdm<n>) and
// the port names their entries hold (COM<n>). Every registrar writes what
// these make, and every reader accepts only what these parse.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarn::platform {

// COM numbers run from 1 to this, wherever one is chosen or read.
constexpr int kHighestComNumber = 255;
// Phones one host drives at once (tarn-flash's --port and --wait, a
// station's cables); the window shows eight of them.
constexpr int kMostPhones = 32;
// Value-name indexes run from 0 to kValueIndexCount - 1.
constexpr int kValueIndexCount = 256;

enum class ValueKind { Dm, Em };  // qxcdmdm<n> or qxcemdm<n>

struct ValueName {
  ValueKind kind;
  int index;
};

std::string MakeValueName(ValueKind kind, int index);
// Only the names MakeValueName writes for indexes 0 to 255: no leading
// zeros, no sign, nothing after the number.
std::optional<ValueName> ParseValueName(std::string_view name);

std::string MakePortName(int comNumber);  // "COM7"
// The COM number of a port name: "COM" in capitals, then a decimal number
// from 1 to 255 (leading zeros and text after the digits are passed over);
// 0 when the text is no port name.
int ParseComNumber(std::string_view portName);

}  // namespace tarn::platform
