// SPDX-License-Identifier: Apache-2.0
#include "wire/member_plan.h"

#include <iterator>

#include "platform/text.h"
#include "wire/frames.h"

namespace {

// File-system members need the loader's file-system transfer.
constexpr int kMinFileSystemLoader = 6;
// Loaders from this version take the larger pieces.
constexpr int kLargePieceLoader = 7;

MemberRole RoleOfType(std::int16_t type) {
  switch (type) {
    case IMAGE_TYPE_STRATINE: return MemberRole::Stratine;
    case IMAGE_TYPE_FW: return MemberRole::Firmware;
    case IMAGE_TYPE_CSC: return MemberRole::NationMember;
    case IMAGE_TYPE_PHONE: return MemberRole::PhoneBinary;
    default: return MemberRole::Partition;
  }
}

DWORD WholePieceLimit(const IMAGE_MEMBER& member, int loaderVersion) {
  if (member.wType == IMAGE_TYPE_STRATINE || member.wType == IMAGE_TYPE_CSC) return kChunkLimitStratineCsc;
  return loaderVersion < kLargePieceLoader ? kChunkLimitBelow7 : kChunkLimitFrom7;
}

MemberAction ActionOf(const IMAGE_MEMBER& member, const SendChoice& choice, int nation) {
  switch (member.wType) {
    case IMAGE_TYPE_LOGO: return MemberAction::SkipLogo;
    case IMAGE_TYPE_RAW: {
      const bool boot = member.wPartition == PARTITION_BOOT || member.wPartition == PARTITION_SBL;
      return boot && !choice.bootUpdate ? MemberAction::PassBoot : MemberAction::Send;
    }
    case IMAGE_TYPE_FS:
      return choice.loaderVersion < kMinFileSystemLoader ? MemberAction::LoaderTooOld : MemberAction::SendFileSystem;
    case IMAGE_TYPE_FW:
    case IMAGE_TYPE_PHONE: return MemberAction::Send;
    case IMAGE_TYPE_STRATINE: return choice.stratineAll ? MemberAction::Send : MemberAction::SendStratineParts;
    case IMAGE_TYPE_CSC: return nation == choice.nation ? MemberAction::Send : MemberAction::SkipNation;
    default: return MemberAction::Unknown;
  }
}

}  // namespace

std::optional<IMAGE_MEMBER> MemberOfName(std::wstring_view name, std::uint32_t size) {
  std::int32_t del = 0;
  std::int16_t type = 0;
  // Classified by the whole name, stored cut as the member table keeps it.
  const int code = ClassifyMember(name, &del, &type);
  if (code == -1) return std::nullopt;
  IMAGE_MEMBER member{};
  member.dwSize = size;
  member.wPartition = static_cast<std::int16_t>(code);
  member.wType = type;
  member.bDel = del;
  tarn::platform::CopyCut(member.szName, std::size(member.szName), name);
  return member;
}

MemberPlan PlanMember(const IMAGE_MEMBER& member, const SendChoice& choice) {
  MemberPlan plan;
  plan.role = RoleOfType(member.wType);
  // The job reads the nation from the name its table keeps (cut to 31
  // characters), which leaves every nation name whole.
  if (plan.role == MemberRole::NationMember) plan.nation = NationOfName(member.szName);
  plan.action = ActionOf(member, choice, plan.nation);
  plan.pieceLimit = PieceLimitOf(member, plan.action, choice.loaderVersion);
  return plan;
}

DWORD PieceLimitOf(const IMAGE_MEMBER& member, MemberAction action, int loaderVersion) {
  switch (action) {
    case MemberAction::Send: return WholePieceLimit(member, loaderVersion);
    case MemberAction::SendFileSystem:
      return loaderVersion < kLargePieceLoader ? kFsChunkLimitBelow7 : kFsChunkLimitFrom7;
    case MemberAction::SendStratineParts: return kChunkLimitStratineCsc;
    default: return 0;
  }
}

MemberPlan PlanNamedMember(std::wstring_view name, std::uint32_t size, const SendChoice& choice) {
  const std::optional<IMAGE_MEMBER> member = MemberOfName(name, size);
  return member ? PlanMember(*member, choice) : MemberPlan{};
}

bool Sends(const MemberPlan& plan) {
  return plan.action == MemberAction::Send || plan.action == MemberAction::SendFileSystem ||
         plan.action == MemberAction::SendStratineParts;
}

bool CountsAsDone(const MemberPlan& plan) { return Sends(plan) || plan.action == MemberAction::PassBoot; }
