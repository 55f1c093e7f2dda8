// SPDX-License-Identifier: Apache-2.0
#include "host/image_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>

#include "platform/file_mapping.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "wire/member_plan.h"
#include "wire/partitions.h"
#include "wire/tar_reader.h"

namespace {

using tarn::platform::CFileMapping;
using tarn::platform::Narrow;
using tarn::platform::Widen;

std::wstring ErrnoText(int code) { return Widen(std::strerror(code)); }

std::wstring ImageWords(ImageKind kind) { return std::wstring(L"the ") + ImageKindName(kind) + L" image"; }

// The checks on the file itself, in order; the first that fails is the cause.
bool CheckFile(ImageListing& image) {
  const std::string path = Narrow(image.path);
  const std::wstring what = ImageWords(image.kind);
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    image.refusals.push_back(errno == ENOENT
                                 ? L"e - " + what + L" does not exist: " + image.path
                                 : L"e - " + what + L" cannot be read: " + image.path + L": " + ErrnoText(errno));
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    image.refusals.push_back(L"e - " + what + L" is not a regular file: " + image.path);
    return false;
  }
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    image.refusals.push_back(L"e - " + what + L" cannot be read: " + image.path + L": " + ErrnoText(errno));
    return false;
  }
  close(fd);
  image.fileSize = static_cast<std::uint64_t>(info.st_size);
  if (image.fileSize > std::numeric_limits<std::uint32_t>::max()) {
    image.refusals.push_back(L"e - " + what + L" is 4 GiB or more: " + image.path);
    return false;
  }
  return true;
}

ListedMember Classify(const TarEntry& entry) {
  ListedMember member;
  member.name = entry.name;
  member.size = entry.size;
  const std::optional<IMAGE_MEMBER> known = MemberOfName(entry.name, entry.size);
  if (!known) return member;
  const MemberPlan plan = PlanMember(*known, SendChoice{});
  member.role = plan.role;
  member.partition = known->wPartition;
  member.nation = plan.nation;
  return member;
}

// Reads the archive's members as the job's index does. False with the cause
// in the refusals when the archive cannot be read to its end.
bool WalkArchive(ImageListing& image) {
  const std::string path = Narrow(image.path);
  std::unique_ptr<CFileMapping> file = CFileMapping::OpenFile(path);
  if (!file) {
    image.refusals.push_back(L"e - " + ImageWords(image.kind) + L" cannot be read: " + image.path + L": " +
                             ErrnoText(static_cast<int>(GetLastError())));
    return false;
  }
  DWORD readError = 0;
  TarReader reader(
      [&file, &readError](std::uint64_t offset, void* destination, std::size_t size) {
        if (tarn::platform::CopyFromMapping(*file, offset, destination, size)) return true;
        readError = GetLastError();
        return false;
      },
      static_cast<std::uint32_t>(file->Size()));
  const TarStep end = WalkTar(
      reader,
      [&image](const TarEntry& entry) {
        image.members.push_back(Classify(entry));
        return true;
      },
      [](const TarEntry&) {});
  file->Close();
  const std::wstring archive = std::wstring(L"e - the ") + ImageKindName(image.kind) + L" archive ";
  if (end == TarStep::Broken) {
    image.refusals.push_back(archive + image.path + L" is damaged: " + reader.Problem());
    return false;
  }
  if (end == TarStep::ReadFailed) {
    image.refusals.push_back(archive + image.path + L" cannot be read: " + ErrnoText(static_cast<int>(readError)));
    return false;
  }
  return true;
}

// All unknown members in one line: one cause, however many members.
void RefuseUnknownMembers(ImageListing& image) {
  std::wstring names;
  for (const auto& member : image.members) {
    if (member.role != MemberRole::Unknown) continue;
    names += (names.empty() ? L"\"" : L", \"") + member.name + L"\"";
  }
  if (names.empty()) return;
  image.refusals.push_back(std::wstring(L"e - the ") + ImageKindName(image.kind) + L" archive " + image.path +
                           L" holds files no job can send: " + names + L" (see IMAGES in tarn-flash(1))");
}

