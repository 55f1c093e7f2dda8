// SPDX-License-Identifier: Apache-2.0
#include "wire/command_packet.h"

#include <cstring>

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

ResponseVerdict JudgeResponse(const std::uint8_t* bytes, DWORD received, int expectedCode, COMMAND_RESPONSE* decoded) {
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
