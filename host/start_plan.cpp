// SPDX-License-Identifier: Apache-2.0
#include "host/start_plan.h"

#include <cerrno>
#include <limits>

#include "platform/file_mapping.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "support/log.h"
#include "wire/member_plan.h"
#include "wire/tar_reader.h"

namespace {

using tarn::platform::CFileMapping;

constexpr const char* kModule = "./StartPlan";

void LogReadyString(const std::wstring& text) {
  TARN_LOG_BEGIN_FILE(kModule);
  LogEndText(text + L"\n");
}

bool StartsWith(std::wstring_view text, std::wstring_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool Contains(std::wstring_view text, std::wstring_view part) { return text.find(part) != std::wstring_view::npos; }

// Walks the members of an archive with the job's tar reader, calling `visit`
// for each. Reads headers and the first bytes of data only.
template <typename Visit>
int WalkTarMembers(const CFileMapping& image, std::uint32_t fileSize, Visit visit) {
  DWORD readError = 0;
  TarReader reader(
      [&image, &readError](std::uint64_t offset, void* destination, std::size_t size) {
        if (tarn::platform::CopyFromMapping(image, offset, destination, size)) return true;
        readError = GetLastError();
        return false;
      },
      fileSize);
  const TarStep end = WalkTar(
      reader,
      [&visit](const TarEntry& entry) {
        LogReadyString(entry.name);
        visit(entry);
        return true;
      },
      [](const TarEntry& entry) {
        TLOG_FILE(kModule, L"Skipped \"%ls\": %ls\n", entry.name.c_str(), entry.skipReason);
      });
  if (end == TarStep::Broken) {
    TLOG_FILE(kModule, L"e - %ls\n", reader.Problem().c_str());
    return kStartFail;
  }
  if (end == TarStep::ReadFailed) {
    TLOG_FILE(kModule, L"e - file map was failed! code: %d", static_cast<int>(readError));
    return kStartFail;
  }
  return kStartOk;
}

// Adds without wrapping: a total of 4 GiB or more cannot be carried.
bool AddToTotal(std::uint32_t size, std::uint32_t* total) {
  if (size > std::numeric_limits<std::uint32_t>::max() - *total) {
    TLOG_FILE(kModule, L"e - total size reaches 4 GiB\n");
    return false;
  }
  *total += size;
  return true;
}

// An image open for START's walks; closes itself, logging a failed close as
// START does.
class ImageFile {
 public:
  explicit ImageFile(const std::wstring& path) : image_(CFileMapping::OpenFile(tarn::platform::Narrow(path))) {
    if (!image_) {
      const DWORD code = GetLastError();
      if (code == EISDIR) {
        TLOG_FILE(kModule, L"Mapping Error (%d)\n", EINVAL);  // a directory or device
      } else {
        TLOG_FILE(kModule, L"e - dll cannot open the pda file. code: %d", static_cast<int>(code));
      }
      return;
    }
    if (image_->Size() > std::numeric_limits<std::uint32_t>::max()) {
      TLOG_FILE(kModule, L"e - image of 4 GiB or more is not supported: %ls\n", path.c_str());
      image_.reset();
    }
  }
  ~ImageFile() {
    if (image_ && !image_->Close()) {
      TLOG_FILE(kModule, L"e - dll cannot close the file. code: %d", static_cast<int>(GetLastError()));
    }
  }
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  bool IsOpen() const { return image_ != nullptr; }
  const CFileMapping& Image() const { return *image_; }
  std::uint32_t Size() const { return static_cast<std::uint32_t>(image_->Size()); }

 private:
  std::unique_ptr<CFileMapping> image_;
};

}  // namespace

// Eight phones would otherwise report PASS with nothing written.
std::wstring NothingToSendText(ImageKind kind, const std::wstring& path) {
  if (kind == IMAGE_MASK_PHONE) return L"e - the phone binary is empty: " + path;
  return std::wstring(L"e - the ") + (kind == IMAGE_MASK_CSC ? L"CSC" : L"PDA") + L" archive holds no files: " + path;
}

std::wstring FileNameOfPath(std::wstring_view path) {
  std::size_t cut = path.find_last_of(L"/\\");
  return std::wstring(cut == std::wstring_view::npos ? path : path.substr(cut + 1));
}

PlatformCheck CheckPlatformByName(std::wstring_view fileName) {
  const std::wstring name = tarn::platform::AsciiLowered(fileName);
  LogReadyString(name);
  PlatformCheck check;
  check.accepted = true;
  check.setsPlatform = true;
  if (Contains(name, L"test") || Contains(name, L"datafs") || Contains(name, L"factoryfs")) {
    check.platform = 0;
  } else if (StartsWith(name, L"mirlane_mass") || StartsWith(name, L"bexolt") || StartsWith(name, L"t4907")) {
    check.platform = 2;
  } else if (StartsWith(name, L"mirlane") || StartsWith(name, L"dunvane") || StartsWith(name, L"t5218") ||
             StartsWith(name, L"ostravind")) {
    check.platform = 1;
  } else if (StartsWith(name, L"vask")) {
    check.setsPlatform = false;
  } else {
    TLOG_FILE(kModule, L"Error!!!. Platform is wrong.!!!\n");
    return PlatformCheck{};
  }
  return check;
}

int SumTarSizes(const CFileMapping& image, std::uint32_t fileSize, int selectedNation, std::uint32_t* totalSize,
                std::uint32_t* memberCount) {
  bool overflow = false;
  bool refused = false;
  std::uint32_t members = 0;
  std::uint32_t archiveTotal = *totalSize;
  const SendChoice choice{true, selectedNation};
  int result = WalkTarMembers(image, fileSize, [&](const TarEntry& member) {
    ++members;
    if (overflow || refused) return;
    const MemberPlan plan = PlanNamedMember(member.name, member.size, choice);
    if (plan.role == MemberRole::Unknown) {
      // The job refuses the whole archive at this member: none of it is sent.
      TLOG_FILE(kModule, L"Unknown member \"%ls\": nothing of this archive counts\n", member.name.c_str());
      refused = true;
      return;
    }
    if (!CountsAsDone(plan)) {
      TLOG_FILE(kModule, L"Skip Size %d, Total Size : %d\n", static_cast<int>(member.size),
                static_cast<int>(archiveTotal));
      return;
    }
    overflow = !AddToTotal(member.size, &archiveTotal);
    TLOG_FILE(kModule, L"Added Size %d, Total Size : %d\n", static_cast<int>(member.size),
              static_cast<int>(archiveTotal));
  });
  if (memberCount) *memberCount = members;
  if (overflow) return kStartFail;
  if (!refused) *totalSize = archiveTotal;
  return result;
}

int CalcImageSize(ImageKind kind, const std::wstring& path, int selectedNation, std::uint32_t* totalSize,
                  bool* nothingToSend) {
  if (kind != IMAGE_MASK_PDA && kind != IMAGE_MASK_CSC && kind != IMAGE_MASK_PHONE) return kStartFail;
  ImageFile file(path);
  if (!file.IsOpen()) return kStartFail;
  int result = kStartOk;
  std::uint32_t members = 0;
  if (kind == IMAGE_MASK_PHONE) {
    members = file.Size() != 0 ? 1 : 0;
    if (!AddToTotal(file.Size(), totalSize)) return kStartFail;
    TLOG_FILE(kModule, L"Phone Size %d, Total Size : %d\n", static_cast<int>(file.Size()),
              static_cast<int>(*totalSize));
  } else {
    // A failed walk must not leave half an archive in the total.
    std::uint32_t archiveTotal = *totalSize;
    result = SumTarSizes(file.Image(), file.Size(), selectedNation, &archiveTotal, &members);
    if (result == kStartOk) *totalSize = archiveTotal;
  }
  TLOG_FILE(kModule, L"Calc : Total Size : %d\n", static_cast<int>(*totalSize));
  if (nothingToSend) *nothingToSend = result == kStartOk && members == 0;
  return result;
}

NationChoice SelectNationFromCsc(const std::wstring& path, int nationCount) {
  NationChoice choice;
  ImageFile file(path);
  if (!file.IsOpen()) return choice;
  choice.result = WalkTarMembers(file.Image(), file.Size(), [&](const TarEntry& member) {
    const MemberPlan plan = PlanNamedMember(member.name, member.size, SendChoice{});
    if (plan.role != MemberRole::NationMember) return;
    const int index = plan.nation;
    if (index <= nationCount) choice.nation = index;
    TLOG_FILE(kModule, L"Select %d, Total %d\n", index, nationCount);
  });
  return choice;
}

std::int32_t StratineParts(const StartChoices& choices) {
  return (choices.stratineUms ? 1 : 0) + 2 * (choices.stratineOpt ? 1 : 0) + 4 * (choices.stratineCsc ? 1 : 0);
}

ENGINE_OPTIONS BuildEngineOptions(const StartChoices& choices) {
  ENGINE_OPTIONS options{};
  options.bBootUpdate = (choices.bootUpdate || choices.bootFormat) ? 1 : 0;
  options.bBootFormat = choices.bootFormat ? 1 : 0;
  options.bCsaClear = choices.csaClear ? 1 : 0;
  options.bAutoReboot = choices.autoReboot ? 1 : 0;
  options.bPhoneBootUpdate = choices.phoneBootUpdate ? 1 : 0;
  options.bPhoneEfsClear = choices.phoneEfsClear ? 1 : 0;
  options.bNpsMode = 0;
  options.bStratineAll = choices.stratineAll ? 1 : 0;
  options.nStratineParts = StratineParts(choices);
  options.nPlatform = choices.platform;
  options.nReserved = 0;
  return options;
}

std::uint16_t BuildImageMask(const std::wstring& pda, bool pdaTicked, const std::wstring& csc, bool cscTicked,
                             const std::wstring& phone, bool phoneTicked) {
  std::uint16_t mask = 0;
  if (!pda.empty() && pdaTicked) mask |= IMAGE_MASK_PDA;
  if (!csc.empty() && cscTicked) mask |= IMAGE_MASK_CSC;
  if (!phone.empty() && phoneTicked) mask |= IMAGE_MASK_PHONE;
  return mask;
}

StartPlan PlanStart(const StartInputs& inputs) {
  StartPlan plan;
  if (!inputs.pda.empty()) {
    PlatformCheck check = CheckPlatformByName(FileNameOfPath(inputs.pda));
    if (!check.accepted) {
      plan.refusal = StartRefusal::PlatformRefused;
      plan.refusalText = L"e - the PDA file name names no known platform: " + FileNameOfPath(inputs.pda);
      return plan;
    }
    plan.platform = check.setsPlatform ? check.platform : inputs.previousPlatform;
  } else if (inputs.csc.empty() && inputs.phone.empty()) {
    TLOG_FILE(kModule, L"empty file names\n");
    plan.refusal = StartRefusal::EmptyFileNames;
    plan.refusalText = L"e - no image is chosen";
    return plan;
  } else {
    plan.platform = 0;
  }
  plan.imageMask = BuildImageMask(inputs.pda, inputs.pdaTicked, inputs.csc, inputs.cscTicked, inputs.phone,
                                  inputs.phoneTicked);
  const struct {
    ImageKind kind;
    const std::wstring& path;
  } images[] = {{IMAGE_MASK_PDA, inputs.pda}, {IMAGE_MASK_CSC, inputs.csc}, {IMAGE_MASK_PHONE, inputs.phone}};
  for (const auto& image : images) {
    if (!(plan.imageMask & image.kind)) continue;
    bool empty = false;
    if (CalcImageSize(image.kind, image.path, inputs.selectedNation, &plan.totalSize, &empty) != kStartOk) {
      plan.unreadableMask |= image.kind;
    } else if (empty && plan.refusal == StartRefusal::None) {
      plan.refusal = StartRefusal::NothingToSend;
      plan.refusalText = NothingToSendText(image.kind, image.path);
      TLOG_FILE(kModule, L"%ls\n", plan.refusalText.c_str());
    }
  }
  if (plan.refusal != StartRefusal::None) return plan;
  StartChoices choices = inputs.choices;
  choices.platform = plan.platform;
  plan.options = BuildEngineOptions(choices);
  plan.stratineMode = StratineParts(choices);
  return plan;
}
