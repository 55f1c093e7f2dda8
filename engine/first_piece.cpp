// SPDX-License-Identifier: Apache-2.0
#include "engine/first_piece.h"

#include <optional>

#include "engine/archive_download.h"
#include "engine/kelpa3_engine.h"
#include "engine/tables.h"
#include "link/transfer.h"
#include "platform/file_mapping.h"
#include "platform/text.h"
#include "wire/partitions.h"
#include "wire/tar_reader.h"

namespace {

// Most phones greet with a loader of this version or later; a guess that
// proves wrong only costs the digest made ahead.
constexpr int kLikelyLoaderVersion = 7;

struct Piece {
  DWORD offset;
  DWORD size;
};

// What the members loop would send first, as far as it can be told before
// the phone answers: nullopt where it depends on the phone or the operator.
std::optional<Piece> FirstPieceOf(const CKelpa3Engine& job, const TarEntry& entry, bool* stop) {
  std::int32_t del = 0;
  std::int16_t type = 0;
  const int code = ClassifyMember(entry.name, &del, &type);
  IMAGE_MEMBER member{};
  member.dwSize = entry.size;
  member.wPartition = static_cast<std::int16_t>(code);
  member.wType = type;
  const bool bootSkipped = (code == PARTITION_BOOT || code == PARTITION_SBL) && !job.m_options.bBootUpdate;
  *stop = true;
  if (code == -1 || entry.size == 0) return std::nullopt;
  switch (type) {
    case IMAGE_TYPE_RAW:
      if (bootSkipped) break;
      [[fallthrough]];
    case IMAGE_TYPE_FW: return Piece{entry.dataOffset, std::min(entry.size, PieceLimit(kLikelyLoaderVersion, member))};
    case IMAGE_TYPE_FS:
      return Piece{entry.dataOffset, std::min(entry.size, FileSystemPieceLimit(kLikelyLoaderVersion))};
    case IMAGE_TYPE_LOGO: break;
    default: return std::nullopt;  // chosen by the phone's answers or the nation
  }
  *stop = false;
  return std::nullopt;
}

}  // namespace

void DigestFirstPieceAhead(CKelpa3Engine& job) {
  const bool boot = (job.m_wImageMask & IMAGE_MASK_BOOT) != 0;
  if (job.m_options.bNpsMode || job.m_options.bBootFormat || (!boot && (job.m_wImageMask & IMAGE_MASK_PDA) == 0)) {
    return;
  }
  const wchar_t* path = boot ? job.m_szBootImage : job.m_szPdaImage;
  auto mapping = tarn::platform::CFileMapping::OpenFile(tarn::platform::Narrow(path));
  if (!mapping || mapping->Size() > kMaxImageBytes) return;
  const auto& image = *mapping;
  TarReader reader(
      [&image](std::uint64_t offset, void* destination, std::size_t size) {
        return tarn::platform::CopyFromMapping(image, offset, destination, size);
      },
      static_cast<std::uint32_t>(image.Size()));
  std::optional<Piece> first;
  WalkTar(
      reader,
      [&](const TarEntry& entry) {
        bool stop = false;
        first = FirstPieceOf(job, entry, &stop);
        return !stop;
      },
      [](const TarEntry&) {});
  if (!first) return;
  job.m_pEarlyImage = std::move(mapping);
  job.m_digestAhead.Ask(*job.m_pEarlyImage, first->offset, first->size);
}
