// SPDX-License-Identifier: Apache-2.0
#include "link/protocol.h"

#include <cstring>

#include "link/byte_io.h"
#include "link/link_report.h"
#include "link/link_result.h"
#include "support/log.h"

namespace {

const wchar_t* StratineFailureText(int result) {
  switch (result) {
    case 1: return L"e - Stratine initialization failed";
    case 2: return L"e - Stratine erase failed";
    case 3: return L"e - Stratine completion failed";
    case 4: return L"e - Stratine flashing partition failed";
    case 5: return L"e - Stratine flashing failed";
    default: return nullptr;
  }
}

}  // namespace

void LogCommand(const LinkSession& link, int code, int argument, int length, int flag) {
  TLOG_SLOT(link.slot, L"[ cmd ] %ls(%d), arg %d, len %d, flag %d\n", CommandName(code), code, argument, length, flag);
}

void BuildCommand(const LinkSession& link, int code, int argument, int length, int flag, COMMAND_PACKET* packet) {
  std::memset(packet->body, 0, sizeof(packet->body));
  packet->command = code;
  packet->argument = argument;
  packet->length = length;
  packet->flag = flag;
  LogCommand(link, code, argument, length, flag);
}

std::int32_t SendPacket(LinkSession& link, const COMMAND_PACKET& packet) {
  StopIfRequested(link);
  std::uint8_t wire[kCommandPacketSize];
  Serialize(packet, wire);
  return SendBytes(link, wire, kCommandPacketSize);
}

std::int32_t SendCommand(LinkSession& link, int code, int argument, int length, int flag) {
  COMMAND_PACKET packet;
  BuildCommand(link, code, argument, length, flag, &packet);
  if (SendPacket(link, packet) != RESULT_OK) return RESULT_FAIL;
  return CheckResponse(link, code);
}

std::int32_t CheckResponse(LinkSession& link, int expectedCode) {
  std::uint8_t word[kCommandResponseSize] = {};
  const DWORD received = ReceiveBytes(link, word, kCommandResponseSize);
  COMMAND_RESPONSE response{};
  switch (JudgeResponse(word, received, expectedCode, &response)) {
    case ResponseVerdict::Ok: return RESULT_OK;
    case ResponseVerdict::Failed: ReportCommandFailure(link, response.echo, response.result); return RESULT_FAIL;
    case ResponseVerdict::WrongEcho:
      ReportStatus(link, L"Command %d, respond %d\n", expectedCode, static_cast<int>(response.echo));
      return RESULT_FAIL;
  }
  return RESULT_FAIL;
}

std::uint32_t QueryWord(LinkSession& link, int code) {
  COMMAND_PACKET packet;
  BuildCommand(link, code, 0, 0, 0, &packet);
  std::uint8_t word[4] = {};
  if (SendPacket(link, packet) == RESULT_OK) ReceiveBytes(link, word, sizeof(word));
  return ReadLe32(word);
}

void ReportCommandFailure(LinkSession& link, int echo, int result) {
  ReportStatus(link, L"e - Command %d Failed. result %d\n", echo, result);
  if (echo == CMD_PHONE) {
    ReportError(link, L"%ls", result == 1 ? L"e - Phone activating failed" : L"e - Phone flashing failed");
  } else if (echo == CMD_STRATINE) {
    if (const wchar_t* text = StratineFailureText(result)) ReportError(link, L"%ls", text);
  }
}
