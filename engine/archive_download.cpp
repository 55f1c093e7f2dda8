// SPDX-License-Identifier: Apache-2.0
// Opening an image, indexing it and sending it; the phone binary.
#include "engine/archive_download.h"

#include <memory>
#include <string>

#include "engine/archive_index.h"
#include "engine/download_members.h"
#include "engine/events.h"
#include "engine/format_boot.h"
#include "engine/kelpa3_engine.h"
#include "engine/results.h"
#include "link/image_read.h"
#include "link/parameters.h"
#include "link/transfer.h"
#include "platform/file_mapping.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "support/log.h"
#include "wire/partitions.h"

namespace {

using tarn::platform::CFileMapping;

struct ImageSource {
  const wchar_t* path;
  std::uint32_t npsSize;
  const wchar_t* logName;
  bool formats;
  const wchar_t* shownKind;  // how the operator calls it
};

ImageSource SourceOf(const JobDescription& task, ArchiveKind kind) {
  switch (kind) {
    case ArchiveKind::Boot: return {task.boot.path.c_str(), task.boot.npsSize, L"Boot Download\n", true, L"boot"};
    case ArchiveKind::Pda: return {task.pda.path.c_str(), task.pda.npsSize, L"PDA Download\n", true, L"PDA"};
    case ArchiveKind::Csc:
    default: return {task.csc.path.c_str(), task.csc.npsSize, L"CSC Download\n", false, L"CSC"};
  }
}

// Opens the image file; nullptr after reporting `openError`. `size` gets its size.
std::unique_ptr<CFileMapping> OpenImageFile(CKelpa3Engine& job, const wchar_t* path, const wchar_t* openError,
                                            std::uint32_t* size) {
  // The image opened at the job's start, whose first piece is digested already.
  const std::string name = tarn::platform::Narrow(path);
  const bool early = job.m_pEarlyImage && job.m_pEarlyImage->Name() == name;
  auto mapping = early ? std::move(job.m_pEarlyImage) : CFileMapping::OpenFile(name);
  if (!mapping) {
    job.ReportError(openError, static_cast<int>(GetLastError()));
    return nullptr;
  }
  if (mapping->Size() > kMaxImageBytes) {
    job.ReportError(L"e - the image is 4 GiB or larger and cannot be sent: %ls", path);
    return nullptr;
  }
  *size = static_cast<std::uint32_t>(mapping->Size());
  return mapping;
}

// Opens a host's shared image; nullptr after reporting. The size the host
// gave must not exceed what the shared object holds.
std::unique_ptr<CFileMapping> OpenSharedImage(CKelpa3Engine& job, const wchar_t* name, std::uint32_t size) {
  auto mapping = CFileMapping::OpenShared(tarn::platform::Narrow(name));
  if (!mapping && GetLastError() == tarn::platform::kSharedImageNotPrivateError) {
    job.ReportError(L"e - the shared image is not the user's own or others can write it: %ls", name);
    return nullptr;
  }
  if (!mapping) {
    job.ReportError(L"e - file map was failed! code: %d", static_cast<int>(GetLastError()));
    return nullptr;
  }
  if (size > mapping->Size()) {
    job.ReportError(L"e - the shared image %ls holds %llu bytes, fewer than the %u given", name,
                    static_cast<unsigned long long>(mapping->Size()), size);
    return nullptr;
  }
  return mapping;
}

// The words each kind of image is opened with.
struct OpenTexts {
  const wchar_t* createLog;  // path
  const wchar_t* openError;  // system error
  const wchar_t* npsStatus;
  const wchar_t* npsNameStatus;  // mapping name
  const wchar_t* npsLog;
};

constexpr OpenTexts kArchiveTexts = {L"create file %ls\n", L"e - dll cannot open the pda file. code: %d", L"NPS Mode",
                                     L"PDA file name: %ls", L"NPS : file mapping\n"};
constexpr OpenTexts kPhoneTexts = {L"create file for phone. %ls\n", L"e - dll cannot open the phone file. code: %d",
                                   L"nps mode.. connect to mapped file.", L"mapped file name: %ls",
                                   L"NPS file mapping\n"};

// A file, or in NPS mode the host's shared image; nullptr after reporting.
std::unique_ptr<CFileMapping> OpenImage(CKelpa3Engine& job, const JobDescription& task, const OpenTexts& texts,
                                        const wchar_t* path, std::uint32_t npsSize, std::uint32_t* size) {
  if (!task.options.bNpsMode) {
    TLOG_SLOT(job.m_nIndex, texts.createLog, path);
    return OpenImageFile(job, path, texts.openError, size);
  }
  job.ReportStatus(0, texts.npsStatus);
  job.ReportStatus(0, texts.npsNameStatus, path);
  TLOG_SLOT(job.m_nIndex, texts.npsLog);
  *size = npsSize;
  return OpenSharedImage(job, path, npsSize);
}

void CloseImage(CKelpa3Engine& job, CFileMapping& mapping) {
  if (!mapping.Close()) job.ReportError(L"e - dll cannot close the file. code: %d", static_cast<int>(GetLastError()));
}

std::int32_t SendArchive(CKelpa3Engine& job, const JobDescription& task, const RunState& run,
                         const CFileMapping& mapping, std::uint32_t size, const ImageSource& source) {
  TLOG_SLOT(job.m_nIndex, L"analyzing file\n");
  const std::size_t before = job.m_members.size();
  std::int32_t r = IndexArchive(mapping, job, size);
  if (r != RESULT_OK) return r;
  // START refuses such archives; this one changed since, and a job that sent
  // nothing must not pass.
  if (job.m_members.size() == before) {
    job.ReportError(L"e - the %ls archive holds no files: %ls", source.shownKind, source.path);
    return RESULT_FAIL;
  }
  if (source.formats && task.options.bBootFormat) {
    TLOG_SLOT(job.m_nIndex, L"Start Format\n");
    r = FormatBoot(job, task, run, mapping);
    if (r != RESULT_NO_FORMAT) {
      job.FreeMembers();
      return r;
    }
  }
  job.FireState(STATE_PDA_START, L"PDA Download start");
  r = DownloadMembers(job, task, run, mapping);
  if (r != RESULT_FAIL) {
    LinkSession link = job.Link(task, run);
    SaveEnv(link, MemberSizesOf(job), run.nation);
    job.FreeMembers();
  }
  return r;
}

}  // namespace

