// SPDX-License-Identifier: Apache-2.0
// Command packets and answers as bytes.
#include "wire/command_packet.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(CommandPacket, EncodesLittleEndianWhateverTheHost) {
  COMMAND_PACKET packet{};
  packet.command = 700;
  packet.argument = 0x01020304;
  packet.length = -2;
  packet.flag = 1;
  packet.body[0] = 0xAB;
  packet.body[kCommandBodySize - 1] = 0xCD;
  std::uint8_t wire[kCommandPacketSize];
  Serialize(packet, wire);
  const std::uint8_t header[16] = {0xBC, 0x02, 0, 0, 0x04, 0x03, 0x02, 0x01, 0xFE, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(wire, header, sizeof(header)));
  EXPECT_EQ(0xAB, wire[16]);
  EXPECT_EQ(0xCD, wire[kCommandPacketSize - 1]);
  const COMMAND_PACKET back = DeserializePacket(wire);
  EXPECT_EQ(0, std::memcmp(&back, &packet, sizeof(packet)));
}

TEST(CommandResponse, DecodesSignedEchoResultAndStatus) {
  const std::uint8_t bytes[4] = {0x58, 0x02, 0x01, 0xFF};
  const COMMAND_RESPONSE r = DecodeResponse(bytes);
  EXPECT_EQ(600, r.echo);
  EXPECT_EQ(1, r.result);
  EXPECT_EQ(0xFF, r.status);
  const std::uint8_t negative[4] = {0xFF, 0xFF, 0, 0};
  EXPECT_EQ(-1, DecodeResponse(negative).echo);
  std::uint8_t out[4];
  SerializeResponse(r, out);
  EXPECT_EQ(0, std::memcmp(out, bytes, 4));
}

TEST(JudgeResponse, CasesOfTheAnswerRule) {
  const std::uint8_t zero[4] = {0, 0, 0, 0};
  EXPECT_EQ(ResponseVerdict::Ok, JudgeResponse(zero, 4, 707, nullptr));  // echo 0 always accepted

  const std::uint8_t failedButMatching[4] = {0xBC, 0x02, 0, 0xFF};
  EXPECT_EQ(ResponseVerdict::Failed, JudgeResponse(failedButMatching, 4, 700, nullptr));

  const std::uint8_t echo701[4] = {0xBD, 0x02, 0, 0};
  EXPECT_EQ(ResponseVerdict::WrongEcho, JudgeResponse(echo701, 4, 700, nullptr));
  EXPECT_EQ(ResponseVerdict::Ok, JudgeResponse(echo701, 4, 0, nullptr));  // after a data frame

  const std::uint8_t ready[4] = {0xBC, 0x02, 0, 0x7F};
  EXPECT_EQ(ResponseVerdict::Ok, JudgeResponse(ready, 4, 700, nullptr));
  COMMAND_RESPONSE decoded{};
  EXPECT_EQ(ResponseVerdict::Failed, JudgeResponse(ready, 3, 700, &decoded));  // short
  EXPECT_EQ(700, decoded.echo);
  EXPECT_EQ(0, decoded.status);  // the missing byte counts as 0
  EXPECT_EQ(ResponseVerdict::Failed, JudgeResponse(nullptr, 0, 0, nullptr));
}

TEST(JudgeResponse, ComparesTheLowSixteenBitsOfTheExpectedCode) {
  const std::uint8_t echo[4] = {0xBC, 0x02, 0, 0};  // 700
  EXPECT_EQ(ResponseVerdict::Ok, JudgeResponse(echo, 4, 700 + 0x10000, nullptr));
  EXPECT_EQ(ResponseVerdict::WrongEcho, JudgeResponse(echo, 4, 701 + 0x10000, nullptr));
}

TEST(CommandName, TableAndTestForTheRest) {
  EXPECT_STREQ(L"GetVersion", CommandName(712));
  EXPECT_STREQ(L"GetPlatform", CommandName(713));
  EXPECT_STREQ(L"Ready", CommandName(700));
  EXPECT_STREQ(L"GetParam", CommandName(704));
  EXPECT_STREQ(L"SetParam", CommandName(703));
  EXPECT_STREQ(L"Format", CommandName(702));
  EXPECT_STREQ(L"Reset", CommandName(707));
  EXPECT_STREQ(L"Phone", CommandName(600));
  EXPECT_STREQ(L"Stra", CommandName(620));
  for (int code : {501, 610, 701, 711, 714, 0, -1}) EXPECT_STREQ(L"TEST", CommandName(code)) << code;
}

}  // namespace
