#include "engine/checksum.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/archive.h"
#include "engine/kelpa3_engine.h"
#include "platform/file_mapping.h"
#include "platform/last_error.h"
#include "support/log.h"
#include "support/md5.h"

tarn::platform::CCriticalSection g_csChecksum;

namespace {

// Pieces are digested through views of this size, so a 100 MiB piece never
// has more than this much of the image resident on its behalf.
constexpr std::size_t kDigestSliceBytes = 16 * static_cast<std::size_t>(tarn::platform::kAllocationGranularity);

void LogViewFailure(CKelpa3Engine& job) {
  TARN_LOG_BEGIN_SLOT(job.m_nIndex);
  LogEndA("%s- ERROR MapViewOfFile (%d)!\n", "CKelpa3Engine::CopyDataToMD5", static_cast<int>(GetLastError()));
}

// Feeds the range to the digest slice by slice, straight from the image.
bool DigestMapped(const tarn::platform::CFileMapping& mapping, std::uint64_t offset, std::uint64_t size,
                  tarn::md5::Context& context) {
  std::uint64_t position = offset;
  const std::uint64_t end = offset + size;
  while (position < end) {
    const std::uint64_t base = AlignDownToGranularity(position);
    const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(base + kDigestSliceBytes, end) - base);
    tarn::platform::CMappedView view;
    if (!view.Map(mapping, base, length)) return false;
    context.Update(view.Data() + (position - base), length - static_cast<std::size_t>(position - base));
    position = base + length;
  }
  return true;
}

void WriteText(const std::string& text, char* output) {
  std::memcpy(output, text.data(), std::min(text.size(), kChecksumTextSize));
}

}  // namespace

void MakeChecksum(CKelpa3Engine& job, const void* data, DWORD size, char* output) {
  job.ReportStatus(0, L"Make MD5 Checksum.. wait..");
  WriteText(tarn::md5::DigestText(data, size), output);
  job.ReportStatus(0, L"MD5 Checksum Completed..");
}

int ChecksumRange(DWORD size, CKelpa3Engine& job, const tarn::platform::CFileMapping& mapping, DWORD offset,
                  char* output) {
  tarn::platform::CStoppableSectionLock lock(g_csChecksum);
  TLOG_SLOT(job.m_nIndex, L"Enter Critical Section To Make MD5 Checksum.! (%d)\n", job.m_nComPort);
  job.ReportStatus(0, L"Make MD5 Checksum.. wait..");
  tarn::md5::Context context;
  if (!DigestMapped(mapping, offset, size, context)) {
    LogViewFailure(job);
    return 0;
  }
  std::uint8_t digest[16];
  context.Final(digest);
  WriteText(tarn::md5::HexUpper(digest), output);
  job.ReportStatus(0, L"MD5 Checksum Completed..");
  TLOG_SLOT(job.m_nIndex, L"Leave Critical Section!! (%d)\n", job.m_nComPort);
  return 1;
}