std::int32_t ArchiveDownload(CKelpa3Engine& job, const JobDescription& task, const RunState& run, ArchiveKind kind) {
  const ImageSource source = SourceOf(task, kind);
  TLOG_SLOT(job.m_nIndex, L"%ls", source.logName);
  std::uint32_t size = 0;
  const auto mapping = OpenImage(job, task, kArchiveTexts, source.path, source.npsSize, &size);
  if (!mapping) return RESULT_FAIL;
  std::int32_t r = RESULT_FAIL;
  {
    const CDigestAheadScope ahead(job.m_digestAhead);  // ends before the image closes
    r = SendArchive(job, task, run, *mapping, size, source);
  }
  if (kind == ArchiveKind::Pda) TLOG_SLOT(job.m_nIndex, L">>> Close Device\n");
  CloseImage(job, *mapping);
  return r;
}

std::int32_t PhoneDownload(CKelpa3Engine& job, const JobDescription& task, const RunState& run) {
  job.ReportStatus(0, L"Downloading Modem");
  std::uint32_t size = 0;
  const wchar_t* path = task.phone.path.c_str();
  const auto mapping = OpenImage(job, task, kPhoneTexts, path, task.phone.npsSize, &size);
  if (!mapping) {
    if (!task.options.bNpsMode) TLOG_SLOT(job.m_nIndex, L"Error Cannot open the phone file.\n");
    return RESULT_FAIL;
  }
  if (!task.options.bNpsMode) TLOG_SLOT(job.m_nIndex, L"create file mapping for phone\n");
  TLOG_SLOT(job.m_nIndex, L"get file size : %d\n", static_cast<int>(size));
  if (size == 0) {
    job.ReportError(L"e - the phone binary is empty: %ls", path);
    CloseImage(job, *mapping);
    return RESULT_FAIL;
  }
  IMAGE_MEMBER member{};
  member.dwOffset = 0;
  member.dwSize = size;
  member.wPartition = PARTITION_PHONE;
  member.wType = IMAGE_TYPE_PHONE;
  tarn::platform::CopyCut(member.szName, std::size(member.szName), path);
  LinkSession link = job.Link(task, run);
  std::int32_t r = RESULT_FAIL;
  {
    const CDigestAheadScope ahead(job.m_digestAhead);  // ends before the image closes
    r = SendMember(link, member, *mapping);
  }
  CloseImage(job, *mapping);
  return r;
}
