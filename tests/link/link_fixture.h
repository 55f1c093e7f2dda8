// SPDX-License-Identifier: Apache-2.0
// Shared set-up of the link tests: a private serial-port map, a fast clock,
// a device and a session whose events are recorded.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "link/link_events.h"
#include "link/link_session.h"
#include "link/security_engine.h"
#include "link/usb_device.h"
#include "platform/clock.h"
#include "platform/file_mapping.h"
#include "support/md5.h"
#include "tests/testsupport/temp_dir.h"

namespace tarn::test {

class RecordingEvents : public LinkEvents {
 public:
  void OnText(const wchar_t* text) override { texts_.emplace_back(text); }
  void OnError(const wchar_t* text) override { errors_.emplace_back(text); }
  void OnProgress(int overall, int file) override { progress_.push_back({overall, file}); }
  void OnPhoneUpdate() override { ++phoneUpdates_; }
  bool DigestPiece(const tarn::platform::CFileMapping& mapping, DWORD offset, DWORD size, char* text) override {
    std::string bytes(size, '\0');
    if (!tarn::platform::CopyFromMapping(mapping, offset, bytes.data(), size)) return false;
    const std::string digest = tarn::md5::DigestText(bytes.data(), size);
    std::memcpy(text, digest.data(), digest.size());
    return true;
  }

  const std::vector<std::wstring>& Texts() const { return texts_; }
  const std::vector<std::wstring>& Errors() const { return errors_; }
  bool HasText(const std::wstring& text) const { return std::find(texts_.begin(), texts_.end(), text) != texts_.end(); }
  void Clear() {
    texts_.clear();
    errors_.clear();
  }

 private:
  std::vector<std::wstring> texts_;
  std::vector<std::wstring> errors_;
  std::vector<std::pair<int, int>> progress_;
  int phoneUpdates_ = 0;
};

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TARN_DEVICEMAP", (map_.Path() / "map").c_str(), 1);
    tarn::platform::SetClockScale(0.01);
  }
  void TearDown() override {
    device_.Close();
    tarn::platform::SetClockScale(1.0);
    ::unsetenv("TARN_DEVICEMAP");
  }

  TempDir map_;
  RecordingEvents events_;
  CUSBDevice device_;
  CSecurityEngine security_;
  std::uint32_t done_ = 0;
  std::uint32_t total_ = 0;
  LinkSession link_{device_, events_, security_, done_, total_};
  int port_ = 0;  // what FindPort found
};

}  // namespace tarn::test
