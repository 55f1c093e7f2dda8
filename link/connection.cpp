// SPDX-License-Identifier: Apache-2.0
#include "link/connection.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "link/byte_io.h"
#include "link/link_report.h"
#include "link/link_result.h"
#include "link/protocol.h"
#include "link/usb_device.h"
#include "platform/clock.h"
#include "platform/devicemap.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "support/log.h"

namespace {

// A port that exists but may not be opened: the operator can fix that, so
// say how (the error line itself keeps its code).
void ExplainMissingPermission(LinkSession& link, int port) {
  const auto path = tarn::platform::ResolveComPort(port);
  if (!path || ::access(path->c_str(), F_OK) != 0) return;
  if (::access(path->c_str(), R_OK | W_OK) == 0 || errno != EACCES) return;
  ReportStatus(link,
               L"e - no permission to open %ls: add the user to the 'dialout' group, "
               L"or install the udev rule for phone ports.",
               tarn::platform::Widen(path->string()).c_str());
}

// Greeting bytes as the status line shows them: control bytes would cut or
// garble the text, so they show as '.'.
wint_t Shown(std::uint8_t byte) { return (byte < 0x20 || byte == 0x7F) ? L'.' : static_cast<wint_t>(byte); }

}  // namespace

std::int32_t FindPort(LinkSession& link, int requestedPort, int* foundPort) {
  int port = requestedPort;
  if (requestedPort == -1 || requestedPort == -2) {
    port = LookupPhonePort();
    if (port == 0) {
      ReportError(link, L"e - dll cannot find the comport.");
      return RESULT_ABORT;
    }
  }
  *foundPort = port;
  TLOG_SLOT(link.slot, L"Found COM%d\n", port);
  return RESULT_OK;
}

int LookupPhonePort() {
  const DWORD start = GetTickCount();
  for (;;) {
    if (!std::filesystem::is_directory(tarn::platform::DeviceMapRoot() / "SERIALCOMM")) return 0;
    if (const auto port = tarn::platform::FirstPhonePort(tarn::platform::ReadSerialComm())) return *port;
    if (GetTickCount() - start >= kLookupBudgetSeconds * 1000) return 0;
    Sleep(kLookupPauseMs);
  }
}

std::int32_t OpenComPort(LinkSession& link, int port) {
  ReportStatus(link, L"open COM%d", port);
  if (!link.device.Open(port)) {
    const DWORD code = link.device.LastError();
    ReportError(link, L"%ls", link.device.OpenFailureText(port).c_str());
    if (code == ERROR_ACCESS_DENIED) ExplainMissingPermission(link, port);
    return RESULT_ABORT;
  }
  return RESULT_OK;
}

std::int32_t Connect(LinkSession& link) {
  if (Greet(link) == RESULT_OK) return RESULT_OK;
  ReportError(link, L"e - Connection failed.");
  return RESULT_FAIL;
}

std::int32_t Greet(LinkSession& link) {
  TLOG_SLOT(link.slot, L"setup connection\n");
  StopIfRequested(link);
  SendBytes(link, kHostGreeting, kHostGreetingSize);
  char answer[5] = {};
  ReceiveBytes(link, answer, 4);
  TARN_LOG_BEGIN_SLOT(link.slot);
  LogEndA(">>> Device %s\n", answer);

  const auto* word = reinterpret_cast<const std::uint8_t*>(answer);
  int version = LoaderVersionOfGreeting(word);
  if (version == 0) {
    ReportError(link, L"e - dll cannot setup connection with the target.");
    ReportStatus(link, L"target sent : %lc %lc %lc %lc", Shown(word[0]), Shown(word[1]), Shown(word[2]),
                 Shown(word[3]));
    return RESULT_FAIL;
  }
  if (version == kLoaderAsksVersion) {
    const std::uint32_t value = QueryWord(link, CMD_GET_VERSION);
    version = static_cast<int>(value & 0xFFF);
    TLOG_SLOT(link.slot, L"KELD Version %d, Compile date : %d\n", version, static_cast<int>(value >> 12));
  }
  link.loaderVersion = version;
  return RESULT_OK;
}

std::int32_t CheckPlatform(LinkSession& link) {
  if (VerifyPlatform(link) == RESULT_OK) return RESULT_OK;
  ReportError(link, L"e - Checking platform failed.");
  return RESULT_FAIL;
}

std::int32_t VerifyPlatform(LinkSession& link) {
  if (link.options.npsMode) {
    ReportStatus(link, L"nps mode.. pass platform verification.");
    return RESULT_OK;
  }
  ReportStatus(link, L"tarn mode.. check platform verification.");
  const std::uint32_t value = QueryWord(link, CMD_GET_PLATFORM);
  const int platform = static_cast<std::int16_t>(value >> 16);
  const int revision = static_cast<std::int16_t>(value & 0xFFFF);
  ReportStatus(link, L"[ Device ] platform %d, revision %d.", platform, revision);
  if (link.options.platform != 0 && link.options.platform != platform) {
    ReportStatus(link, L"[ File ] platform %d\n", link.options.platform);
    ReportStatus(link, L"e - platform number is different from the target.");
    return RESULT_FAIL;
  }
  link.options.platform = platform;
  return RESULT_OK;
}