bool NamedTar(const std::wstring& path) {
  return path.size() >= 4 && tarn::platform::AsciiLowered(std::wstring_view(path).substr(path.size() - 4)) == L".tar";
}

}  // namespace

const wchar_t* ImageKindName(ImageKind kind) {
  switch (kind) {
    case IMAGE_MASK_PDA: return L"PDA";
    case IMAGE_MASK_CSC: return L"CSC";
    default: return L"phone";
  }
}

ImageListing ListImage(ImageKind kind, const std::wstring& path) {
  ImageListing image;
  image.kind = kind;
  image.path = path;
  const bool fileOk = CheckFile(image);
  if (kind == IMAGE_MASK_PDA) {
    image.platformChecked = true;
    image.platform = CheckPlatformByName(FileNameOfPath(path));
    if (!image.platform.accepted) {
      image.refusals.push_back(L"e - the PDA file name names no known platform: " + FileNameOfPath(path));
    }
  }
  if (!fileOk) return image;
  if (image.fileSize == 0) {
    image.refusals.push_back(NothingToSendText(kind, path));
    return image;
  }
  if (kind == IMAGE_MASK_PHONE) {
    ListedMember binary;
    binary.name = FileNameOfPath(path);
    binary.size = static_cast<std::uint32_t>(image.fileSize);
    binary.role = MemberRole::PhoneBinary;
    binary.partition = PARTITION_PHONE;
    image.members.push_back(binary);
  } else if (WalkArchive(image)) {
    RefuseUnknownMembers(image);
  }
  if (image.members.empty() && image.refusals.empty()) {
    image.refusals.push_back(NothingToSendText(kind, path));
  }
  return image;
}

ImageListing ListImageOfUnknownKind(const std::wstring& path) {
  ImageListing probe;
  probe.path = path;
  if (!CheckFile(probe) || probe.fileSize == 0 || (!NamedTar(path) && !WalkArchive(probe))) {
    return ListImage(NamedTar(path) ? IMAGE_MASK_PDA : IMAGE_MASK_PHONE, path);
  }
  ImageListing csc = ListImage(IMAGE_MASK_CSC, path);
  bool allNations = !csc.members.empty();
  for (const auto& member : csc.members) allNations = allNations && member.role == MemberRole::NationMember;
  return allNations ? csc : ListImage(IMAGE_MASK_PDA, path);
}

std::vector<std::wstring> CheckImages(const std::wstring& pda, const std::wstring& csc, const std::wstring& phone) {
  std::vector<std::wstring> refusals;
  const struct {
    ImageKind kind;
    const std::wstring& path;
  } images[] = {{IMAGE_MASK_PDA, pda}, {IMAGE_MASK_CSC, csc}, {IMAGE_MASK_PHONE, phone}};
  for (const auto& given : images) {
    if (given.path.empty()) continue;
    for (auto& line : ListImage(given.kind, given.path).refusals) refusals.push_back(std::move(line));
  }
  return refusals;
}

bool WouldSend(const ListedMember& member, const SendChoice& choice) {
  if (member.role == MemberRole::PhoneBinary) return true;
  return Sends(PlanNamedMember(member.name, member.size, choice));
}

std::uint64_t BytesSent(const ImageListing& image, const SendChoice& choice) {
  std::uint64_t bytes = 0;
  for (const auto& member : image.members) {
    if (WouldSend(member, choice)) bytes += member.size;
  }
  return bytes;
}

BootFormatPlan PlanBootFormat(const ImageListing& image) {
  BootFormatPlan plan;
  if (image.kind != IMAGE_MASK_PDA) return plan;
  const ListedMember* boot = nullptr;
  const ListedMember* sbl = nullptr;
  for (const auto& member : image.members) {
    if (member.role != MemberRole::Partition) continue;
    if (member.partition == PARTITION_BOOT && !boot) boot = &member;
    if (member.partition == PARTITION_SBL && !sbl) sbl = &member;
  }
  if (!boot || !sbl) return plan;
  plan.formats = true;
  plan.boot = boot->name;
  plan.sbl = sbl->name;
  plan.blockBytes = kBootAreaSize + 2ull * sbl->size;
  return plan;
}
