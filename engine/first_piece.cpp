// SPDX-License-Identifier: Apache-2.0
#include "engine/first_piece.h"

#include <optional>

#include "engine/archive_download.h"
#include "engine/kelpa3_engine.h"
#include "engine/download_members.h"
#include "platform/file_mapping.h"
#include "platform/text.h"
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
std::optional<Piece> FirstPieceOf(const JobDescription& task, const TarEntry& entry, bool* stop) {
  // Before the greeting and the host's nation answer, as a new run knows them.
  RunState guess = RunState::StartOf(task);
  guess.loaderVersion = kLikelyLoaderVersion;
  const SendChoice choice = JobSendChoice(task, guess);
  const MemberPlan plan = PlanNamedMember(entry.name, entry.size, choice);
  *stop = true;
  if (plan.role == MemberRole::Unknown || entry.size == 0) return std::nullopt;
  // Stratine goes by the phone's answers, a nation member by the nation.
  if (plan.role == MemberRole::Stratine || plan.role == MemberRole::NationMember) return std::nullopt;
  switch (plan.action) {
    case MemberAction::Send:
    case MemberAction::SendFileSystem: return Piece{entry.dataOffset, std::min(entry.size, plan.pieceLimit)};
    case MemberAction::PassBoot:
    case MemberAction::SkipLogo: break;
    default: return std::nullopt;
  }
  *stop = false;
  return std::nullopt;
}

}  // namespace

void DigestFirstPieceAhead(CKelpa3Engine& job, const JobDescription& task) {
  const bool boot = task.Has(IMAGE_MASK_BOOT);
  if (task.options.bNpsMode || task.options.bBootFormat || (!boot && !task.Has(IMAGE_MASK_PDA))) return;
  const std::wstring& path = boot ? task.boot.path : task.pda.path;
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
        first = FirstPieceOf(task, entry, &stop);
        return !stop;
      },
      [](const TarEntry&) {});
  if (!first) return;
  job.m_pEarlyImage = std::move(mapping);
  job.m_digestAhead.Ask(*job.m_pEarlyImage, first->offset, first->size);
}
