// SPDX-License-Identifier: Apache-2.0
// What the link tells the one who runs it, and the one thing it asks: the
// digest text of a piece. The engine answers by sending its job messages.
#pragma once

#include "platform/win_types.h"

namespace tarn::platform {
class CFileMapping;
}

class LinkEvents {
 public:
  // An operator text line (already cut to the job's text length).
  virtual void OnText(const wchar_t* text) = 0;
  // An error text: the job may go on, but does not pass.
  virtual void OnError(const wchar_t* text) = 0;
  // Overall and current-file percentages.
  virtual void OnProgress(int overall, int file) = 0;
  // The phone binary's write command is about to go out: the phone now
  // updates itself for minutes.
  virtual void OnPhoneUpdate() = 0;
  // Writes the 32-character MD5 text of `size` bytes at `offset` of the image
  // to `text`; false when the image could not be read (already reported).
  virtual bool DigestPiece(const tarn::platform::CFileMapping& mapping, DWORD offset, DWORD size, char* text) = 0;
  // The piece whose digest DigestPiece will be asked for next, told while the
  // current piece's frames go out so that it can be worked out meanwhile.
  virtual void DigestNextPiece(const tarn::platform::CFileMapping&, DWORD /*offset*/, DWORD /*size*/) {}

 protected:
  ~LinkEvents() = default;
};
