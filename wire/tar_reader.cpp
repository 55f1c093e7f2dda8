// SPDX-License-Identifier: Apache-2.0
#include "wire/tar_reader.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace {

// Long names and pax records are read whole; no real one comes near this.
constexpr std::uint32_t kMaxRecordBytes = 1u << 20;
constexpr std::size_t kProblemCapacity = 1024;
constexpr std::uint8_t kAppleDoubleMagic[4] = {0x00, 0x05, 0x16, 0x07};

std::string FieldText(const std::uint8_t* field, std::size_t width) {
  const char* text = reinterpret_cast<const char*>(field);
  return std::string(text, strnlen(text, width));
}

// The POSIX form keeps the front of long paths in the prefix field; the GNU
// form ("ustar  ") uses those bytes for other things.
std::string HeaderName(const std::uint8_t* header) {
  const std::string name = FieldText(header, kTarNameField);
  if (std::memcmp(header + kTarMagicOffset, "ustar\0", 6) != 0) return name;
  const std::string prefix = FieldText(header + kTarPrefixOffset, kTarPrefixField);
  return prefix.empty() ? name : prefix + "/" + name;
}

std::string WithoutDotSlash(std::string name) {
  while (name.size() > 2 && name.starts_with("./")) name.erase(0, 2);
  return name;
}

bool IsFileType(char type) { return type == '0' || type == '\0' || type == '7'; }

const wchar_t* SkipReasonOf(char type) {
  switch (type) {
    case '5': return L"a directory";
    case '1':
    case '2': return L"a link";
    default: return L"not a plain file";
  }
}

bool IsResourceFork(const std::wstring& name, const TarEntry& entry) {
  const std::size_t slash = name.find_last_of(L'/');
  const std::wstring_view base = std::wstring_view(name).substr(slash == std::wstring::npos ? 0 : slash + 1);
  return base.starts_with(L"._") && entry.size >= sizeof(kAppleDoubleMagic) &&
         std::memcmp(entry.peek, kAppleDoubleMagic, sizeof(kAppleDoubleMagic)) == 0;
}

bool ParseDecimal(std::string_view text, std::uint64_t limit, std::uint64_t* value) {
  if (text.empty()) return false;
  std::uint64_t result = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    result = result * 10 + static_cast<std::uint64_t>(c - '0');
    if (result > limit) return false;
  }
  *value = result;
  return true;
}

// Records "LENGTH key=value\n"; only the path and the size matter here.
bool ParsePax(std::string_view text, std::optional<std::string>* path, std::optional<std::uint32_t>* size) {
  while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
  while (!text.empty()) {
    const std::size_t space = text.find(' ');
    std::uint64_t length = 0;
    if (space == std::string_view::npos || !ParseDecimal(text.substr(0, space), text.size(), &length)) return false;
    if (length < space + 2 || text[length - 1] != '\n') return false;
    const std::string_view record = text.substr(space + 1, length - space - 2);
    const std::size_t eq = record.find('=');
    if (eq == std::string_view::npos) return false;
    const std::string_view key = record.substr(0, eq), value = record.substr(eq + 1);
    std::uint64_t number = 0;
    if (key == "path") {
      *path = std::string(value);
    } else if (key == "size") {
      if (!ParseDecimal(value, 0xFFFFFFFFull, &number)) return false;
      *size = static_cast<std::uint32_t>(number);
    }
    text.remove_prefix(length);
  }
  return true;
}

}  // namespace

bool ParseOctalField(const char* field, std::size_t width, std::uint32_t* value) {
  std::size_t i = 0;
  while (i < width && field[i] == ' ') ++i;
  std::uint64_t result = 0;
  for (; i < width && field[i] != '\0' && field[i] != ' '; ++i) {
    if (field[i] < '0' || field[i] > '7') return false;
    result = result * 8 + static_cast<std::uint64_t>(field[i] - '0');
    if (result > 0xFFFFFFFFull) return false;
  }
  // Only spaces may follow the digits, up to a NUL; what follows the NUL is not read.
  for (; i < width && field[i] != '\0'; ++i) {
    if (field[i] != ' ') return false;
  }
  *value = static_cast<std::uint32_t>(result);
  return true;
}

std::int64_t ParseOctal(const char* text) {
  std::uint32_t value = 0;
  if (!ParseOctalField(text, std::strlen(text), &value)) return -1;
  return value;
}

