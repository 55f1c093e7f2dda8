// SPDX-License-Identifier: Apache-2.0
// What an image holds and whether START can take it, found before any phone
// is touched: the file itself (exists, a regular file, readable, under
// 4 GiB), the PDA name's platform, then every archive member (each must be
// one the job can send). A refusal is one line per cause, beginning "e - ",
// so that an operator sees every cause at once instead of a job failure per phone.
//
// Plain data over paths: the command line refuses and lists with it, and the
// window can show the same lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/start_plan.h"
#include "wire/member_plan.h"

struct ListedMember {
  std::wstring name;
  std::uint32_t size = 0;
  MemberRole role = MemberRole::Unknown;  // as the job's member decision sees it
  int partition = -1;                     // the engine's partition code (-1 when unknown)
  int nation = -1;                        // nation index of a NationMember
};

struct ImageListing {
  ImageKind kind = IMAGE_MASK_PDA;  // IMAGE_MASK_PDA, IMAGE_MASK_CSC or IMAGE_MASK_PHONE
  std::wstring path;
  // The platform the PDA file name sets (checked for PDA archives only).
  bool platformChecked = false;
  PlatformCheck platform;
  std::uint64_t fileSize = 0;
  std::vector<ListedMember> members;  // archive order; the phone binary is one member
  // Why START refuses this image, one line per cause in the order checked.
  std::vector<std::wstring> refusals;
};

// "PDA", "CSC" or "phone" for the kinds above.
const wchar_t* ImageKindName(ImageKind kind);

// Lists the image at `path` as START sees an image of `kind`.
ImageListing ListImage(ImageKind kind, const std::wstring& path);

// A listing of the file at `path` whose kind is not given: a file that reads
// as a tar archive (or is named "*.tar") is a CSC archive when every member is
// a per-nation one and a PDA archive otherwise; anything else is a phone binary.
ImageListing ListImageOfUnknownKind(const std::wstring& path);

// Every refusal line of the named images (empty paths are not given), PDA
// first, then CSC, then the phone binary.
std::vector<std::wstring> CheckImages(const std::wstring& pda, const std::wstring& csc, const std::wstring& phone);

// ---- What the options would send --------------------------------------------

// Whether the job sends the member under `choice` (SendChoice: the job's
// settings, wire/member_plan.h).
bool WouldSend(const ListedMember& member, const SendChoice& choice);
// The bytes of the image the job sends under `choice`.
std::uint64_t BytesSent(const ImageListing& image, const SendChoice& choice);

// Boot Format formats the boot blocks from a PDA archive's first BOOT and SBL
// members, then flashes the whole archive when the phone comes back.
struct BootFormatPlan {
  bool formats = false;  // false: no BOOT and SBL pair, Boot Format sends as Boot Update does
  std::wstring boot, sbl;
  std::uint64_t blockBytes = 0;  // the two format blocks: the boot area, then SBL twice
};
BootFormatPlan PlanBootFormat(const ImageListing& image);
