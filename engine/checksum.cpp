// SPDX-License-Identifier: Apache-2.0
#include "engine/checksum.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "engine/kelpa3_engine.h"
#include "link/image_read.h"
#include "platform/file_mapping.h"
#include "platform/last_error.h"
#include "platform/thread.h"
#include "support/log.h"
#include "support/md5.h"

tarn::platform::CCriticalSection g_csChecksum;

namespace {

std::atomic<std::uint64_t> g_waitedFor{0};

// Pieces are read and digested in slices of this size, so a 100 MiB piece
// never needs more than this much memory.
constexpr std::size_t kDigestSliceBytes = 16 * static_cast<std::size_t>(tarn::platform::kAllocationGranularity);

// The image-changed error for the operator, or the log line of other read failures.
void LogReadFailure(CKelpa3Engine& job, const tarn::platform::CFileMapping& mapping) {
  if (LinkSession link = job.ReportingLink(); ReportImageChanged(link, mapping)) return;
  TARN_LOG_BEGIN_SLOT(job.m_nIndex);
  LogEndA("%s- ERROR MapViewOfFile (%d)!\n", "CKelpa3Engine::CopyDataToMD5", static_cast<int>(GetLastError()));
}

// Feeds the range to the digest slice by slice, read from the image.
DigestOutcome DigestMapped(const tarn::platform::CFileMapping& mapping, std::uint64_t offset, std::uint64_t size,
                           std::uint8_t digest[16], const std::atomic<bool>* cancel) {
  tarn::md5::Context context;
  std::vector<std::uint8_t> slice(static_cast<std::size_t>(std::min<std::uint64_t>(size, kDigestSliceBytes)));
  std::uint64_t position = offset;
  const std::uint64_t end = offset + size;
  while (position < end) {
    // A 100 MiB piece takes seconds while other jobs queue on the checksum
    // lock: a stopped job leaves between slices, releasing the lock.
    tarn::platform::CheckStop();
    if (cancel != nullptr && cancel->load()) return DigestOutcome::Cancelled;
    const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(kDigestSliceBytes, end - position));
    if (!tarn::platform::CopyFromMapping(mapping, position, slice.data(), length)) return DigestOutcome::ReadFailed;
    context.Update(slice.data(), length);
    position += length;
  }
  context.Final(digest);
  return DigestOutcome::Done;
}

// The port the job's checksum records name: the one its run uses.
int PortInUse(const CKelpa3Engine& job) { return job.m_pRun != nullptr ? job.m_pRun->port : 0; }

void WriteText(const std::string& text, char* output) {
  std::memcpy(output, text.data(), std::min(text.size(), kChecksumTextSize));
}

}  // namespace

std::uint64_t ChecksumsWaitedFor() { return g_waitedFor.load(); }

void MakeChecksum(CKelpa3Engine& job, const void* data, DWORD size, char* output) {
  job.ReportStatus(0, L"Make MD5 Checksum.. wait..");
  WriteText(tarn::md5::DigestText(data, size), output);
  job.ReportStatus(0, L"MD5 Checksum Completed..");
}

DigestOutcome DigestImageRange(const tarn::platform::CFileMapping& mapping, DWORD offset, DWORD size,
                               std::uint8_t digest[16], const std::atomic<bool>& cancel) {
  while (!g_csChecksum.TryEnterFor(tarn::platform::CStoppableSectionLock::kSlice)) {
    if (cancel.load()) return DigestOutcome::Cancelled;
  }
  const DigestOutcome outcome = DigestMapped(mapping, offset, size, digest, &cancel);
  g_csChecksum.Leave();
  return outcome;
}

bool ChecksumRange(DWORD size, CKelpa3Engine& job, const tarn::platform::CFileMapping& mapping, DWORD offset,
                   char* output) {
  // A digest worked out ahead is waited for outside the lock, which its
  // worker needs to finish it.
  std::uint8_t digest[16];
  bool waited = false;
  const CDigestAhead::Outcome ahead = job.m_digestAhead.Take(mapping, offset, size, digest, &waited);
  const DWORD aheadError = GetLastError();  // of the worker's failed read
  tarn::platform::CStoppableSectionLock lock(g_csChecksum);
  TLOG_SLOT(job.m_nIndex, L"Enter Critical Section To Make MD5 Checksum.! (%d)\n", PortInUse(job));
  job.ReportStatus(0, L"Make MD5 Checksum.. wait..");
  if (ahead == CDigestAhead::Outcome::None || waited) g_waitedFor.fetch_add(1);
  const bool read = ahead == CDigestAhead::Outcome::None
                        ? DigestMapped(mapping, offset, size, digest, nullptr) == DigestOutcome::Done
                        : ahead == CDigestAhead::Outcome::Ready;
  if (!read) {
    if (ahead == CDigestAhead::Outcome::Failed) SetLastError(aheadError);
    LogReadFailure(job, mapping);
    return false;
  }
  WriteText(tarn::md5::HexUpper(digest), output);
  job.ReportStatus(0, L"MD5 Checksum Completed..");
  TLOG_SLOT(job.m_nIndex, L"Leave Critical Section!! (%d)\n", PortInUse(job));
  return true;
}
