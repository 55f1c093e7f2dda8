// SPDX-License-Identifier: Apache-2.0
#include "link/stratine.h"

#include <cerrno>
#include <cstdint>

#include "link/image_read.h"
#include "link/link_report.h"
#include "link/link_result.h"
#include "link/transfer.h"
#include "platform/file_mapping.h"
#include "support/log.h"

namespace {

bool ReadPartSizes(LinkSession& link, const IMAGE_MEMBER& member, const tarn::platform::CFileMapping& mapping,
                   std::uint32_t sizes[kStratinePartCount]) {
  std::uint8_t header[kStratineHeaderSize];
  if (member.dwSize < kStratineHeaderSize) {
    TLOG_SLOT(link.slot, L"Error MapViewOfFile (%d)\n", EINVAL);
    return false;
  }
  if (!tarn::platform::CopyFromMapping(mapping, member.dwOffset, header, sizeof(header))) {
    LogImageReadFailure(link, mapping);
    return false;
  }
  DecodeStratinePartSizes(header, sizes);
  return true;
}

// The parts must lie inside the member, or the walk would read other members
// or run off the image.
bool PartsFit(const IMAGE_MEMBER& member, const std::uint32_t sizes[kStratinePartCount]) {
  std::uint64_t end = kStratineDataOffset;
  for (int k = 0; k < kStratinePartCount; ++k) end += sizes[k];
  return end <= member.dwSize;
}

}  // namespace

std::int32_t SendStratineParts(LinkSession& link, const IMAGE_MEMBER& member,
                               const tarn::platform::CFileMapping& mapping, int partMask) {
  std::uint32_t sizes[kStratinePartCount];
  if (!ReadPartSizes(link, member, mapping, sizes)) return RESULT_FAIL;
  TLOG_SLOT(link.slot, L"Stratine 1st Size : %d\n", static_cast<int>(sizes[0]));
  TLOG_SLOT(link.slot, L"Stratine 2nd Size : %d\n", static_cast<int>(sizes[1]));
  TLOG_SLOT(link.slot, L"Stratine 3rd Size : %d\n", static_cast<int>(sizes[2]));
  TLOG_SLOT(link.slot, L"Stratine Partition Bitmap %d (0x%x)\n", partMask, static_cast<unsigned>(partMask));
  if ((partMask & 7) != 0 && !PartsFit(member, sizes)) {
    ReportError(link, L"e - broken Stratine image: its parts (%u, %u, %u bytes) do not fit in \"%ls\" (%u bytes)",
                sizes[0], sizes[1], sizes[2], member.szName, member.dwSize);
    return RESULT_FAIL;
  }
  link.progressDone += kStratineDataOffset;
  std::uint32_t start = member.dwOffset + kStratineDataOffset;
  for (int k = 1; k <= kStratinePartCount; ++k) {
    const std::uint32_t size = sizes[k - 1];
    if ((partMask & (1 << (k - 1))) == 0) {
      ReportStatus(link, L"Skip stratine part %d\n", k);
      link.progressDone += size;
    } else {
      ReportStatus(link, L"Download stratine part %d\n", k);
      IMAGE_MEMBER part = member;
      part.wPartition = static_cast<std::int16_t>(member.wPartition + k);
      if (SendPieces(link, part, mapping, start, size, kChunkLimitStratineCsc, true) != RESULT_OK) return RESULT_FAIL;
    }
    start += size;
  }
  return RESULT_OK;
}
