// Walking the tar headers of an image into the member table.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "engine/archive.h"
#include "engine/kelpa3_engine.h"
#include "engine/results.h"
#include "engine/tables.h"
#include "link/protocol.h"
#include "link/security_engine.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "support/log.h"

namespace {

constexpr std::size_t kNameField = 100;
constexpr std::size_t kSizeOffset = 124;
constexpr std::size_t kSizeField = 12;
constexpr std::size_t kPeekBytes = 72;  // enough to see whether the data starts with an info block

struct HeaderPeek {
  std::uint8_t header[kTarBlock];
  std::uint8_t data[kPeekBytes];
};

// Reads the header at `offset` and up to 72 bytes after it; missing bytes past
// the image's end read as zero.
std::int32_t ReadHeader(const tarn::platform::CFileMapping& mapping, CKelpa3Engine& job, std::uint32_t offset,
                        std::uint32_t imageSize, HeaderPeek* peek) {
  std::memset(peek, 0, sizeof(*peek));
  const std::uint64_t base = AlignDownToGranularity(offset);
  const std::uint64_t end = std::min<std::uint64_t>(std::uint64_t{offset} + sizeof(HeaderPeek), imageSize);
  tarn::platform::CMappedView view;
  if (!view.Map(mapping, base, static_cast<std::size_t>(end - base))) {
    job.ReportError(L"e - file map was failed! code: %d", static_cast<int>(GetLastError()));
    return RESULT_FAIL;
  }
  std::memcpy(peek, view.Data() + (offset - base), static_cast<std::size_t>(end - offset));
  if (!view.Unmap()) {
    job.ReportError(L"e - file unmap was failed! code: %d", static_cast<int>(GetLastError()));
    return RESULT_FAIL;
  }
  return RESULT_OK;
}

std::wstring MemberName(const std::uint8_t* header) {
  const char* name = reinterpret_cast<const char*>(header);
  return tarn::platform::Widen(std::string(name, strnlen(name, kNameField)));
}

// Builds the record of one member, or reports why the header cannot be used.
std::unique_ptr<IMAGE_MEMBER> DescribeMember(CKelpa3Engine& job, const HeaderPeek& peek, const std::wstring& name,
                                             std::uint32_t dataOffset, std::uint32_t imageSize) {
  std::int32_t del = 0;
  std::int16_t type = 0;
  const int code = ClassifyMember(name, &del, &type);
  if (code == -1) {
    job.ReportError(L"e - unknown file - \"%ls\"", name.c_str());
    return nullptr;
  }
  std::uint32_t size = 0;
  if (!ParseOctalField(reinterpret_cast<const char*>(peek.header) + kSizeOffset, kSizeField, &size)) {
    job.ReportError(L"e - broken archive: the size field of \"%ls\" is not an octal number", name.c_str());
    return nullptr;
  }
  if (size > imageSize - dataOffset) {
    job.ReportError(L"e - broken archive: \"%ls\" (%u bytes at %u) runs past the end of the image (%u bytes)",
                    name.c_str(), size, dataOffset, imageSize);
    return nullptr;
  }
  auto member = std::make_unique<IMAGE_MEMBER>();
  member->dwOffset = dataOffset;
  member->dwSize = size;
  member->wPartition = static_cast<std::int16_t>(code);
  member->wType = type;
  member->bDel = del;
  member->bNoInfoBlock = size >= 4 && ReadLe32(peek.data) == kInfoBlockMagic ? 0 : 1;
  tarn::platform::CopyCut(member->szName, std::size(member->szName), name);
  return member;
}

}  // namespace

const IMAGE_MEMBER* FirstMemberOf(const CKelpa3Engine& job, int partition) {
  for (const auto& member : job.m_members) {
    if (member->wPartition == partition) return member.get();
  }
  return nullptr;
}

bool ParseOctalField(const char* field, std::size_t width, std::uint32_t* value) {
  std::size_t i = 0;
  while (i < width && field[i] == ' ') ++i;
  std::uint64_t result = 0;
  for (; i < width && field[i] != '\0' && field[i] != ' '; ++i) {
    if (field[i] < '0' || field[i] > '7') return false;
    result = result * 8 + static_cast<std::uint64_t>(field[i] - '0');
    if (result > kMaxImageBytes) return false;
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

std::int32_t IndexArchive(const tarn::platform::CFileMapping& mapping, CKelpa3Engine& job, std::uint32_t imageSize) {
  std::uint32_t next = 0;
  while (imageSize != 0) {
    if (imageSize - next < kTarBlock) {
      job.ReportError(L"e - broken archive: the header at %u runs past the end of the image (%u bytes)", next,
                      imageSize);
      return RESULT_FAIL;
    }
    HeaderPeek peek;
    if (ReadHeader(mapping, job, next, imageSize, &peek) != RESULT_OK) return RESULT_FAIL;
    if (peek.header[0] == 0) return RESULT_OK;
    next += kTarBlock;
    const std::wstring name = MemberName(peek.header);
    auto member = DescribeMember(job, peek, name, next, imageSize);
    if (!member) return RESULT_FAIL;
    const std::uint32_t size = member->dwSize;
    job.m_members.push_back(std::move(member));
    TLOG_SLOT(job.m_nIndex, L"File %ls added. Count %d\n", job.m_members.back()->szName,
              static_cast<int>(job.m_members.size()));
    job.m_wFilesTotal = static_cast<std::uint16_t>(job.m_wFilesTotal + 1);
    // Data rounded up to whole blocks; checked above to stay inside the image.
    const std::uint64_t after = std::uint64_t{next} + (std::uint64_t{size} + kTarBlock - 1) / kTarBlock * kTarBlock;
    if (after >= imageSize) return RESULT_OK;
    next = static_cast<std::uint32_t>(after);
  }
  return RESULT_OK;
}
