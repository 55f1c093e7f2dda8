// SPDX-License-Identifier: Apache-2.0
// Walking a tar archive as ordinary archivers write it (ustar, GNU and pax
// forms) through a read-at-offset function. Only regular files come out as
// members. The records that describe the next entry (pax headers, GNU long
// names) give it its name and size and are never members themselves;
// directories, links and macOS resource forks are passed over.
//
// The job's archive index and START's size walk both read archives through
// this one reader, so that what START counts is what the job sends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "wire/tar_header.h"

// Enough of a member's data to see whether it starts with an info block.
constexpr std::size_t kTarPeekBytes = 72;

// A tar size field: octal digits, optionally led by spaces and ended by NUL,
// spaces or the field's end (bytes after a NUL are not read). false for any
// other character or a value that does not fit 32 bits.
bool ParseOctalField(const char* field, std::size_t width, std::uint32_t* value);
// The same for NUL-ended text; -1 when it is not such a number.
std::int64_t ParseOctal(const char* text);

// Copies `size` bytes at `offset` of the image to `destination`; false when
// they cannot all be read (the function leaves its own error code).
using TarReadAt = std::function<bool(std::uint64_t offset, void* destination, std::size_t size)>;

struct TarEntry {
  std::wstring name;  // "./" in front removed
  std::uint32_t dataOffset = 0;
  std::uint32_t size = 0;
  // The first data bytes; zero past the member's end.
  std::uint8_t peek[kTarPeekBytes] = {};
  // Why a Skipped entry is not sent ("a directory", ...).
  const wchar_t* skipReason = L"";
};

enum class TarStep {
  Member,      // a file whose data lies inside the image
  Skipped,     // an entry that is not sent (see skipReason)
  End,         // a zero block or the end of the image
  Broken,      // Problem() says why
  ReadFailed,  // the read function failed
};

class TarReader {
 public:
  TarReader(TarReadAt read, std::uint32_t imageSize) : read_(std::move(read)), imageSize_(imageSize) {}

  TarStep Next(TarEntry* entry);
  // After Broken: what is wrong, for a line that begins "e - ".
  const std::wstring& Problem() const { return problem_; }

 private:
  TarStep Fail(std::wstring problem);
  // Reads a pax or GNU long-name record into the pending name and size;
  // the step to end with when that fails.
  std::optional<TarStep> ReadRecord(char type, std::uint64_t dataOffset, std::uint32_t size);

  TarReadAt read_;
  std::uint64_t imageSize_;
  std::uint64_t next_ = 0;  // offset of the next header
  std::optional<std::string> pendingName_;
  std::optional<std::uint32_t> pendingSize_;
  std::wstring problem_;
};

// Reads `reader` to the end of its archive: each member goes to `onMember`,
// which may stop the walk by answering false; each entry that is not sent
// goes to `onSkipped`. Answers End, Broken or ReadFailed as the reader ended,
// or Member when `onMember` stopped the walk.
template <typename OnMember, typename OnSkipped>
TarStep WalkTar(TarReader& reader, OnMember onMember, OnSkipped onSkipped) {
  for (;;) {
    TarEntry entry;
    const TarStep step = reader.Next(&entry);
    if (step == TarStep::Skipped) {
      onSkipped(entry);
    } else if (step != TarStep::Member) {
      return step;
    } else if (!onMember(entry)) {
      return step;
    }
  }
}
