// SPDX-License-Identifier: Apache-2.0
#include "link/protocol.h"

#include <cstring>

#include "engine/kelpa3_engine.h"
#include "link/job_io.h"
#include "support/log.h"

std::uint32_t ReadLe32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

void WriteLe32(std::uint8_t* bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void Serialize(const COMMAND_PACKET& packet, std::uint8_t out[kCommandPacketSize]) {
  WriteLe32(out + 0, static_cast<std::uint32_t>(packet.command));
  WriteLe32(out + 4, static_cast<std::uint32_t>(packet.argument));
  WriteLe32(out + 8, static_cast<std::uint32_t>(packet.length));
  WriteLe32(out + 12, static_cast<std::uint32_t>(packet.flag));
  std::memcpy(out + 16, packet.body, kCommandBodySize);
}

COMMAND_PACKET DeserializePacket(const std::uint8_t in[kCommandPacketSize]) {
  COMMAND_PACKET packet{};
  packet.command = static_cast<std::int32_t>(ReadLe32(in + 0));
  packet.argument = static_cast<std::int32_t>(ReadLe32(in + 4));
  packet.length = static_cast<std::int32_t>(ReadLe32(in + 8));
  packet.flag = static_cast<std::int32_t>(ReadLe32(in + 12));
  std::memcpy(packet.body, in + 16, kCommandBodySize);
  return packet;
}

void SerializeResponse(const COMMAND_RESPONSE& response, std::uint8_t out[kCommandResponseSize]) {
  const auto echo = static_cast<std::uint16_t>(response.echo);
  out[0] = static_cast<std::uint8_t>(echo & 0xFF);
  out[1] = static_cast<std::uint8_t>(echo >> 8);
  out[2] = response.result;
  out[3] = response.status;
}

COMMAND_RESPONSE DecodeResponse(const std::uint8_t in[kCommandResponseSize]) {
  COMMAND_RESPONSE response{};
  response.echo = static_cast<std::int16_t>(static_cast<std::uint16_t>(in[0] | (in[1] << 8)));
  response.result = in[2];
  response.status = in[3];
  return response;
}

const wchar_t* CommandName(int code) {
  switch (code) {
    case CMD_GET_VERSION: return L"GetVersion";
    case CMD_GET_PLATFORM: return L"GetPlatform";
    case CMD_READY: return L"Ready";
    case CMD_GET_PARAM: return L"GetParam";
    case CMD_SET_PARAM: return L"SetParam";
    case CMD_FORMAT: return L"Format";
    case CMD_RESET: return L"Reset";
    case CMD_PHONE: return L"Phone";
    case CMD_STRATINE: return L"Stra";
    default: return L"TEST";
  }
}

void LogCommand(CKelpa3Engine& job, int code, int argument, int length, int flag) {
  TLOG_SLOT(job.m_nIndex, L"[ cmd ] %ls(%d), arg %d, len %d, flag %d\n", CommandName(code), code, argument, length,
            flag);
}

void BuildCommand(CKelpa3Engine& job, int code, int argument, int length, int flag, COMMAND_PACKET* packet) {
  std::memset(packet->body, 0, sizeof(packet->body));
  packet->command = code;
  packet->argument = argument;
  packet->length = length;
  packet->flag = flag;
  LogCommand(job, code, argument, length, flag);
}

int SendPacket(CKelpa3Engine& job, const COMMAND_PACKET& packet) {
  std::uint8_t wire[kCommandPacketSize];
  Serialize(packet, wire);
  return SendBytes(job, wire, kCommandPacketSize);
}

int SendCommand(CKelpa3Engine& job, int code, int argument, int length, int flag) {
  COMMAND_PACKET packet;
  BuildCommand(job, code, argument, length, flag, &packet);
  if (!SendPacket(job, packet)) return 255;
  return CheckResponse(job, code);
}

ResponseVerdict JudgeResponse(const std::uint8_t* bytes, DWORD received, int expectedCode,
                              COMMAND_RESPONSE* decoded) {
  std::uint8_t word[kCommandResponseSize] = {};
  if (received > kCommandResponseSize) received = kCommandResponseSize;
  if (bytes != nullptr && received > 0) std::memcpy(word, bytes, received);
  const COMMAND_RESPONSE response = DecodeResponse(word);
  if (decoded != nullptr) *decoded = response;
  if (received < kCommandResponseSize || response.status == kResponseStatusFailed) return ResponseVerdict::Failed;
  const auto expectedEcho = static_cast<std::int16_t>(static_cast<std::uint16_t>(expectedCode & 0xFFFF));
  if (expectedCode == 0 || response.echo == 0 || response.echo == expectedEcho) return ResponseVerdict::Ok;
  return ResponseVerdict::WrongEcho;
}

int CheckResponse(CKelpa3Engine& job, int expectedCode) {
  std::uint8_t word[kCommandResponseSize] = {};
  const DWORD received = ReceiveBytes(job, word, kCommandResponseSize);
  COMMAND_RESPONSE response{};
  switch (JudgeResponse(word, received, expectedCode, &response)) {
    case ResponseVerdict::Ok:
      return 1;
    case ResponseVerdict::Failed:
      ReportCommandFailure(job, response.echo, response.result);
      return 255;
    case ResponseVerdict::WrongEcho:
      job.ReportStatus(0, L"Command %d, respond %d\n", expectedCode, static_cast<int>(response.echo));
      return 255;
  }
  return 255;
}

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

void ReportCommandFailure(CKelpa3Engine& job, int echo, int result) {
  job.ReportStatus(0, L"e - Command %d Failed. result %d\n", echo, result);
  if (echo == CMD_PHONE) {
    job.ReportError(L"%ls", result == 1 ? L"e - Phone activating failed" : L"e - Phone flashing failed");
  } else if (echo == CMD_STRATINE) {
    if (const wchar_t* text = StratineFailureText(result)) job.ReportError(L"%ls", text);
  }
}
