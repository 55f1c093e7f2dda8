// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/debug_output.h"
#include "support/log.h"

namespace {

// Collects the records the log writes out.
class LogCapture {
 public:
  LogCapture() {
    previous_ = tarn::platform::SetDebugOutputSink([this](std::string_view record) {
      std::lock_guard<std::mutex> guard(lock_);
      records_.emplace_back(record);
    });
  }
  ~LogCapture() { tarn::platform::SetDebugOutputSink(previous_); }
  std::vector<std::string> Records() {
    std::lock_guard<std::mutex> guard(lock_);
    return records_;
  }

 private:
  std::mutex lock_;
  std::vector<std::string> records_;
  tarn::platform::DebugSink previous_;
};

const std::string kThread = R"(\[Tarn2\] \[Thread 0x[0-9a-f]{4,}\] )";

TEST(Log, SlotFormHasBlanksAndLineNumber) {
  LogCapture capture;
  TLOG_SLOT(3, L"Boot Download\n");
  const int line = __LINE__ - 1;
  TLOG_SLOT(-1, L"x");
  const auto records = capture.Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_TRUE(std::regex_match(
      records[0], std::regex(kThread + R"(\[  3  \] \()" + std::to_string(line) + R"(\) Boot Download\n)")))
      << records[0];
  EXPECT_TRUE(std::regex_match(records[1], std::regex(kThread + R"(\[  -1  \] \(\d+\) x)"))) << records[1];
}

TEST(Log, FileFormNamesModuleAndLine) {
  LogCapture capture;
  TLOG_FILE("./ThreadImpl", L"START Thread\n");
  const auto records = capture.Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(std::regex_match(records[0], std::regex(kThread + R"(\./ThreadImpl\(\d+\) START Thread\n)")))
      << records[0];
}

TEST(Log, BodiesAreWrittenExactly) {
  LogCapture capture;
  TARN_LOG_BEGIN_SLOT(0);
  LogEndW(L"");  // prefix alone, ending in its blank
  TARN_LOG_BEGIN_SLOT(0);
  LogEndA(">>> Device %s\n", "KELD");
  TARN_LOG_BEGIN_SLOT(0);
  LogEndText(std::wstring(L"before\0after", 12));
  TARN_LOG_BEGIN_SLOT(0);
  LogEndW(L"name %ls, %d\n", L"zImage", 7);
  const auto records = capture.Records();
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].back(), ' ');
  EXPECT_TRUE(records[0].ends_with(") "));
  EXPECT_TRUE(records[1].ends_with(") >>> Device KELD\n"));
  EXPECT_TRUE(records[2].ends_with(") before"));
  EXPECT_TRUE(records[3].ends_with(") name zImage, 7\n"));
}

TEST(Log, LongBodiesAreCutButStillWritten) {
  LogCapture capture;
  const std::wstring wide(3000, L'w');
  TARN_LOG_BEGIN_SLOT(1);
  LogEndW(L"%ls", wide.c_str());
  const std::string narrow(3000, 'n');
  TARN_LOG_BEGIN_SLOT(1);
  LogEndA("%s", narrow.c_str());
  const auto records = capture.Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].size() - records[0].find(") w") - 2, 1023u);
  EXPECT_EQ(records[1].size() - records[1].find(") n") - 2, 511u);
  // The lock was released: another record goes through on another thread.
  std::thread([] { TLOG_SLOT(2, L"after\n"); }).join();
  EXPECT_EQ(capture.Records().size(), 3u);
}

TEST(Log, ConcurrentRecordsStayWhole) {
  LogCapture capture;
  constexpr int kPerThread = 200;
  auto writer = [](int slot) {
    for (int i = 0; i < kPerThread; ++i) TLOG_SLOT(slot, L"record %d of slot %d\n", i, slot);
  };
  std::thread a(writer, 1), b(writer, 2);
  a.join();
  b.join();
  const auto records = capture.Records();
  ASSERT_EQ(records.size(), 2u * kPerThread);
  const std::regex whole(kThread + R"(\[  (\d)  \] \(\d+\) record \d+ of slot (\d)\n)");
  for (const auto& record : records) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(record, m, whole)) << record;
    EXPECT_EQ(m[1], m[2]);
  }
}

}  // namespace
