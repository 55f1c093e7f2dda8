// SPDX-License-Identifier: Apache-2.0
// SHA-256 of a whole file, as sha256sum prints it: which firmware went into
// a phone, in a form anyone can check against the image on their own disk.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tarn::sha256 {

// Called after each read with the bytes hashed so far.
using Progress = std::function<void(std::uint64_t bytesDone)>;

// 64 lower-case hexadecimal digits of the file's SHA-256; nullopt, with why
// in *error ("<path>: <system error>"), when it cannot be opened or read.
std::optional<std::string> FileDigest(const std::string& path, std::string* error, const Progress& progress = {});

}  // namespace tarn::sha256
