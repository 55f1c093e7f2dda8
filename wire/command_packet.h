// SPDX-License-Identifier: Apache-2.0
// Command packets and responses between a job and the phone's boot loader,
// with their wire encoding.
#pragma once

#include <cstdint>

#include "platform/win_types.h"
#include "wire/commands.h"
#include "wire/little_endian.h"

constexpr DWORD kCommandPacketSize = 1024;
constexpr DWORD kCommandResponseSize = 4;
constexpr DWORD kCommandBodySize = 1008;
// Packet offsets of the write commands' MD5 text (20..51).
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

// Serialize writes all 1024 bytes; Deserialize reads them.
void Serialize(const COMMAND_PACKET& packet, std::uint8_t out[kCommandPacketSize]);
COMMAND_PACKET DeserializePacket(const std::uint8_t in[kCommandPacketSize]);
void SerializeResponse(const COMMAND_RESPONSE& response, std::uint8_t out[kCommandResponseSize]);
COMMAND_RESPONSE DecodeResponse(const std::uint8_t in[kCommandResponseSize]);

// What a response of `received` bytes (0..4) says about `expectedCode`
// (0: any echo); missing bytes count as 0. `decoded` (optional) receives it.
enum class ResponseVerdict { Ok, Failed, WrongEcho };
ResponseVerdict JudgeResponse(const std::uint8_t* bytes, DWORD received, int expectedCode, COMMAND_RESPONSE* decoded);
