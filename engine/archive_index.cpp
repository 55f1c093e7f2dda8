// SPDX-License-Identifier: Apache-2.0
// Walking the tar headers of an image into the member table.
#include "engine/archive_index.h"

#include <memory>
#include <optional>
#include <string>

#include "engine/kelpa3_engine.h"
#include "engine/results.h"
#include "link/image_read.h"
#include "platform/file_mapping.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "support/log.h"
#include "wire/info_block.h"
#include "wire/little_endian.h"
#include "wire/member_plan.h"
#include "wire/tar_reader.h"

namespace {

// Builds the record of one member, or reports that its name is not known.
std::unique_ptr<IMAGE_MEMBER> DescribeMember(CKelpa3Engine& job, const TarEntry& entry) {
  std::optional<IMAGE_MEMBER> known = MemberOfName(entry.name, entry.size);
  if (!known) {
    job.ReportError(L"e - unknown file - \"%ls\"", entry.name.c_str());
    return nullptr;
  }
  auto member = std::make_unique<IMAGE_MEMBER>(*known);
  member->dwOffset = entry.dataOffset;
  member->bNoInfoBlock = entry.size >= 4 && ReadLe32(entry.peek) == kInfoBlockMagic ? 0 : 1;
  return member;
}

void AddMember(CKelpa3Engine& job, std::unique_ptr<IMAGE_MEMBER> member) {
  job.m_members.push_back(std::move(member));
  TLOG_SLOT(job.m_nIndex, L"File %ls added. Count %d\n", job.m_members.back()->szName,
            static_cast<int>(job.m_members.size()));
  job.m_wFilesTotal = static_cast<std::uint16_t>(job.m_wFilesTotal + 1);
}

}  // namespace

const IMAGE_MEMBER* FirstMemberOf(const CKelpa3Engine& job, int partition) {
  for (const auto& member : job.m_members) {
    if (member->wPartition == partition) return member.get();
  }
  return nullptr;
}

MemberSizes MemberSizesOf(const CKelpa3Engine& job) {
  MemberSizes sizes;
  for (int i = 0; i < kParamPartitionWords; ++i) {
    if (const IMAGE_MEMBER* member = FirstMemberOf(job, i)) sizes[i] = member->dwSize;
  }
  return sizes;
}

std::int32_t IndexArchive(const tarn::platform::CFileMapping& mapping, CKelpa3Engine& job, std::uint32_t imageSize) {
  TarReader reader(
      [&mapping](std::uint64_t offset, void* destination, std::size_t size) {
        return tarn::platform::CopyFromMapping(mapping, offset, destination, size);
      },
      imageSize);
  const TarStep end = WalkTar(
      reader,
      [&job](const TarEntry& entry) {
        auto member = DescribeMember(job, entry);
        if (!member) return false;
        AddMember(job, std::move(member));
        return true;
      },
      [&job](const TarEntry& entry) {
        TLOG_SLOT(job.m_nIndex, L"Skipped \"%ls\": %ls\n", entry.name.c_str(), entry.skipReason);
      });
  switch (end) {
    case TarStep::End: return RESULT_OK;
    case TarStep::Broken: job.ReportError(L"e - %ls", reader.Problem().c_str()); return RESULT_FAIL;
    case TarStep::ReadFailed:
      if (LinkSession link = job.ReportingLink(); !ReportImageChanged(link, mapping)) {
        job.ReportError(L"e - file map was failed! code: %d", static_cast<int>(GetLastError()));
      }
      return RESULT_FAIL;
    default:  // a member the job cannot send, already reported
      return RESULT_FAIL;
  }
}
