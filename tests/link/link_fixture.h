// SPDX-License-Identifier: Apache-2.0
// Shared set-up of the link tests: a private serial-port map, a fast clock,
// a recording host and a job context.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/kelpa3_engine.h"
#include "platform/clock.h"
#include "tests/testsupport/recording_host.h"
#include "tests/testsupport/temp_dir.h"

namespace tarn::test {

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TARN_DEVICEMAP", (map_.Path() / "map").c_str(), 1);
    tarn::platform::SetClockScale(0.01);
    job_.m_nIndex = 0;
  }
  void TearDown() override {
    job_.ReleaseResources();
    tarn::platform::SetClockScale(1.0);
    ::unsetenv("TARN_DEVICEMAP");
  }

  TempDir map_;
  RecordingHost host_;
  CKelpa3Engine job_;
};

}  // namespace tarn::test
