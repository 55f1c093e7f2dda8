// SPDX-License-Identifier: Apache-2.0
// What START computes before any job runs, shared by the window and the
// command-line host: the platform code from the PDA file name, the image mask,
// the total download size (from the tar headers, read by the same reader as
// the job's archive index), the nation a CSC archive implies, images with
// nothing to send, and the options record.
//
// No toolkit here: plain functions over paths and values. The log records are
// written as the window writes them (file prefix "./StartPlan").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/options.h"

namespace tarn::platform {
class CFileMapping;
}

// ---- Platform check of the PDA file name -----------------------------------

struct PlatformCheck {
  bool accepted = false;
  // False for names that are accepted without a code ("vask..."): the caller
  // keeps the code of its earlier START (initially -1).
  bool setsPlatform = false;
  std::int16_t platform = -1;  // meaningful when setsPlatform
};

// `fileName` without directories. Lower-cases it (ASCII letters only), logs it and
// classifies it; a refusal logs "Error!!!. Platform is wrong.!!!\n".
PlatformCheck CheckPlatformByName(std::wstring_view fileName);

// The text after the last '/' or '\\' (the whole text when there is none).
std::wstring FileNameOfPath(std::wstring_view path);

// ---- Image sizes -----------------------------------------------------------

constexpr int kStartOk = 1;
constexpr int kStartFail = 255;

// Adds the download size of the image at `path` to *totalSize: the file size
// for the phone binary (IMAGE_MASK_PHONE), SumTarSizes for a PDA or CSC
// archive. kStartOk, or kStartFail when the kind is another or the file cannot
// be opened, mapped or read (logged; *totalSize then keeps what it had).
// Files of 4 GiB or more are refused. *nothingToSend (when given) tells
// whether a readable image has nothing to send: an empty phone binary, an
// archive without members (an empty file included).
int CalcImageSize(ImageKind kind, const std::wstring& path, int selectedNation, std::uint32_t* totalSize,
                  bool* nothingToSend = nullptr);

// Walks the members of the archive in the open `image` of `fileSize` bytes,
// as the job's index finds them, and adds to *totalSize the sizes the job's
// progress counts with `selectedNation` (wire/member_plan.h): every member
// but the per-nation ones of other nations. An archive holding a member no
// job knows adds nothing, as the job sends nothing of it.
// kStartOk, or kStartFail when a header cannot be read or is broken.
// *memberCount (when given) gets the number of members, nations skipped included.
int SumTarSizes(const tarn::platform::CFileMapping& image, std::uint32_t fileSize, int selectedNation,
                std::uint32_t* totalSize, std::uint32_t* memberCount = nullptr);

// The refusal line for an image of `kind` at `path` with nothing to send.
std::wstring NothingToSendText(ImageKind kind, const std::wstring& path);

struct NationChoice {
  int result = kStartFail;  // kStartOk or kStartFail
  // Nation index of the last per-nation member (as the job classifies it)
  // whose index is not above `nationCount`; -1 when there is none (keep the
  // selection).
  int nation = -1;
};

// Finds the nation a CSC archive is made for, from its per-nation members.
NationChoice SelectNationFromCsc(const std::wstring& path, int nationCount = 10);

// ---- Options record and image mask -----------------------------------------

// The operator's choices as the window's check boxes hold them after start-up.
struct StartChoices {
  bool bootUpdate = true;
  bool bootFormat = false;  // also forces bootUpdate, as the window's rule does
  bool csaClear = false;
  bool autoReboot = true;
  bool phoneBootUpdate = false;
  bool phoneEfsClear = false;
  bool stratineAll = true;
  bool stratineUms = false;
  bool stratineOpt = false;
  bool stratineCsc = false;
  std::int16_t platform = -1;
};

// UMS + 2 * OPT + 4 * CSC: the nStratineParts field and the memory-group mode.
std::int32_t StratineParts(const StartChoices& choices);

// The record START hands to every job (bNpsMode 0, nReserved 0, nPlatform
// widened with its sign).
ENGINE_OPTIONS BuildEngineOptions(const StartChoices& choices);

// The kind of each image that is named and ticked.
std::uint16_t BuildImageMask(const std::wstring& pda, bool pdaTicked, const std::wstring& csc, bool cscTicked,
                             const std::wstring& phone, bool phoneTicked);

// ---- START as a whole (steps 3 to 7 and 11) --------------------------------

struct StartInputs {
  std::wstring pda, csc, phone;  // paths; empty when not named
  bool pdaTicked = false, cscTicked = false, phoneTicked = false;
  int selectedNation = 0;              // the nation list's selection
  std::int16_t previousPlatform = -1;  // kept for names accepted without a code
  StartChoices choices;                // its platform field is ignored
};

enum class StartRefusal {
  None,
  EmptyFileNames,   // no image named at all (logged "empty file names\n")
  PlatformRefused,  // the PDA file name has no known platform
  NothingToSend,    // a chosen image holds nothing to send (empty file, archive without members)
};

struct StartPlan {
  StartRefusal refusal = StartRefusal::None;
  // One line for the operator saying why START was refused, beginning "e - "
  // (empty when it was not). Hosts show it as it stands.
  std::wstring refusalText;
  std::int16_t platform = -1;
  std::uint16_t imageMask = 0;
  std::uint32_t totalSize = 0;
  // Mask bits of ticked images whose size could not be computed (the window
  // starts anyway; a headless host may refuse).
  std::uint16_t unreadableMask = 0;
  std::int32_t stratineMode = 0;
  ENGINE_OPTIONS options{};
};

StartPlan PlanStart(const StartInputs& inputs);
