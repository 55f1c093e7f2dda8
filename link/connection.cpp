// SPDX-License-Identifier: Apache-2.0
#include "link/connection.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "engine/kelpa3_engine.h"
#include "link/job_io.h"
#include "link/protocol.h"
#include "platform/clock.h"
#include "platform/devicemap.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "support/log.h"

namespace {

constexpr int kLoaderAsksVersion = -1;
const char* const kValueNamePatterns[] = {"qxcdmdm", "qxcemdm"};

// A port that exists but may not be opened: the operator can fix that, so
// say how (the error line itself keeps its code).
void ExplainMissingPermission(CKelpa3Engine& job, int port) {
  const auto path = tarn::platform::ResolveComPort(port);
  if (!path || ::access(path->c_str(), F_OK) != 0) return;
  if (::access(path->c_str(), R_OK | W_OK) == 0 || errno != EACCES) return;
  job.ReportStatus(0,
                   L"e - no permission to open %ls: add the user to the 'dialout' group, "
                   L"or install the udev rule for phone ports.",
                   tarn::platform::Widen(path->string()).c_str());
}

// Sends a query packet and reads its one-word answer; 0 when nothing came.
std::uint32_t QueryWord(CKelpa3Engine& job, int code) {
  COMMAND_PACKET packet;
  BuildCommand(job, code, 0, 0, 0, &packet);
  std::uint8_t word[4] = {};
  if (SendPacket(job, packet)) ReceiveBytes(job, word, sizeof(word));
  return ReadLe32(word);
}

// Greeting bytes as the status line shows them: control bytes would cut or
// garble the text, so they show as '.'.
wint_t Shown(std::uint8_t byte) { return (byte < 0x20 || byte == 0x7F) ? L'.' : static_cast<wint_t>(byte); }

}  // namespace

int LoaderVersionOfGreeting(const std::uint8_t word[4]) {
  static const struct {
    const char* text;
    int version;
  } kWords[] = {{"PELL", 1}, {"KELD", 2}, {"TARN", 3}, {"LAST", kLoaderAsksVersion}};
  for (const auto& w : kWords) {
    if (std::memcmp(word, w.text, 4) == 0) return w.version;
  }
  return 0;
}

int FindPort(CKelpa3Engine& job, int requestedPort) {
  int port = requestedPort;
  if (requestedPort == -1 || requestedPort == -2) {
    port = LookupPhonePort();
    if (port == 0) {
      job.ReportError(L"e - dll cannot find the comport.");
      return 15;
    }
  }
  job.m_nComPort = port;
  TLOG_SLOT(job.m_nIndex, L"Found COM%d\n", port);
  return 1;
}

int LookupPhonePort() {
  const DWORD start = GetTickCount();
  for (;;) {
    if (!std::filesystem::is_directory(tarn::platform::DeviceMapRoot() / "SERIALCOMM")) return 0;
    const auto entries = tarn::platform::ReadSerialComm();
    for (int index = 0; index < kLookupIndexCount; ++index) {
      for (const char* pattern : kValueNamePatterns) {
        if (auto port = tarn::platform::QuerySerialComm(entries, pattern + std::to_string(index))) {
          return tarn::platform::ParseComNumber(*port);
        }
      }
    }
    if (GetTickCount() - start >= kLookupBudgetSeconds * 1000) return 0;
    Sleep(kLookupPauseMs);
  }
}

int OpenComPort(CKelpa3Engine& job, int port) {
  job.ReportStatus(0, L"open COM%d", port);
  if (!job.m_device.Open(port)) {
    const DWORD code = GetLastError();
    job.ReportError(L"e - cannot open the usb serial port%d. code: %d", port, static_cast<int>(code));
    if (code == ERROR_ACCESS_DENIED) ExplainMissingPermission(job, port);
    return 15;
  }
  return 1;
}

int Connect(CKelpa3Engine& job) {
  if (Greet(job) == 1) return 1;
  job.ReportError(L"e - Connection failed.");
  return 255;
}

int Greet(CKelpa3Engine& job) {
  TLOG_SLOT(job.m_nIndex, L"setup connection\n");
  SendBytes(job, kHostGreeting, kHostGreetingSize);
  char answer[5] = {};
  ReceiveBytes(job, answer, 4);
  TARN_LOG_BEGIN_SLOT(job.m_nIndex);
  LogEndA(">>> Device %s\n", answer);

  const auto* word = reinterpret_cast<const std::uint8_t*>(answer);
  int version = LoaderVersionOfGreeting(word);
  if (version == 0) {
    job.ReportError(L"e - dll cannot setup connection with the target.");
    job.ReportStatus(0, L"target sent : %lc %lc %lc %lc", Shown(word[0]), Shown(word[1]), Shown(word[2]),
                     Shown(word[3]));
    return 255;
  }
  if (version == kLoaderAsksVersion) {
    const std::uint32_t value = QueryWord(job, CMD_GET_VERSION);
    version = static_cast<int>(value & 0xFFF);
    TLOG_SLOT(job.m_nIndex, L"KELD Version %d, Compile date : %d\n", version, static_cast<int>(value >> 12));
  }
  job.m_nKeldVersion = version;
  job.m_nKeldVersionCopy = version;
  return 1;
}

int CheckPlatform(CKelpa3Engine& job) {
  if (VerifyPlatform(job) == 1) return 1;
  job.ReportError(L"e - Checking platform failed.");
  return 255;
}

int VerifyPlatform(CKelpa3Engine& job) {
  if (job.m_options.bNpsMode == 1) {
    job.ReportStatus(0, L"nps mode.. pass platform verification.");
    return 1;
  }
  job.ReportStatus(0, L"tarn mode.. check platform verification.");
  const std::uint32_t value = QueryWord(job, CMD_GET_PLATFORM);
  const int platform = static_cast<std::int16_t>(value >> 16);
  const int revision = static_cast<std::int16_t>(value & 0xFFFF);
  job.ReportStatus(0, L"[ Device ] platform %d, revision %d.", platform, revision);
  if (job.m_options.nPlatform != 0 && job.m_options.nPlatform != platform) {
    job.ReportStatus(0, L"[ File ] platform %d\n", job.m_options.nPlatform);
    job.ReportStatus(0, L"e - platform number is different from the target.");
    return 255;
  }
  job.m_options.nPlatform = platform;
  return 1;
}
