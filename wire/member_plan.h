// SPDX-License-Identifier: Apache-2.0
// What a job does with one archive member: the single decision behind the
// job's member loop, START's size and nation walks, the first-piece guess,
// the image checks and inspect, so that what START counts is what the job
// sends.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/win_types.h"
#include "wire/image_member.h"
#include "wire/member_names.h"

// What a member is to a job, from its name.
enum class MemberRole {
  Partition,     // a partition member: BOOT, SBL, PARAM, ZIMAGE, ...
  NationMember,  // a per-nation CSC member, sent only for its nation
  Stratine,
  Firmware,     // a name ending in "FW"
  PhoneBinary,  // the phone binary image as a whole
  Unknown,      // no job can send it: the job refuses its archive
};

// The job's settings that decide what it sends.
struct SendChoice {
  bool bootUpdate = true;   // BOOT and SBL are sent only with Boot Update
  int nation = 0;           // per-nation members are sent only for this nation (-1: none)
  bool stratineAll = true;  // false: the Stratine member goes part by part
  int stratineParts = 0;    // the parts then sent (UMS 1, OPT 2, CSC 4)
  int loaderVersion = 7;    // the phone's loader; most greet with 7 or later
};

enum class MemberAction {
  Send,               // the whole member, in pieces of at most pieceLimit
  SendFileSystem,     // the whole member by the file-system transfer
  SendStratineParts,  // the chosen Stratine parts; the others count as done
  PassBoot,           // BOOT or SBL without Boot Update: counted as done, not sent
  SkipNation,         // another nation's member: neither sent nor counted
  SkipLogo,           // a type the loader does not take
  LoaderTooOld,       // a file-system member for a loader below 6: the job fails
  Unknown,            // an unknown type: neither sent nor counted
};

struct MemberPlan {
  MemberRole role = MemberRole::Unknown;
  int nation = -1;  // nation index of a NationMember
  MemberAction action = MemberAction::Unknown;
  DWORD pieceLimit = 0;  // the largest piece sent; 0 when nothing is sent whole
};

// The record the job's index makes of an archive member of `name` and `size`
// (data offset and info-block flag left 0); nullopt for a name no job knows.
std::optional<IMAGE_MEMBER> MemberOfName(std::wstring_view name, std::uint32_t size);

MemberPlan PlanMember(const IMAGE_MEMBER& member, const SendChoice& choice);
// The largest piece of `member` sent in one go when it is sent as `action`
// says, for a phone greeting with `loaderVersion`; 0 for an action that
// sends nothing whole. The transfer cuts members by this same rule.
DWORD PieceLimitOf(const IMAGE_MEMBER& member, MemberAction action, int loaderVersion);
// The plan of an archive member by its name; Unknown for a name no job knows.
MemberPlan PlanNamedMember(std::wstring_view name, std::uint32_t size, const SendChoice& choice);

// Whether the plan puts the member's bytes on the wire.
bool Sends(const MemberPlan& plan);
// Whether the job's progress counts the member's bytes: what it sends and
// what it passes over as done. START's total is the sum of these.
bool CountsAsDone(const MemberPlan& plan);
