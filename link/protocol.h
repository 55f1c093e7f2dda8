// SPDX-License-Identifier: Apache-2.0
// Command packets and responses between a job and the phone's boot loader.
// Every number on the wire is little-endian, whatever the host's order.
#pragma once

#include <cstdint>

#include "platform/win_types.h"

class CKelpa3Engine;

// Command codes.
constexpr int CMD_WRITE_PARTITION_BASE = 500;  // + partition code
constexpr int CMD_PHONE = 600;
constexpr int CMD_FW = 610;
constexpr int CMD_STRATINE = 620;
constexpr int CMD_READY = 700;
constexpr int CMD_CSA_CLEAR = 701;
constexpr int CMD_FORMAT = 702;
constexpr int CMD_SET_PARAM = 703;
constexpr int CMD_GET_PARAM = 704;
constexpr int CMD_RESET = 707;
constexpr int CMD_END_FRAMES = 711;
constexpr int CMD_GET_VERSION = 712;
constexpr int CMD_GET_PLATFORM = 713;
constexpr int CMD_FINISH = 714;

constexpr DWORD kCommandPacketSize = 1024;
constexpr DWORD kCommandResponseSize = 4;
constexpr DWORD kCommandBodySize = 1008;
// Body offsets of the write commands' MD5 text (packet offsets 20..51).
constexpr DWORD kDigestOffset = 20;
constexpr DWORD kDigestTextSize = 32;
// Packet offsets of the FW member name (4..19).
constexpr DWORD kFwNameOffset = 4;
constexpr DWORD kFwNameSize = 16;

struct COMMAND_PACKET {
  std::int32_t command;
  std::int32_t argument;
  std::int32_t length;
  std::int32_t flag;
  std::uint8_t body[kCommandBodySize];
};
static_assert(sizeof(COMMAND_PACKET) == kCommandPacketSize, "COMMAND_PACKET is 1024 bytes");

struct COMMAND_RESPONSE {
  std::int16_t echo;
  std::uint8_t result;
  std::uint8_t status;
};
static_assert(sizeof(COMMAND_RESPONSE) == kCommandResponseSize, "COMMAND_RESPONSE is 4 bytes");

constexpr std::uint8_t kResponseStatusFailed = 0xFF;

// Wire encoding. Serialize writes all 1024 bytes; Deserialize reads them.
void Serialize(const COMMAND_PACKET& packet, std::uint8_t out[kCommandPacketSize]);
COMMAND_PACKET DeserializePacket(const std::uint8_t in[kCommandPacketSize]);
void SerializeResponse(const COMMAND_RESPONSE& response, std::uint8_t out[kCommandResponseSize]);
COMMAND_RESPONSE DecodeResponse(const std::uint8_t in[kCommandResponseSize]);
// Little-endian 32-bit word helpers for answers that are one word.
std::uint32_t ReadLe32(const std::uint8_t* bytes);
void WriteLe32(std::uint8_t* bytes, std::uint32_t value);

// Name the log shows for a command code; "TEST" for codes without a name.
const wchar_t* CommandName(int code);
// "[ cmd ] %s(%d), arg %d, len %d, flag %d\n", slot form.
void LogCommand(CKelpa3Engine& job, int code, int argument, int length, int flag);
// Zeroes the body, fills the header words and logs the command line.
void BuildCommand(CKelpa3Engine& job, int code, int argument, int length, int flag, COMMAND_PACKET* packet);
// Encodes the packet and sends its 1024 bytes: 1 or 0.
int SendPacket(CKelpa3Engine& job, const COMMAND_PACKET& packet);
// Builds, sends and judges the answer: 1 or 255.
int SendCommand(CKelpa3Engine& job, int code, int argument, int length, int flag);
// Reads one 4-byte response and judges it against `expectedCode` (0: any echo): 1 or 255.
int CheckResponse(CKelpa3Engine& job, int expectedCode);

// What CheckResponse decides from the `received` bytes (0..4) of `bytes`;
// missing bytes count as 0. `decoded` (optional) receives the response.
enum class ResponseVerdict { Ok, Failed, WrongEcho };
ResponseVerdict JudgeResponse(const std::uint8_t* bytes, DWORD received, int expectedCode,
                              COMMAND_RESPONSE* decoded);

// The failure messages keyed by echo and result byte.
void ReportCommandFailure(CKelpa3Engine& job, int echo, int result);