TarStep TarReader::Fail(std::wstring problem) {
  problem_ = std::move(problem);
  return TarStep::Broken;
}

std::optional<TarStep> TarReader::ReadRecord(char type, std::uint64_t dataOffset, std::uint32_t size) {
  if (size > kMaxRecordBytes) {
    return Fail(tarn::platform::FormatW(kProblemCapacity, L"broken archive: the record at %llu is %u bytes long",
                                        static_cast<unsigned long long>(dataOffset - kTarBlock), size));
  }
  std::vector<char> data(size);
  if (size != 0 && !read_(dataOffset, data.data(), size)) return TarStep::ReadFailed;
  if (type == 'L') {
    // Not strnlen: an empty record's buffer may have no address at all.
    const auto end = std::find(data.begin(), data.end(), '\0');
    pendingName_ = std::string(data.begin(), end);
    return std::nullopt;
  }
  if (!ParsePax(std::string_view(data.data(), data.size()), &pendingName_, &pendingSize_)) {
    return Fail(tarn::platform::FormatW(kProblemCapacity, L"broken archive: the pax header at %llu is malformed",
                                        static_cast<unsigned long long>(dataOffset - kTarBlock)));
  }
  return std::nullopt;
}

TarStep TarReader::Next(TarEntry* entry) {
  for (;;) {
    if (next_ >= imageSize_) return TarStep::End;
    if (imageSize_ - next_ < kTarBlock) {
      return Fail(tarn::platform::FormatW(
          kProblemCapacity, L"broken archive: the header at %llu runs past the end of the image (%llu bytes)",
          static_cast<unsigned long long>(next_), static_cast<unsigned long long>(imageSize_)));
    }
    std::uint8_t block[kTarBlock + kTarPeekBytes] = {};
    const std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof(block), imageSize_ - next_));
    if (!read_(next_, block, got)) return TarStep::ReadFailed;
    if (block[0] == 0) return TarStep::End;
    const std::uint64_t dataOffset = next_ + kTarBlock;
    const char type = static_cast<char>(block[kTarTypeOffset]);
    const std::wstring shownName = tarn::platform::Widen(pendingName_.value_or(HeaderName(block)));
    const bool describesNext = type == 'L' || type == 'K' || type == 'x' || type == 'g';
    std::uint32_t size = 0;
    if (pendingSize_ && !describesNext) {
      size = *pendingSize_;
    } else if (!ParseOctalField(reinterpret_cast<const char*>(block) + kTarSizeOffset, kTarSizeField, &size)) {
      return Fail(tarn::platform::FormatW(
          kProblemCapacity, L"broken archive: the size field of \"%ls\" is not an octal number", shownName.c_str()));
    }
    if (size > imageSize_ - dataOffset) {
      return Fail(tarn::platform::FormatW(
          kProblemCapacity, L"broken archive: \"%ls\" (%u bytes at %llu) runs past the end of the image (%llu bytes)",
          shownName.c_str(), size, static_cast<unsigned long long>(dataOffset),
          static_cast<unsigned long long>(imageSize_)));
    }
    next_ = dataOffset + (std::uint64_t{size} + kTarBlock - 1) / kTarBlock * kTarBlock;
    if (type == 'L' || type == 'x') {
      if (const auto failed = ReadRecord(type, dataOffset, size)) return *failed;
      continue;
    }
    if (describesNext) continue;  // a long link target; global pax settings

    entry->name = tarn::platform::Widen(WithoutDotSlash(pendingName_.value_or(HeaderName(block))));
    pendingName_.reset();
    pendingSize_.reset();
    entry->dataOffset = static_cast<std::uint32_t>(dataOffset);
    entry->size = size;
    std::memset(entry->peek, 0, sizeof(entry->peek));
    std::memcpy(entry->peek, block + kTarBlock, std::min<std::size_t>({size, kTarPeekBytes, got - kTarBlock}));
    if (!IsFileType(type)) {
      entry->skipReason = SkipReasonOf(type);
      return TarStep::Skipped;
    }
    if (IsResourceFork(entry->name, *entry)) {
      entry->skipReason = L"a macOS resource fork";
      return TarStep::Skipped;
    }
    return TarStep::Member;
  }
}
